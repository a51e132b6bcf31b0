// Collecting into a PostgreSQL server: several PCs (application folders of their own, orveloctl
// processes) storing the same terminal's records at once write each row once, because the
// database's unique index says so; a server restart during a download claims no success, loses
// nothing, and the next run stores exactly what is missing. Through libfkattend.so over loopback
// TCP, against the emulated terminal and the run's own server.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "collection/attendance_store.h"
#include "core/datetime.h"
#include "tests/support/emulator_process.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/orveloctl_process.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

constexpr int kEmployees = 20;

// `count` records of kEmployees employees, each at a minute of its own: no two are duplicates.
QJsonArray distinctRecords(int count) {
    QJsonArray logs;
    const DateTimeValue start = *parseDateTimeText(u"2024-03-01 08:00:00"_s);
    for (int i = 0; i < count; ++i)
        logs.append(QJsonObject{{u"enroll"_s, 1 + i % kEmployees},
                                {u"mode"_s, 1},
                                {u"time"_s, dateTimeText(start + i / 1440.0)}});
    return logs;
}

// Another PC: an application folder of its own whose hv.ini names the same server database.
struct OtherPc {
    explicit OtherPc(const QByteArray& databaseSection) {
        EXPECT_TRUE(dir.isValid());
        path = dir.path() + u'/';
        QFile ini(path + u"hv.ini"_s);
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(databaseSection);
    }
    QTemporaryDir dir;
    QString path;
};

class ServerCollection : public testing::Test {
protected:
    void SetUp() override {
        const auto server = postgresqlServer();
        if (!server) GTEST_SKIP() << "no PostgreSQL test server running";
        m_server = *server;
        ASSERT_TRUE(m_stateDir.isValid());
        db = std::make_unique<TestDatabase>(TestProvider::Postgresql);
        for (int e = 1; e <= kEmployees; ++e)
            db->addActiveEmployee(u"E%1"_s.arg(e, 3, 10, QChar(u'0')), u"%1"_s.arg(e, 5, 10, QChar(u'0')),
                                  u"员工"_s);
    }

    std::unique_ptr<EmulatorProcess> startTerminal(const QJsonArray& logs, const QStringList& faults = {}) {
        const QString state = m_stateDir.filePath(u"terminal%1.json"_s.arg(++m_terminals));
        EmulatorProcess::writeState(
            state, QJsonObject{
                       {u"machine"_s, 1}, {u"password"_s, 0}, {u"users"_s, QJsonArray{}}, {u"logs"_s, logs}});
        auto terminal = std::make_unique<EmulatorProcess>(state);
        EmulatorProcess::Options options;
        options.faults = faults;
        terminal->start(options);
        return terminal;
    }

    static QStringList on(const QString& appDir, const EmulatorProcess& terminal) {
        return {u"--app-dir"_s, appDir,         u"--link"_s, u"tcp"_s,
                u"--ip"_s,      u"127.0.0.1"_s, u"--port"_s, QString::number(terminal.tcpPort())};
    }

    static int collectedOn(const EmulatorProcess& terminal) {
        int n = 0;
        for (const QJsonValue& v : terminal.dump().value(u"logs"_s).toArray())
            if (v.toObject().value(u"collected"_s).toBool()) ++n;
        return n;
    }

    // Read on a connection of their own: the test's connection may have been ended by a restart.
    int rows() { return db->scalarOnANewConnection(u"SELECT COUNT(*) FROM AtdRecord"_s).toInt(); }
    int distinctRows() {
        return db
            ->scalarOnANewConnection(
                u"SELECT COUNT(*) FROM (SELECT DISTINCT EmplID, RecDate, RecTime FROM AtdRecord) AS d"_s)
            .toInt();
    }

    PostgresqlServer m_server;
    std::unique_ptr<TestDatabase> db;
    QTemporaryDir m_stateDir;
    int m_terminals = 0;
};

// Four PCs, each with a terminal of its own holding the same records (in four different orders, so
// that they meet all over instead of trailing one another), collect at once into one server.
TEST_F(ServerCollection, FourPcsCollectingTheSameRecordsAtOnceWriteEachRowOnce) {
    constexpr int kRecords = 4000;
    const QJsonArray logs = distinctRecords(kRecords);
    std::vector<std::unique_ptr<OtherPc>> pcs;
    std::vector<std::unique_ptr<EmulatorProcess>> terminals;
    for (int pc = 0; pc < 4; ++pc) {
        pcs.push_back(std::make_unique<OtherPc>(db->databaseSection()));
        // Rotated by a quarter each.
        QJsonArray rotated;
        for (int i = 0; i < kRecords; ++i) rotated.append(logs.at((i + pc * kRecords / 4) % kRecords));
        terminals.push_back(startTerminal(rotated));
    }
    std::vector<std::unique_ptr<OrveloctlProcess>> runs;
    for (int pc = 0; pc < 4; ++pc)
        runs.push_back(std::make_unique<OrveloctlProcess>(
            on(pcs[std::size_t(pc)]->path, *terminals[std::size_t(pc)]) + QStringList{u"collect"_s}));
    int storedTogether = 0;
    for (auto& run : runs) {
        const OrveloctlOutcome outcome = run->finish();
        EXPECT_EQ(outcome.status, 0) << outcome.err.toStdString() << outcome.out.toStdString();
        storedTogether += storedCountOf(outcome.out);
    }
    EXPECT_EQ(storedTogether, kRecords);
    EXPECT_EQ(rows(), kRecords);
    EXPECT_EQ(distinctRows(), kRecords);
    for (const auto& terminal : terminals) EXPECT_EQ(collectedOn(*terminal), kRecords);
}

