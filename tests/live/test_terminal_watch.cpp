// One terminal's watch against the scripted terminal library, run on the test's thread: the
// fake hands out its queued events and then the idle result the test chose.
#include <gtest/gtest.h>

#include <QDir>
#include <mutex>

#include "collection/raw_record_file.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/file_lock.h"
#include "live/stop_signals.h"
#include "live/terminal_watch.h"
#include "live/watch_journal.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/scripted_terminal_library.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using live::StopRequest;
using live::TerminalWatch;
using live::WatchJournal;
using live::WatchTerminal;
using live::WatchTuning;

DateTimeValue at(const QString& text) {
    return parseDateTimeText(text).value();
}

class TerminalWatchTest : public ::testing::Test {
protected:
    TerminalWatchTest() {
        db.addActiveEmployee(u"E001"_s, u"00012"_s, u"张三"_s);
        terminal.name = u"gate-1"_s;
        terminal.panel.chooseTcpIp();
        terminal.panel.ipAddress = u"127.0.0.1"_s;
        tuning.firstPause = std::chrono::milliseconds(1);
        tuning.longestPause = std::chrono::milliseconds(8);
        tuning.waitSliceMs = 0;
    }

    // Runs the watch until `stopAfterBackfills` collections have been made (or the print hook
    // stops it); each collection returns `backfillResult`.
    void runWatch(int stopAfterBackfills) {
        TerminalWatch watch(
            terminal, *used, clock, journal, storeMutex,
            [this, stopAfterBackfills](const WatchTerminal& t, DataModule&) {
                EXPECT_EQ(t.name, u"gate-1"_s);
                log.add(u"backfill"_s);
                if (++backfills >= stopAfterBackfills) stop.request();
                CommandOutcome outcome;
                outcome.result = backfillResult;
                return outcome;
            },
            [this](const QString& line) {
                lines << line;
                if (onLine) onLine(line);
            },
            stop, tuning, [this](const live::HandledPunch& punch) { handled.push_back(punch); });
        watch.run(db.data());
        counts = watch.counts();
    }

    QStringList linesWith(const QString& word) const {
        QStringList found;
        for (const QString& line : lines)
            if (line.split(u"  "_s).value(2) == word) found << line;
        return found;
    }

    TestDatabase db;
    CallLog log;
    ScriptedTerminalLibrary library{log};
    TerminalLibrary* used = &library;  // what the watch calls: the scripted library or a wrapper of it
    FixedClock clock{at(u"2026-03-02 08:30:00"_s)};
    WatchJournal journal{db.appDir(), clock};
    std::mutex storeMutex;
    StopRequest stop;
    WatchTerminal terminal;
    WatchTuning tuning;
    int backfills = 0;
    CommandOutcome::Result backfillResult = CommandOutcome::Result::Done;
    std::function<void(const QString&)> onLine;
    QStringList lines;
    std::vector<live::HandledPunch> handled;
    live::WatchCounts counts;
};

TEST_F(TerminalWatchTest, EachEventIsJournalledStoredOnceAndPrintedThenASilentLinkIsCollectedAgain) {
    const double punch = at(u"2026-03-02 08:01:00"_s);
    // The same event twice (as across a reconnection), then a person the database does not know.
    library.events = {{12, 0, punch, 5}, {12, 0, punch, 5}, {99, 1, punch, 6}};
    library.idleWaitResult = FK_SILENT_LINK;
    runWatch(2);

    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    EXPECT_EQ(db.scalar(u"select EmplID from AtdRecord"_s).toString(), u"E001"_s);
    EXPECT_EQ(linesWith(u"punch"_s),
              (QStringList{u"2026-03-02 08:01:00  gate-1  punch  12  E001  张三  stored"_s,
                           u"2026-03-02 08:01:00  gate-1  punch  12  E001  张三  duplicate"_s,
                           u"2026-03-02 08:01:00  gate-1  punch  99  -  -  unknown person"_s}));
    EXPECT_EQ(counts.events, 3);
    EXPECT_EQ(counts.store.stored, 1);
    EXPECT_EQ(counts.store.duplicates, 1);
    EXPECT_EQ(counts.store.unknownPersons, 1);
    ASSERT_EQ(handled.size(), 3u);
    EXPECT_EQ(handled[1].logPosition, 5);
    EXPECT_EQ(handled[1].result, StoreResult::Duplicate);
    EXPECT_EQ(handled[2].logPosition, 6);
    EXPECT_EQ(handled[2].enrollNumber, 99);
    EXPECT_EQ(handled[2].terminal, u"gate-1"_s);

    // The silent link is reported, and the terminal is connected, subscribed and collected again.
    EXPECT_EQ(linesWith(u"lost"_s),
              QStringList{u"2026-03-02 08:30:00  gate-1  lost  silent link (no heartbeat)"_s});
    EXPECT_EQ(backfills, 2);
    EXPECT_EQ(counts.connects, 2);

    // Every event is in the raw record file, the refused and the unknown ones too.
    const QString file = journal.finish();
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(readRawRecordLines(file).size(), 3);
    EXPECT_TRUE(QDir(rawDataFolder(db.appDir())).entryList({u"*.part"_s}).isEmpty());
}

