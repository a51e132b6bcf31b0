// The attendance store's commit groups: what counts when, what a failed commit takes with it, and
// what other writers see.
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <atomic>
#include <chrono>
#include <vector>

#include "collection/attendance_store.h"
#include "collection/raw_record_file.h"
#include "db/data_module.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using std::chrono::hours;

// Groups bounded by count alone: no test depends on how fast the machine is.
CommitGroupLimits byCount(int members) {
    return {members, hours(24)};
}

// The AtdRecord rows that a second connection to the file sees: the committed ones.
int committedRows(const QString& file) {
    const QString name = u"committed_rows_reader"_s;
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(u"SELECT COUNT(*) FROM AtdRecord"_s) && q.next()) rows = q.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

class GroupedStore : public CollectionTest {
protected:
    void SetUp() override {
        for (int e = 123; e <= 126; ++e) db.addActiveEmployee(u"000%1"_s.arg(e), u"00%1"_s.arg(e), u"员工"_s);
    }

    // The commit of every group that holds a row of `cardNo` is refused, as a deferred constraint
    // refuses it: the row itself is written, the COMMIT fails.
    void refuseCommitsHolding(const QString& cardNo) {
        db.exec(u"PRAGMA foreign_keys = ON"_s);
        db.exec(u"CREATE TABLE commit_guard (id INTEGER PRIMARY KEY)"_s);
        db.exec(
            u"CREATE TABLE commit_guarded (guard INTEGER REFERENCES commit_guard(id) "
            u"DEFERRABLE INITIALLY DEFERRED)"_s);
        db.exec(u"CREATE TRIGGER refuse_commit AFTER INSERT ON AtdRecord WHEN NEW.CardNo = '"_s + cardNo +
                u"' BEGIN INSERT INTO commit_guarded VALUES (1); END"_s);
    }

    QStringList cardNumbers() {
        QStringList out;
        for (const QVariantMap& r : db.rows(u"SELECT CardNo, RecTime FROM AtdRecord ORDER BY rowid"_s))
            out << r[u"CardNo"_s].toString() + u' ' + r[u"RecTime"_s].toString();
        return out;
    }
};

