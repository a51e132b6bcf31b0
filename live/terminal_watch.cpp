#include "live/terminal_watch.h"

#include "access/connection.h"
#include "access/terminal_library.h"
#include "collection/collection_commands.h"
#include "collection/log_record.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "live/punch_lines.h"
#include "live/reconnect_delay.h"
#include "live/stop_signals.h"
#include "live/watch_journal.h"
#include "shell/app_folder_lock.h"

namespace orvelo::live {

using namespace Qt::StringLiterals;

namespace {

// The collection runs with nobody to close its boxes or read its memo: the outcome is what counts.
class SilentView final : public OperatorView {
public:
    void appendLog(LogPane, const QString&) override {}
    void setStatusText(const QString&) override {}
    void setProgress(int, bool) override {}
    void messageBox(const QString&, const QString&, BoxIcon) override {}
    void errorBox(const QString&) override {}
    void setFileDialogFilter(const QString&) override {}
    void setFileDialogFolder(const QString&) override {}
    std::optional<QString> chooseFile() override { return std::nullopt; }
};

QString failureText(std::int32_t result) {
    switch (result) {
        case FK_SILENT_LINK:
            return u"silent link (no heartbeat)"_s;
        case FK_LINK_ERROR:
            return u"link failed"_s;
        case FK_BAD_REPLY:
            return u"damaged event"_s;
        default:
            return u"event wait failed ("_s + QString::number(result) + u')';
    }
}

QString collectedText(const CommandOutcome& outcome) {
    return u"%1 read, %2 stored, %3 rejected, %4 refused"_s.arg(outcome.read)
        .arg(outcome.stored)
        .arg(outcome.rejected)
        .arg(outcome.refusedByDatabase);
}

}  // namespace

CommandOutcome collectNewRecords(const WatchTerminal& terminal, TerminalLibrary& library, DataModule& data,
                                 const Clock& clock, const QString& appDir, const StopRequest& stop,
                                 std::chrono::milliseconds lockSlice) {
    AppFolderLock lock(appDir);
    while (!lock.lockFor(lockSlice)) {
        if (stop.requested()) {
            CommandOutcome outcome;
            outcome.result = CommandOutcome::Result::NotReachable;
            return outcome;
        }
    }
    SilentView view;
    ConnectionSettings settings;
    CommandContext ctx{view,    terminal.panel,      settings, library, data, clock, appDir,
                       nullptr, u"orveloctl watch"_s};
    return btn_GetDataClick(ctx, true);
}

TerminalWatch::TerminalWatch(WatchTerminal terminal, TerminalLibrary& library, const Clock& clock,
                             WatchJournal& journal, std::mutex& storeMutex, Backfill backfill,
                             std::function<void(const QString&)> print, const StopRequest& stop,
                             WatchTuning tuning, PunchObserver observer)
    : m_terminal(std::move(terminal)),
      m_library(library),
      m_clock(clock),
      m_journal(journal),
      m_storeMutex(storeMutex),
      m_backfill(std::move(backfill)),
      m_print(std::move(print)),
      m_stop(stop),
      m_tuning(tuning),
      m_observer(std::move(observer)) {}

void TerminalWatch::say(const QString& word, const QString& detail) {
    m_print(linkLine(m_clock.now(), m_terminal.name, word, detail));
}

void TerminalWatch::run(DataModule& data) {
    int failuresInRow = 0;
    while (!m_stop.requested()) {
        std::int32_t handle = 0;
        std::int32_t machineNo = 0;
        try {
            if (!connectAndSubscribe(handle, machineNo)) {
                ++m_counts.failures;
                if (!pauseAfterFailure(failuresInRow)) break;
                continue;
            }
        } catch (const ConversionError& error) {
            // The terminal's own settings are wrong: no pause makes them right.
            say(u"stopped"_s, error.text());
            return;
        }

        bool collected = false;
        try {
            const CommandOutcome outcome = m_backfill(m_terminal, data);
            collected = outcome.result == CommandOutcome::Result::Done;
            if (collected) ++m_counts.backfills;
            say(collected ? u"collected"_s : u"collection failed"_s, collectedText(outcome));
        } catch (const Error& error) {
            say(u"collection failed"_s, error.text());
        }
        if (m_stop.requested()) {
            leave(handle, true);
            break;
        }
        if (!collected) {
            leave(handle, true);
            ++m_counts.failures;
            if (!pauseAfterFailure(failuresInRow)) break;
            continue;
        }

        failuresInRow = 0;
        say(u"listening"_s);
        if (listen(data, handle, machineNo) == Listened::Stopped) {
            leave(handle, true);
            break;
        }
        // The connection is broken for good: nothing to unsubscribe.
        leave(handle, false);
        ++m_counts.failures;
        if (!pauseAfterFailure(failuresInRow)) break;
    }
    say(u"stopped"_s);
}

bool TerminalWatch::connectAndSubscribe(std::int32_t& handle, std::int32_t& machineNo) {
    ConnectionSettings settings;
    if (!ConnectDevice(m_terminal.panel, settings, m_library)) {
        say(u"not reachable"_s);
        return false;
    }
    handle = settings.DeviceHandle;
    machineNo = settings.MachineNo;
    const std::int32_t subscribed = m_library.FK_SubscribeEvents(handle);
    if (subscribed != FK_OK) {
        say(u"subscription refused"_s, u"result "_s + QString::number(subscribed));
        m_library.FK_DisConnect(handle);
        return false;
    }
    ++m_counts.connects;
    say(u"connected"_s);
    return true;
}

TerminalWatch::Listened TerminalWatch::listen(DataModule& data, std::int32_t handle, std::int32_t machineNo) {
    while (!m_stop.requested()) {
        std::int32_t enrollNumber = 0;
        std::int32_t modeCode = 0;
        double dateTime = 0;
        std::int32_t position = 0;
        const std::int32_t r = m_library.FK_WaitEvent(handle, m_tuning.waitSliceMs, &enrollNumber, &modeCode,
                                                      &dateTime, &position);
        if (r == FK_OK) {
            storeEvent(data, enrollNumber, modeCode, dateTime, position, machineNo);
        } else if (r != FK_NO) {
            say(u"lost"_s, failureText(r));
            return Listened::LinkLost;
        }
    }
    return Listened::Stopped;
}

void TerminalWatch::storeEvent(DataModule& data, std::int32_t enrollNumber, std::int32_t modeCode,
                               double dateTime, std::int32_t position, std::int32_t machineNo) {
    ++m_counts.events;
    m_recordCode = MapModeCode(modeCode, m_recordCode);
    const LogRecord record{enrollNumber, dateTime, m_recordCode, machineNo};
    // Journalled first: a record the store refuses, or one lost to a crash, is in the file.
    m_journal.append(record);
    StoreResult result;
    {
        std::lock_guard lock(m_storeMutex);
        result = StoreLogRecord(data, m_clock, record);
    }
    m_counts.store.add(result);
    if (m_observer) m_observer({m_terminal.name, enrollNumber, dateTime, position, result});
    m_print(punchLine(dateTime, m_terminal.name, enrollNumber, lookUpPunchOwner(data, enrollNumber), result));
}

void TerminalWatch::leave(std::int32_t handle, bool unsubscribe) {
    if (unsubscribe) m_library.FK_UnsubscribeEvents(handle);
    m_library.FK_DisConnect(handle);
}

bool TerminalWatch::pauseAfterFailure(int& failuresInRow) {
    const auto pause = reconnectDelay(failuresInRow++, m_tuning.firstPause, m_tuning.longestPause);
    say(u"reconnect"_s, u"in "_s + QString::number(double(pause.count()) / 1000.0) + u" s"_s);
    return !m_stop.waitFor(pause);
}

}  // namespace orvelo::live