TEST_F(TerminalWatchTest, SubscribesBeforeItCollectsAndLeavesUnsubscribedAndDisconnected) {
    library.idleWaitResult = FK_SILENT_LINK;
    runWatch(2);
    const QStringList calls = log.entries;
    // First round: subscribe, collect, listen until the link goes silent, disconnect without
    // unsubscribing (the connection is broken). Second round: the stop comes during the
    // collection: unsubscribe, then disconnect, and nothing after.
    const qsizetype subscribe = calls.indexOf(u"FK_SubscribeEvents(1)"_s);
    const qsizetype firstBackfill = calls.indexOf(u"backfill"_s);
    ASSERT_GE(subscribe, 0);
    ASSERT_GT(firstBackfill, subscribe);
    const qsizetype wait = log.indexOf(u"FK_WaitEvent("_s, true);
    EXPECT_GT(wait, firstBackfill);
    ASSERT_GE(calls.size(), 2);
    EXPECT_EQ(calls.mid(calls.size() - 3),
              (QStringList{u"backfill"_s, u"FK_UnsubscribeEvents(1)"_s, u"FK_DisConnect(1)"_s}));
    EXPECT_EQ(log.withPrefix(u"FK_EnableDevice"_s), QStringList{}) << "the event connection never disables";
    EXPECT_EQ(lines.constLast(), u"2026-03-02 08:30:00  gate-1  stopped"_s);
}

TEST_F(TerminalWatchTest, FailedConnectsPauseLongerEachTimeUpToTheLongest) {
    library.connectResult = 0;
    onLine = [this](const QString&) {
        if (linesWith(u"reconnect"_s).size() == 6) stop.request();
    };
    runWatch(1);
    QStringList pauses;
    for (const QString& line : linesWith(u"reconnect"_s)) pauses << line.split(u"  "_s).value(3);
    EXPECT_EQ(pauses, (QStringList{u"in 0.001 s"_s, u"in 0.002 s"_s, u"in 0.004 s"_s, u"in 0.008 s"_s,
                                   u"in 0.008 s"_s, u"in 0.008 s"_s}));
    EXPECT_EQ(backfills, 0) << "nothing is collected from a terminal that is not reachable";
    EXPECT_EQ(linesWith(u"not reachable"_s).size(), 6);
}

TEST_F(TerminalWatchTest, AnIncompleteCollectionReconnectsBeforeItListens) {
    backfillResult = CommandOutcome::Result::Incomplete;
    library.events = {{12, 0, at(u"2026-03-02 08:01:00"_s), 0}};
    runWatch(3);
    EXPECT_EQ(log.indexOf(u"FK_WaitEvent("_s, true), -1) << "it listened after a failed collection";
    EXPECT_EQ(linesWith(u"collection failed"_s).size(), 3);
    EXPECT_EQ(log.withPrefix(u"FK_UnsubscribeEvents"_s).size(), 3);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(TerminalWatchTest, ASuccessfulCollectionStartsThePausesAgainFromTheFirst) {
    // Connect fails twice, then succeeds; the link goes silent at once; then connect fails again.
    library.forcedResults[u"FK_ConnectNet"_s] = {0, 0};
    library.idleWaitResult = FK_SILENT_LINK;
    onLine = [this](const QString& line) {
        if (line.contains(u"  lost  "_s)) library.forcedResults[u"FK_ConnectNet"_s] = {0, 0, 0};
        if (linesWith(u"reconnect"_s).size() == 5) stop.request();
    };
    runWatch(10);
    QStringList pauses;
    for (const QString& line : linesWith(u"reconnect"_s)) pauses << line.split(u"  "_s).value(3);
    EXPECT_EQ(pauses, (QStringList{u"in 0.001 s"_s, u"in 0.002 s"_s, u"in 0.001 s"_s, u"in 0.002 s"_s,
                                   u"in 0.004 s"_s}));
}

TEST_F(TerminalWatchTest, SettingsThatCannotBeConvertedStopTheTerminalWithoutRetrying) {
    terminal.panel.netPort = u"port"_s;
    runWatch(1);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(u"2026-03-02 08:30:00  gate-1  stopped  "_s)) << lines[0].toStdString();
    EXPECT_EQ(log.withPrefix(u"FK_Connect"_s), QStringList{});
}