TEST_F(GroupedStore, RecordsCountAsStoredOnlyOnceTheirGroupHasCommitted) {
    db.data().setCommitGroupLimits(byCount(3));
    AttendanceStore store(db.data(), clock);
    EXPECT_TRUE(store.store({123, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_TRUE(store.store({124, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    // Written on this connection, invisible to every other one, and not counted yet.
    EXPECT_EQ(store.counts().stored, 0);
    EXPECT_EQ(store.pending(), 2);
    EXPECT_EQ(committedRows(db.databaseFile()), 0);

    EXPECT_TRUE(store.store({125, at(u"2005-03-07 08:00:00"_s), 2, 1}));  // the third fills the group
    EXPECT_EQ(store.counts().stored, 3);
    EXPECT_EQ(store.pending(), 0);
    EXPECT_EQ(committedRows(db.databaseFile()), 3);

    EXPECT_TRUE(store.store({126, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_TRUE(store.store({555, at(u"2005-03-07 08:00:00"_s), 2, 1}));  // nobody's enroll number
    EXPECT_EQ(committedRows(db.databaseFile()), 3);
    EXPECT_TRUE(store.settle());
    EXPECT_EQ(committedRows(db.databaseFile()), 4);
    EXPECT_EQ(store.counts().stored, 4);
    EXPECT_EQ(store.counts().unknownPersons, 1);
    EXPECT_EQ(store.counts().settled(), 5);
}

TEST_F(GroupedStore, DuplicateTestSeesTheGroupsOwnUncommittedRows) {
    // The same employee and minute twice (other seconds, other machines), inside one group and
    // across two.
    for (const int members : {1, 2, 100}) {
        SCOPED_TRACE(members);
        db.exec(u"DELETE FROM AtdRecord"_s);
        db.data().setCommitGroupLimits(byCount(members));
        AttendanceStore store(db.data(), clock);
        store.store({123, at(u"2005-03-07 08:15:05"_s), 2, 1});
        store.store({123, at(u"2005-03-07 08:15:50"_s), 3, 2});
        store.store({124, at(u"2005-03-07 08:15:50"_s), 3, 2});
        store.store({123, at(u"2005-03-07 08:16:00"_s), 2, 1});
        store.store({123, at(u"2005-03-07 08:15:59"_s), 2, 1});
        ASSERT_TRUE(store.settle());
        EXPECT_EQ(store.counts().stored, 3);
        EXPECT_EQ(store.counts().duplicates, 2);
        EXPECT_EQ(cardNumbers(), (QStringList{u"000123 08:15"_s, u"000124 08:15"_s, u"000123 08:16"_s}));
    }
}

TEST_F(GroupedStore, FailedCommitCountsItsGroupAsRefusedAndStopsTheRun) {
    struct Case {
        const char* name;
        int members;
        std::vector<LogRecord> records;
        int accepted;  // records the store took before it said stop
        StoreCounts counts;
        QStringList rows;
    };
    const DateTimeValue t = at(u"2005-03-07 08:15:00"_s);
    const double minute = 1.0 / 1440.0;
    const std::vector<Case> cases = {
        {"the only group fails",
         10,
         {{123, t, 2, 1}, {124, t, 2, 1}, {555, t, 2, 1}, {125, t, 2, 1}},
         4,
         {0, 0, 1, 3},  // the unknown person wrote nothing that could be lost
         {}},
        {"the second group fails, the first stays",
         2,
         {{123, t, 2, 1}, {125, t, 2, 1}, {126, t, 2, 1}, {124, t, 2, 1}, {123, t + minute, 2, 1}},
         3,  // the fourth ends the group that fails; the fifth is never handed in
         {2, 0, 0, 2},
         {u"000123 08:15"_s, u"000125 08:15"_s}},
        {"a duplicate of a lost row is refused, one of a committed row stays a duplicate",
         3,
         {{123, t, 2, 1},
          {125, t, 2, 1},
          {126, t, 2, 1},  // first group
          {124, t, 2, 1},
          {124, t, 3, 2},
          {123, t, 3, 2}},  // second group: row, its duplicate, an old duplicate
         5,
         {3, 1, 0, 2},
         {u"000123 08:15"_s, u"000125 08:15"_s, u"000126 08:15"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        db.exec(u"DROP TRIGGER IF EXISTS refuse_commit"_s);
        db.exec(u"DROP TABLE IF EXISTS commit_guarded"_s);
        db.exec(u"DROP TABLE IF EXISTS commit_guard"_s);
        db.exec(u"DELETE FROM AtdRecord"_s);
        refuseCommitsHolding(u"000124"_s);
        db.data().setCommitGroupLimits(byCount(c.members));
        AttendanceStore store(db.data(), clock);
        int accepted = 0;
        int handed = 0;
        for (const LogRecord& r : c.records) {
            ++handed;
            if (!store.store(r)) break;
            ++accepted;
        }
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(store.settle(), false);
        EXPECT_TRUE(store.stopped());
        // Every record handed in is counted, the one that met the stop included.
        EXPECT_EQ(store.counts().settled(), handed);
        EXPECT_EQ(store.counts().stored, c.counts.stored);
        EXPECT_EQ(store.counts().duplicates, c.counts.duplicates);
        EXPECT_EQ(store.counts().unknownPersons, c.counts.unknownPersons);
        EXPECT_EQ(store.counts().refused, c.counts.refused);
        EXPECT_EQ(store.pending(), 0);
        EXPECT_EQ(cardNumbers(), c.rows);
        // A stopped store takes nothing more, and says so.
        EXPECT_FALSE(store.store({126, t + 2 * minute, 2, 1}));
        EXPECT_EQ(cardNumbers(), c.rows);
    }
}

TEST_F(GroupedStore, StatementThatRollsBackTheWholeGroupIsNotTakenForAStatementRefusal) {
    // A trigger's ROLLBACK ends the transaction, not only its statement: the rows written before it
    // in the group are gone, and what follows must not be written outside any group.
    db.data().setCommitGroupLimits(byCount(10));
    db.exec(
        u"CREATE TRIGGER refuse_all BEFORE INSERT ON AtdRecord WHEN NEW.CardNo = '000124' "
        u"BEGIN SELECT RAISE(ROLLBACK, 'refused with the transaction'); END"_s);
    const DateTimeValue t = at(u"2005-03-07 08:15:00"_s);
    AttendanceStore store(db.data(), clock);
    EXPECT_TRUE(store.store({123, t, 2, 1}));
    EXPECT_FALSE(store.store({124, t, 2, 1}));
    EXPECT_FALSE(store.store({125, t, 2, 1}));
    EXPECT_FALSE(store.settle());
    EXPECT_EQ(store.counts().stored, 0);
    EXPECT_EQ(store.counts().refused, 3);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(GroupedStore, DownloadWhoseGroupFailsToCommitKeepsItsRecordsInTheRawRecordFile) {
    db.data().setCommitGroupLimits(byCount(1000));
    refuseCommitsHolding(u"000124"_s);
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    addLog(124, 1, u"2005-03-07 08:15:40"_s);
    addLog(125, 1, u"2005-03-07 08:15:40"_s);
    terminal.status = {{6, 3}};
    const CommandOutcome outcome = btn_GetDataClick(ctx, true);
    EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
    EXPECT_EQ(outcome.read, 3);
    EXPECT_EQ(outcome.stored, 0);
    EXPECT_EQ(outcome.refusedByDatabase, 3);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
    EXPECT_EQ(outcome.rawRecordFile, rawFile());
    const QByteArray lines =
        "001232005-03-07 08:152001\r\n001242005-03-07 08:152001\r\n001252005-03-07 08:152001\r\n";
    EXPECT_EQ(contents(rawFile()), lines);
    EXPECT_TRUE(view.mmo2.join(u'\n').contains(rawFile()));

    // Once the database takes them, importing the file stores every one.
    db.exec(u"DROP TRIGGER refuse_commit"_s);
    view.fileAnswers.push_back(rawFile());
    const CommandOutcome imported = btn_ImportFromHVClick(ctx);
    EXPECT_EQ(imported.result, CommandOutcome::Result::Done);
    EXPECT_EQ(imported.stored, 3);
    EXPECT_EQ(cardNumbers(), (QStringList{u"000123 08:15"_s, u"000124 08:15"_s, u"000125 08:15"_s}));
}

TEST_F(GroupedStore, TwoGroupedWritersOfTheSameRecordsWriteEachRowOnce) {
    // Each writer its own data module on the same file, as two processes have; groups of
    // different sizes, so their commits interleave at different records.
    std::vector<LogRecord> records;
    for (int m = 0; m < 60; ++m)
        for (int e = 123; e <= 126; ++e)
            records.push_back({e, at(u"2005-03-07 08:00:00"_s) + m / 1440.0, 2, 1});
    const QString file = db.databaseFile();
    auto writer = [&](int members, StoreCounts& counts) {
        DataModule data;
        DatabaseTarget target;
        target.sqliteFile = file;
        data.openConnection(target);
        data.setCommitGroupLimits(byCount(members));
        AttendanceStore store(data, clock);
        for (const LogRecord& r : records) store.store(r);
        store.settle();
        counts = store.counts();
    };
    StoreCounts first, second;
    std::unique_ptr<QThread> a(QThread::create([&] { writer(7, first); }));
    std::unique_ptr<QThread> b(QThread::create([&] { writer(3, second); }));
    a->start();
    b->start();
    a->wait();
    b->wait();
    const int n = int(records.size());
    EXPECT_EQ(first.refused + second.refused + first.unknownPersons + second.unknownPersons, 0);
    EXPECT_EQ(first.stored + second.stored, n);
    EXPECT_EQ(first.duplicates + second.duplicates, n);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), n);
    EXPECT_EQ(db.scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT EmplID, RecDate, RecTime FROM AtdRecord)"_s)
                  .toInt(),
              n);
}

// Another process's write: its own connection with SQLite's own busy handler (which sleeps up to
// 100 ms between tries) and a busy time-out of 1 s. Whether it got in.
bool otherProcessWrites(const QString& file, const QString& deptid) {
    const QString name = u"other_process_writer"_s;
    bool written = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(file);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=1000"_s);
        if (db.open()) {
            QSqlQuery q(db);
            written = q.exec(u"BEGIN IMMEDIATE"_s) &&
                      q.exec(u"INSERT INTO hrdept (deptid, deptname) VALUES ('"_s + deptid + u"', 'w')"_s) &&
                      q.exec(u"COMMIT"_s);
            if (!written) q.exec(u"ROLLBACK"_s);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return written;
}

TEST_F(GroupedStore, GroupLeftOpenThroughALongWaitCommitsDuringItAndCountsAfterIt) {
    db.data().setCommitGroupLimits(byCount(1000));
    AttendanceStore store(db.data(), clock);
    EXPECT_TRUE(store.store({123, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_TRUE(store.store({124, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_EQ(store.pending(), 2);
    {
        const AttendanceStore::Waiting waiting(store);
        // Another process's write gets in during the wait, within its time-out.
        EXPECT_TRUE(otherProcessWrites(db.databaseFile(), u"W1"_s));
        EXPECT_EQ(committedRows(db.databaseFile()), 2);
    }
    // Counted once the wait is over, as they would have been by a commit before it.
    EXPECT_EQ(store.pending(), 0);
    EXPECT_EQ(store.counts().stored, 2);
    // The run goes on in a new group; a duplicate of a committed row stays a duplicate.
    EXPECT_TRUE(store.store({124, at(u"2005-03-07 08:00:30"_s), 2, 1}));
    EXPECT_TRUE(store.store({125, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_TRUE(store.settle());
    EXPECT_EQ(store.counts().stored, 3);
    EXPECT_EQ(store.counts().duplicates, 1);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 3);
    EXPECT_EQ(db.scalar(u"SELECT COUNT(*) FROM hrdept WHERE deptid = 'W1'"_s).toInt(), 1);
}

TEST_F(GroupedStore, CommitThatFailsDuringAWaitCountsItsGroupAsRefusedAndStopsTheRun) {
    db.data().setCommitGroupLimits(byCount(1000));
    refuseCommitsHolding(u"000124"_s);
    AttendanceStore store(db.data(), clock);
    EXPECT_TRUE(store.store({123, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_TRUE(store.store({124, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_TRUE(store.store({555, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    {
        const AttendanceStore::Waiting waiting(store);
        // Ten times as long as a wait may keep the group open: the commit is tried during it.
        QThread::msleep(1000);
    }
    EXPECT_TRUE(store.stopped());
    EXPECT_EQ(store.lastResult(), StoreResult::Unusable);
    EXPECT_EQ(store.counts().stored, 0);
    EXPECT_EQ(store.counts().refused, 2);
    EXPECT_EQ(store.counts().unknownPersons, 1);
    EXPECT_FALSE(store.store({125, at(u"2005-03-07 08:00:00"_s), 2, 1}));
    EXPECT_EQ(store.counts().refused, 3);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(GroupedStore, AnotherWriterGetsItsTurnBetweenBackToBackGroups) {
    // A long run commits a group every 50 ms and would begin the next one at once. Another
    // process storing single records meanwhile (a live punch) must get the lock between two groups
    // within its busy time-out, not be refused after it.
    db.data().setCommitGroupLimits({1'000'000, std::chrono::milliseconds(50)});
    std::atomic<bool> otherDone{false};
    std::atomic<bool> runUnderWay{false};
    std::vector<StoreResult> otherResults;
    std::unique_ptr<QThread> other(QThread::create([&] {
        DataModule data;
        DatabaseTarget target;
        target.sqliteFile = db.databaseFile();
        target.sqliteBusyTimeout = std::chrono::milliseconds(500);
        data.openConnection(target);
        while (!runUnderWay) QThread::usleep(100);
        for (int m = 0; m < 5; ++m)
            otherResults.push_back(
                StoreLogRecord(data, clock, {124, at(u"2005-03-07 08:00:00"_s) + m / 1440.0, 2, 1}));
        otherDone = true;
    }));
    other->start();
    AttendanceStore run(db.data(), clock);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int m = 0; !otherDone && elapsed.elapsed() < 20000; ++m) {
        ASSERT_TRUE(run.store({123, at(u"2005-03-07 08:00:00"_s) + m / 1440.0, 2, 1}));
        if (m == 100) runUnderWay = true;
    }
    EXPECT_TRUE(run.settle());
    other->wait();
    EXPECT_EQ(otherResults, std::vector<StoreResult>(5, StoreResult::Stored));
    EXPECT_EQ(run.counts().refused, 0);
    EXPECT_EQ(db.scalar(u"SELECT COUNT(*) FROM AtdRecord WHERE CardNo = '000124'"_s).toInt(), 5);
}

}  // namespace
}  // namespace orvelo::test
