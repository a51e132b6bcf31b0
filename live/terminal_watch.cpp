#include "live/terminal_watch.h"

#include "access/connection.h"
#include "access/terminal_library.h"
#include "collection/collection_commands.h"
#include "collection/log_record.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/file_lock.h"
#include "core/silent_operator_view.h"
#include "core/terminal_address.h"
#include "live/punch_lines.h"
#include "live/reconnect_delay.h"
#include "live/stop_signals.h"
#include "live/watch_journal.h"

namespace orvelo::live {

using namespace Qt::StringLiterals;

namespace {

// Why a call on the link failed, for the "lost" line: `damaged` names what the terminal sent,
// `call` the request. A link failure is called one, whatever the request was.
QString failureText(std::int32_t result, const QString& damaged, const QString& call) {
    switch (result) {
        case FK_SILENT_LINK:
            return u"silent link (no heartbeat)"_s;
        case FK_LINK_ERROR:
            return u"link failed"_s;
        case FK_BAD_REPLY:
            return u"damaged "_s + damaged;
        default:
            return call + u" failed ("_s + QString::number(result) + u')';
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
                                 std::chrono::milliseconds lockSlice, const QString& program) {
    AppFolderLock lock(appDir);
    while (!lock.lockFor(lockSlice)) {
        if (stop.requested()) {
            CommandOutcome outcome;
            outcome.result = CommandOutcome::Result::NotReachable;
            return outcome;
        }
    }
    // The collection runs with nobody to close its boxes or read its memo: the outcome is what
    // counts.
    SilentOperatorView view;
    ConnectionSettings settings;
    CommandContext ctx{view, terminal.panel, settings, library, data, clock, appDir, nullptr, program};
    return btn_GetDataClick(ctx, true);
}

TerminalWatch::TerminalWatch(WatchTerminal terminal, TerminalLibrary& library, const Clock& clock,
                             WatchJournal& journal, std::mutex& storeMutex, Backfill backfill,
                             std::function<void(const QString&)> print, const StopRequest& stop,
                             WatchTuning tuning, PunchObserver observer, LinkObserver linkObserver)
    : m_terminal(std::move(terminal)),
      m_library(library),
      m_clock(clock),
      m_journal(journal),
      m_storeMutex(storeMutex),
      m_backfill(std::move(backfill)),
      m_print(std::move(print)),
      m_stop(stop),
      m_tuning(tuning),
      m_observer(std::move(observer)),
      m_linkObserver(std::move(linkObserver)) {}

void TerminalWatch::say(const QString& word, const QString& detail) {
    m_print(linkLine(m_clock.now(), m_terminal.name, word, detail));
    if (m_linkObserver) m_linkObserver(m_terminal.name, word);
}

void TerminalWatch::run(DataModule& data) {
    int failuresInRow = 0;
    while (!m_stop.requested()) {
        Round round = Round::Failed;
        try {
            round = m_polling ? pollRound(data) : watchRound(data, failuresInRow);
        } catch (const ConversionError& error) {
            // The terminal's own settings are wrong: no pause makes them right.
            say(u"stopped"_s, error.text());
            return;
        }
        if (round == Round::Stopped) break;
        if (round == Round::CannotServe) return;
        if (round == Round::Polled) {
            failuresInRow = 0;
            if (m_stop.waitFor(m_tuning.pollPeriod)) break;
            continue;
        }
        ++m_counts.failures;
        if (!pauseAfterFailure(failuresInRow)) break;
    }
    say(u"stopped"_s);
}

TerminalWatch::Round TerminalWatch::watchRound(DataModule& data, int& failuresInRow) {
    ConnectionSettings settings;
    if (!ConnectDevice(m_terminal.panel, settings, m_library)) {
        say(u"not reachable"_s);
        return Round::Failed;
    }
    const std::int32_t handle = settings.DeviceHandle;
    const std::int32_t machineNo = settings.MachineNo;
    std::int32_t subscribed = FK_NO;
    try {
        subscribed = m_library.FK_SubscribeEvents(handle);
    } catch (const LibraryError&) {
        // A library of the nineteen operations only: its terminals are read, as they always were.
        startPolling(u"the terminal library has no events"_s);
        return pollConnected(data, handle, machineNo);
    }
    if (subscribed == FK_NO) {
        startPolling(parseTerminalAddress(m_terminal.panel).link == TerminalAddress::Link::Udp
                         ? u"no events over UDP"_s
                         : u"the terminal refuses events"_s);
        return pollConnected(data, handle, machineNo);
    }
    if (subscribed != FK_OK) {
        say(u"lost"_s, failureText(subscribed, u"reply"_s, u"subscription"_s));
        m_library.FK_DisConnect(handle);
        return Round::Failed;
    }
    ++m_counts.connects;
    say(u"connected"_s);

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
        return Round::Stopped;
    }
    if (!collected) {
        leave(handle, true);
        return Round::Failed;
    }

    failuresInRow = 0;
    say(u"listening"_s);
    if (listen(data, handle, machineNo) == Listened::Stopped) {
        leave(handle, true);
        return Round::Stopped;
    }
    // The connection is broken for good: nothing to unsubscribe.
    leave(handle, false);
    return Round::Failed;
}

void TerminalWatch::startPolling(const QString& reason) {
    m_polling = true;
    say(u"polling"_s,
        u"every "_s + QString::number(double(m_tuning.pollPeriod.count()) / 1000.0) + u" s, "_s + reason);
}

TerminalWatch::Round TerminalWatch::pollRound(DataModule& data) {
    // A connection per poll: a UDP session the terminal has forgotten between two polls, or a
    // TCP connection cut without a word, cannot make a poll fail.
    ConnectionSettings settings;
    if (!ConnectDevice(m_terminal.panel, settings, m_library)) {
        say(u"not reachable"_s);
        return Round::Failed;
    }
    return pollConnected(data, settings.DeviceHandle, settings.MachineNo);
}

TerminalWatch::Round TerminalWatch::pollConnected(DataModule& data, std::int32_t handle,
                                                  std::int32_t machineNo) {
    const auto polled = [&]() -> Round {
        const std::int32_t loaded = m_library.FK_LoadGeneralLogData(handle, 1);
        if (loaded == FK_NO) {
            say(u"stopped"_s,
                u"cannot poll: the terminal refuses to hand out its new records, and it sends "
                u"no events"_s);
            return Round::CannotServe;
        }
        if (loaded != FK_OK) {
            say(u"lost"_s, failureText(loaded, u"reply"_s, u"log read"_s));
            return Round::Failed;
        }
        for (;;) {
            // The records not read yet stay new on the terminal: the stop loses none of them.
            if (m_stop.requested()) return Round::Stopped;
            std::int32_t enrollNumber = 0;
            std::int32_t modeCode = 0;
            std::int32_t ignored = 0;
            double dateTime = 0;
            const std::int32_t read =
                m_library.FK_GetGeneralLogData(handle, &enrollNumber, &modeCode, &ignored, &dateTime);
            if (read == FK_OK) {
                storeEvent(data, enrollNumber, modeCode, dateTime, -1, machineNo);
            } else if (read == FK_NO) {
                ++m_counts.polls;
                return Round::Polled;
            } else {
                say(u"lost"_s, failureText(read, u"reply"_s, u"log read"_s));
                return Round::Failed;
            }
        }
    };
    Round round = Round::Failed;
    try {
        round = polled();
    } catch (...) {
        m_library.FK_DisConnect(handle);
        throw;
    }
    m_library.FK_DisConnect(handle);
    return round;
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
            say(u"lost"_s, failureText(r, u"event"_s, u"event wait"_s));
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