// The server restarts (pg_ctl restart -m fast) while a download over a slow link is under way.
TEST_F(ServerCollection, AServerRestartDuringADownloadClaimsNoSuccessAndTheRerunIsExact) {
    constexpr int kRecords = 30000;
    const auto terminal = startTerminal(distinctRecords(kRecords), {u"delay-ms=300"_s});
    OrveloctlProcess collect(on(db->appDir(), *terminal) + QStringList{u"collect"_s});
    // Restart once the download has committed rows: it is under way.
    QElapsedTimer bound;
    bound.start();
    while (rows() <= 0 && bound.elapsed() < 120000 && !collect.endsWithin(50)) {
    }
    ASSERT_GT(rows(), 0);
    ASSERT_LT(rows(), kRecords) << "the download ended before the restart";
    ASSERT_EQ(m_server.pgCtl({u"-m"_s, u"fast"_s, u"-w"_s, u"restart"_s}), 0);

    const OrveloctlOutcome failed = collect.finish();
    EXPECT_EQ(failed.status, 1) << failed.out.toStdString() << failed.err.toStdString();
    EXPECT_FALSE(failed.out.contains(u"数据采集成功"_s)) << failed.out.toStdString();
    const int afterFailure = rows();
    EXPECT_LT(afterFailure, kRecords);
    // Whatever was not stored is still new on the terminal: nothing is lost.
    EXPECT_LE(collectedOn(*terminal), afterFailure);

    const OrveloctlOutcome rerun =
        runOrveloctlProcess(on(db->appDir(), *terminal) + QStringList{u"collect"_s});
    EXPECT_EQ(rerun.status, 0) << rerun.out.toStdString() << rerun.err.toStdString();
    EXPECT_EQ(rows(), kRecords);
    EXPECT_EQ(distinctRows(), kRecords);
    EXPECT_EQ(collectedOn(*terminal), kRecords);
}

LogRecord record(std::int32_t enroll, const QString& time) {
    return {enroll, *parseDateTimeText(time), 2, 1};
}

// The store itself on the server, in one process: stored, duplicate in its own group and in an
// earlier one, and an employee number with trailing blanks.
TEST_F(ServerCollection, TheStoreTellsStoredFromDuplicateByTheUniqueIndex) {
    db->addActiveEmployee(u"E888  "_s, u"00888"_s, u"戊"_s);
    const FixedClock clock = FixedClock::at(u"2005-03-07 09:00:12"_s);
    {
        AttendanceStore store(db->data(), clock);
        for (const LogRecord& r :
             {record(1, u"2005-03-07 08:15:05"_s), record(1, u"2005-03-07 08:15:50"_s),
              record(1, u"2005-03-07 08:16:00"_s), record(888, u"2005-03-07 08:15:40"_s),
              record(888, u"2005-03-07 08:15:45"_s), record(555, u"2005-03-07 08:15:40"_s)})
            ASSERT_TRUE(store.store(r));
        ASSERT_TRUE(store.settle());
        EXPECT_EQ(store.counts().stored, 3);
        EXPECT_EQ(store.counts().duplicates, 2);
        EXPECT_EQ(store.counts().unknownPersons, 1);
    }
    EXPECT_EQ(StoreLogRecord(db->data(), clock, record(1, u"2005-03-07 08:15:30"_s)), StoreResult::Duplicate);
    EXPECT_EQ(StoreLogRecord(db->data(), clock, record(888, u"2005-03-07 08:15:00"_s)),
              StoreResult::Duplicate);
    EXPECT_EQ(db->scalar(u"SELECT EmplID FROM AtdRecord WHERE CardNo = '000888'"_s).toString(), u"E888  "_s);
    EXPECT_EQ(rows(), 3);
}

// On PostgreSQL a refused statement takes its whole transaction with it: the group's commit fails,
// its records count as refused and the run stops (on the embedded file only the record is refused).
TEST_F(ServerCollection, ARefusedRowLosesItsGroupAndStopsTheRun) {
    db->exec(u"ALTER TABLE AtdRecord ADD CONSTRAINT refuse CHECK (CardNo <> '000002')"_s);
    const FixedClock clock = FixedClock::at(u"2005-03-07 09:00:12"_s);
    AttendanceStore store(db->data(), clock);
    ASSERT_TRUE(store.store(record(1, u"2005-03-07 08:15:05"_s)));
    EXPECT_FALSE(store.store(record(2, u"2005-03-07 08:15:05"_s)));
    EXPECT_TRUE(store.stopped());
    EXPECT_EQ(store.counts().refused, 2);
    EXPECT_EQ(store.counts().stored, 0);
    EXPECT_EQ(rows(), 0);
}

}  // namespace
}  // namespace orvelo::test