TEST_F(TerminalWatchTest, TheCollectionHoldsTheFolderLockOnlyWhileItRuns) {
    library.status[FK_STATUS_NEW_LOGS] = 1;
    library.logs = {{12, 0, at(u"2026-03-02 07:59:00"_s)}};
    {
        // Another command holds the folder: a stop given meanwhile ends the wait, untouched.
        AppFolderLock other(db.appDir());
        ASSERT_TRUE(other.tryLock());
        stop.request();
        const CommandOutcome outcome = live::collectNewRecords(
            terminal, library, db.data(), clock, db.appDir(), stop, std::chrono::milliseconds(10));
        EXPECT_EQ(outcome.result, CommandOutcome::Result::NotReachable);
        EXPECT_EQ(log.entries, QStringList{});
    }
    const CommandOutcome outcome = live::collectNewRecords(terminal, library, db.data(), clock, db.appDir(),
                                                           stop, std::chrono::milliseconds(10));
    EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    AppFolderLock after(db.appDir());
    EXPECT_TRUE(after.tryLock()) << "the lock was kept after the collection";
}

// --- a terminal that sends no events is polled ------------------------------------------------

// The scripted library with the event operations missing, as a library of the nineteen only.
class LibraryWithoutEvents final : public ForwardingTerminalLibrary {
public:
    using ForwardingTerminalLibrary::ForwardingTerminalLibrary;
    std::int32_t FK_SubscribeEvents(std::int32_t) override {
        throw LibraryError(u"libfkattend.so has no operation FK_SubscribeEvents"_s);
    }
};

struct NoEvents {
    const char* name;
    bool udp;
    bool libraryWithout;  // the library lacks the event operations
    const char* reason;
};

class PolledTerminalTest : public TerminalWatchTest, public testing::WithParamInterface<NoEvents> {};

