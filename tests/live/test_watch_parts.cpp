// The parts of a watch on their own: the reconnection pauses, the journal and its hourly files,
// the lines, and the stop signals.
#include <gtest/gtest.h>
#include <pthread.h>

#include <QDir>
#include <QFile>
#include <csignal>

#include "collection/raw_record_file.h"
#include "live/punch_lines.h"
#include "live/reconnect_delay.h"
#include "live/stop_signals.h"
#include "live/watch_journal.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

DateTimeValue at(const QString& text) {
    return parseDateTimeText(text).value();
}

TEST(ReconnectDelayTest, DoublesFromTheFirstPauseAndStopsAtTheLongest) {
    struct Case {
        int failures;
        std::chrono::milliseconds expected;
    };
    const Case cases[] = {{0, 1s},  {1, 2s},  {2, 4s},   {3, 8s},    {5, 32s},
                          {6, 60s}, {7, 60s}, {40, 60s}, {1000, 60s}};
    for (const Case& c : cases)
        EXPECT_EQ(live::reconnectDelay(c.failures, 1s, 60s), c.expected)
            << "after " << c.failures << " failures";
}

class WatchJournalTest : public ::testing::Test {
protected:
    QStringList parts() const { return QDir(rawDataFolder(db.appDir())).entryList({u"*.part"_s}); }
    QStringList hvFiles() const { return QDir(rawDataFolder(db.appDir())).entryList({u"*.hv"_s}); }

    TestDatabase db;
    FixedClock clock{at(u"2026-03-02 08:00:00"_s)};
    const LogRecord first{12, at(u"2026-03-02 07:58:00"_s), 0, 1};
    const LogRecord second{1234567, at(u"2026-03-02 07:59:00"_s), 1, 2};
};

TEST_F(WatchJournalTest, PunchesWaitInAPartFileUntilTheHourHasPassed) {
    live::WatchJournal journal(db.appDir(), clock);
    EXPECT_EQ(journal.rollOverIfDue(), QString()) << "nothing journalled makes no file";
    journal.append(first);
    journal.append(second);
    ASSERT_EQ(parts().size(), 1) << "the journal is on disk before the hour ends";

    clock.value = at(u"2026-03-02 08:59:59"_s);
    EXPECT_EQ(journal.rollOverIfDue(), QString());
    EXPECT_TRUE(hvFiles().isEmpty());

    clock.value = at(u"2026-03-02 09:00:00"_s);
    const QString file = journal.rollOverIfDue();
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(readRawRecordLines(file), (QStringList{FormatRawLine(first), FormatRawLine(second)}));
    EXPECT_TRUE(parts().isEmpty());

    // The next punch opens the next journal; the end makes it a file of its own.
    journal.append(first);
    clock.value = at(u"2026-03-02 09:10:00"_s);
    const QString last = journal.finish();
    ASSERT_FALSE(last.isEmpty());
    EXPECT_NE(last, file);
    EXPECT_EQ(readRawRecordLines(last), QStringList{FormatRawLine(first)});
    EXPECT_EQ(journal.files(), (QStringList{file, last}));
    EXPECT_TRUE(parts().isEmpty());
    EXPECT_EQ(journal.finish(), QString()) << "a second end writes nothing";
}

TEST_F(WatchJournalTest, AJournalNeverFinishedStaysAsAPartWithEveryLine) {
    {
        live::WatchJournal journal(db.appDir(), clock);
        journal.append(first);
        journal.append(second);
    }
    const QStringList left = parts();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(readRawRecordLines(rawDataFolder(db.appDir()) + u'/' + left[0]),
              (QStringList{FormatRawLine(first), FormatRawLine(second)}));
    EXPECT_TRUE(hvFiles().isEmpty());
}

TEST(PunchLinesTest, OneLinePerPunchWithItsResultWord) {
    const DateTimeValue t = at(u"2026-12-10 08:15:02"_s);
    struct Case {
        live::PunchOwner owner;
        StoreResult result;
        QString expected;
    };
    const Case cases[] = {
        {{u"E0012"_s, u"张 三"_s},
         StoreResult::Stored,
         u"2026-12-10 08:15:02  gate-1  punch  123  E0012  张 三  stored"_s},
        {{u"E0012 "_s, u"张三"_s},
         StoreResult::Duplicate,
         u"2026-12-10 08:15:02  gate-1  punch  123  E0012  张三  duplicate"_s},
        {{}, StoreResult::UnknownPerson, u"2026-12-10 08:15:02  gate-1  punch  123  -  -  unknown person"_s},
        {{u"E0012"_s, {}},
         StoreResult::Refused,
         u"2026-12-10 08:15:02  gate-1  punch  123  E0012  -  refused"_s},
        {{u"E0012"_s, u"张三"_s},
         StoreResult::Unusable,
         u"2026-12-10 08:15:02  gate-1  punch  123  E0012  张三  refused"_s},
    };
    for (const Case& c : cases)
        EXPECT_EQ(live::punchLine(t, u"gate-1"_s, 123, c.owner, c.result), c.expected);
    EXPECT_EQ(live::linkLine(t, u"gate-1"_s, u"listening"_s), u"2026-12-10 08:15:02  gate-1  listening"_s);
    EXPECT_EQ(live::linkLine(t, u"gate-1"_s, u"reconnect"_s, u"in 2 s"_s),
              u"2026-12-10 08:15:02  gate-1  reconnect  in 2 s"_s);
}

TEST(PunchLinesTest, TheOwnerIsFoundByTheEnrollNumberAsTheStoreFindsIt) {
    TestDatabase db;
    db.addActiveEmployee(u"E001"_s, u"00012"_s, u"张三"_s);
    const live::PunchOwner owner = live::lookUpPunchOwner(db.data(), 12);
    EXPECT_EQ(owner.emplid, u"E001"_s);
    EXPECT_EQ(owner.name, u"张三"_s);
    EXPECT_EQ(live::lookUpPunchOwner(db.data(), 13).emplid, QString());
}

TEST(StopSignalsTest, SigtermAndSigintAreTakenWithoutAHandler) {
    live::blockStopSignals();
    EXPECT_EQ(live::waitForStopSignal(10ms), 0) << "no signal is pending";
    for (const int signal : {SIGTERM, SIGINT}) {
        ASSERT_EQ(pthread_kill(pthread_self(), signal), 0);
        EXPECT_EQ(live::waitForStopSignal(10s), signal);
    }
}

TEST(StopRequestTest, AWaitEndsWhenTheStopIsRequested) {
    live::StopRequest stop;
    EXPECT_FALSE(stop.waitFor(1ms));
    EXPECT_FALSE(stop.requested());
    std::thread other([&stop] { stop.request(); });
    EXPECT_TRUE(stop.waitFor(600s)) << "a requested stop must end the wait";
    other.join();
    EXPECT_TRUE(stop.requested());
}

}  // namespace
}  // namespace orvelo::test