TEST_P(PolledTerminalTest, ItsNewRecordsAreReadEveryPeriodAndGoTheWayOfEvents) {
    const NoEvents& c = GetParam();
    terminal.panel.udpTicked = c.udp;
    LibraryWithoutEvents without(library);
    if (c.libraryWithout)
        used = &without;
    else
        library.forcedResults[u"FK_SubscribeEvents"_s] = {0};  // on UDP the library answers 0 unasked
    tuning.pollPeriod = std::chrono::milliseconds(1);
    const double punch = at(u"2026-03-02 08:01:00"_s);
    library.logs = {{12, 1, punch}, {99, 1, punch}};
    // The scripted terminal marks nothing collected: the second poll reads both records again.
    onLine = [this](const QString&) {
        if (linesWith(u"punch"_s).size() == 4) stop.request();
    };
    runWatch(1);

    EXPECT_EQ(linesWith(u"polling"_s),
              QStringList{u"2026-03-02 08:30:00  gate-1  polling  every 0.001 s, "_s +
                          QString::fromUtf8(c.reason)});
    EXPECT_EQ(linesWith(u"punch"_s),
              (QStringList{u"2026-03-02 08:01:00  gate-1  punch  12  E001  张三  stored"_s,
                           u"2026-03-02 08:01:00  gate-1  punch  99  -  -  unknown person"_s,
                           u"2026-03-02 08:01:00  gate-1  punch  12  E001  张三  duplicate"_s,
                           u"2026-03-02 08:01:00  gate-1  punch  99  -  -  unknown person"_s}));
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    EXPECT_EQ(counts.polls, 1);
    EXPECT_EQ(counts.events, 4);
    ASSERT_EQ(handled.size(), 4u);
    EXPECT_EQ(handled[0].logPosition, -1);
    EXPECT_EQ(backfills, 0) << "a polled terminal is read by the poll itself";
    EXPECT_EQ(log.indexOf(u"FK_WaitEvent("_s, true), -1);
    EXPECT_EQ(log.withPrefix(u"FK_EnableDevice"_s), QStringList{}) << "a poll never disables the terminal";
    // One connection per poll, each read for new records only and closed; it subscribes once.
    EXPECT_EQ(log.withPrefix(u"FK_LoadGeneralLogData"_s),
              (QStringList{u"FK_LoadGeneralLogData(1,1)"_s, u"FK_LoadGeneralLogData(1,1)"_s}));
    EXPECT_EQ(log.withPrefix(u"FK_DisConnect"_s).size(), 2);
    EXPECT_EQ(log.withPrefix(u"FK_SubscribeEvents"_s).size(), c.libraryWithout ? 0 : 1);
    EXPECT_EQ(lines.constLast(), u"2026-03-02 08:30:00  gate-1  stopped"_s);
    // Every polled record is in the raw record file, as an event's is.
    const QString file = journal.finish();
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(readRawRecordLines(file).size(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, PolledTerminalTest,
    testing::Values(NoEvents{"Udp", true, false, "no events over UDP"},
                    NoEvents{"TerminalWithout", false, false, "the terminal refuses events"},
                    NoEvents{"LibraryWithout", false, true, "the terminal library has no events"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TerminalWatchTest, APollLostOnTheLinkIsTriedAgainAfterThePause) {
    library.forcedResults[u"FK_SubscribeEvents"_s] = {0};
    library.forcedResults[u"FK_GetGeneralLogData"_s] = {-2};
    library.logs = {{12, 1, at(u"2026-03-02 08:01:00"_s)}};
    tuning.pollPeriod = std::chrono::milliseconds(1);
    onLine = [this](const QString& line) {
        if (line.contains(u"  punch  "_s)) stop.request();
    };
    runWatch(1);
    EXPECT_EQ(linesWith(u"lost"_s), QStringList{u"2026-03-02 08:30:00  gate-1  lost  link failed"_s});
    EXPECT_EQ(linesWith(u"reconnect"_s).size(), 1);
    EXPECT_EQ(linesWith(u"polling"_s).size(), 1) << "it says once that it polls";
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    EXPECT_EQ(counts.failures, 1);
}

TEST_F(TerminalWatchTest, ATerminalThatNeitherSendsEventsNorHandsOutItsLogEndsItsWatchSayingWhy) {
    library.forcedResults[u"FK_SubscribeEvents"_s] = {0};
    library.forcedResults[u"FK_LoadGeneralLogData"_s] = {0};
    runWatch(1);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.constLast(),
              u"2026-03-02 08:30:00  gate-1  stopped  cannot poll: the terminal refuses to hand out its new "
              u"records, and it sends no events"_s);
    EXPECT_EQ(linesWith(u"reconnect"_s), QStringList{}) << "no pause makes it servable";
    EXPECT_EQ(log.withPrefix(u"FK_Connect"_s).size(), 1);
    EXPECT_EQ(log.withPrefix(u"FK_DisConnect"_s).size(), 1);
    EXPECT_FALSE(stop.requested());
}

TEST_F(TerminalWatchTest, ASubscriptionLostOnTheLinkIsCalledALinkFailure) {
    library.forcedResults[u"FK_SubscribeEvents"_s] = {-2, -3};
    onLine = [this](const QString&) {
        if (linesWith(u"reconnect"_s).size() == 2) stop.request();
    };
    runWatch(1);
    EXPECT_EQ(linesWith(u"lost"_s), (QStringList{u"2026-03-02 08:30:00  gate-1  lost  link failed"_s,
                                                 u"2026-03-02 08:30:00  gate-1  lost  damaged reply"_s}));
    for (const QString& line : lines) EXPECT_FALSE(line.contains(u"refused"_s)) << line.toStdString();
    EXPECT_EQ(linesWith(u"polling"_s), QStringList{}) << "a link failure is no reason to poll";
    EXPECT_EQ(log.withPrefix(u"FK_DisConnect"_s).size(), 2);
}

}  // namespace
}  // namespace orvelo::test
