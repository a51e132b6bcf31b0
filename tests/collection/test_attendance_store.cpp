// StoreLogRecord against the embedded database: lookup, duplicate test, write, swallowed errors.
#include <QThread>
#include <vector>

#include "collection/attendance_statements.h"
#include "collection/attendance_store.h"
#include "db/data_module.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

class AttendanceStore : public CollectionTest {
protected:
    StoreResult store(std::int32_t enroll, const QString& time, std::int32_t code = 2,
                      std::int32_t machine = 1) {
        return StoreLogRecord(db.data(), clock, LogRecord{enroll, at(time), code, machine});
    }
};

TEST_F(AttendanceStore, WorkedExampleRow) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"张三"_s);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
    EXPECT_EQ(atdRows(), QStringList{u"000123|000123|2005-03-07 |08:15|2|001|2|sa|2005-03-07 09:00:12"_s});
}

TEST_F(AttendanceStore, WhichRecordsAreStored) {
    // Each case starts from the same employees; `records` go in order, `stored` says which of
    // them wrote a row.
    struct Case {
        const char* name;
        std::vector<LogRecord> records;
        std::vector<StoreResult> stored;
        QStringList rows;  // EmplID|CardNo|RecDate|RecTime|EquNo of the rows written
    };
    const std::vector<Case> cases = {
        {"unknown enroll number",
         {{555, at(u"2005-03-07 08:15:40"_s), 2, 1}},
         {StoreResult::UnknownPerson},
         {}},
        {"same minute, two machines",
         {{123, at(u"2005-03-07 08:15:05"_s), 2, 1}, {123, at(u"2005-03-07 08:15:50"_s), 3, 2}},
         {StoreResult::Stored, StoreResult::Duplicate},
         {u"000123|000123|2005-03-07 |08:15|001"_s}},
        {"next minute is another row",
         {{123, at(u"2005-03-07 08:15:59"_s), 2, 1}, {123, at(u"2005-03-07 08:16:00"_s), 2, 1}},
         {StoreResult::Stored, StoreResult::Stored},
         {u"000123|000123|2005-03-07 |08:15|001"_s, u"000123|000123|2005-03-07 |08:16|001"_s}},
        {"same minute on another day",
         {{123, at(u"2005-03-07 08:15:00"_s), 2, 1}, {123, at(u"2005-03-08 08:15:00"_s), 2, 1}},
         {StoreResult::Stored, StoreResult::Stored},
         {u"000123|000123|2005-03-07 |08:15|001"_s, u"000123|000123|2005-03-08 |08:15|001"_s}},
        {"departed employee",
         {{777, at(u"2005-03-07 08:15:40"_s), 2, 1}},
         {StoreResult::Stored},
         {u"000777|000777|2005-03-07 |08:15|001"_s}},
        {"wide enroll number",
         {{123456, at(u"2005-03-07 08:15:40"_s), 2, 1}},
         {StoreResult::Stored},
         {u"123456|123456|2005-03-07 |08:15|001"_s}},
        {"midnight",
         {{123, at(u"2005-03-07 00:00:00"_s), 2, 1}},
         {StoreResult::Stored},
         {u"000123|000123|2005-03-07 |00:00|001"_s}},
        {"quote in the employee number",
         {{321, at(u"2005-03-07 08:15:40"_s), 2, 1}, {321, at(u"2005-03-07 08:15:41"_s), 2, 1}},
         {StoreResult::Stored, StoreResult::Duplicate},
         {u"O'Neil|000321|2005-03-07 |08:15|001"_s}},
        {"employee number with trailing blanks",
         {{888, at(u"2005-03-07 08:15:40"_s), 2, 1}, {888, at(u"2005-03-07 08:15:45"_s), 2, 1}},
         {StoreResult::Stored, StoreResult::Duplicate},
         {u"E888  |000888|2005-03-07 |08:15|001"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        db.exec(u"DELETE FROM AtdRecord"_s);
        db.exec(u"DELETE FROM hremployee"_s);
        db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
        db.addActiveEmployee(u"123456"_s, u"123456"_s, u"乙"_s);
        db.addDepartedEmployee(u"000777"_s, u"00777"_s, u"丙"_s);
        db.addActiveEmployee(u"O'Neil"_s, u"00321"_s, u"丁"_s);
        db.addActiveEmployee(u"E888  "_s, u"00888"_s, u"戊"_s);
        std::vector<StoreResult> stored;
        for (const LogRecord& r : c.records) stored.push_back(StoreLogRecord(db.data(), clock, r));
        EXPECT_EQ(stored, c.stored);
        QStringList rows;
        for (const QVariantMap& r :
             db.rows(u"SELECT EmplID, CardNo, RecDate, RecTime, EquNo FROM AtdRecord ORDER BY rowid"_s))
            rows.append(QStringList{r[u"EmplID"_s].toString(), r[u"CardNo"_s].toString(),
                                    r[u"RecDate"_s].toString(), r[u"RecTime"_s].toString(),
                                    r[u"EquNo"_s].toString()}
                            .join(u'|'));
        EXPECT_EQ(rows, c.rows);
    }
}

TEST_F(AttendanceStore, UnknownEnrollNumberSendsNothingToAtdRecord) {
    // qry_2 holds the last text it was given: nothing, since neither test nor write was sent.
    EXPECT_EQ(store(555, u"2005-03-07 08:15:40"_s), StoreResult::UnknownPerson);
    EXPECT_FALSE(db.data().qry_2.sql().contains(u"atdrecord"_s, Qt::CaseInsensitive));
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(AttendanceStore, SharedCardidUsesTheFirstEmployee) {
    db.addActiveEmployee(u"A001"_s, u"00042"_s, u"first"_s);
    db.addActiveEmployee(u"B002"_s, u"00042"_s, u"second"_s);
    EXPECT_EQ(store(42, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
    EXPECT_EQ(db.scalar(u"SELECT EmplID FROM AtdRecord"_s).toString(), u"A001"_s);
}

TEST_F(AttendanceStore, NullEmplidIsNotStored) {
    // hremployee's key cannot be NULL here, so the lookup's column is made NULL through a view.
    db.exec(u"ALTER TABLE hremployee RENAME TO hremployee_base"_s);
    db.exec(u"CREATE VIEW hremployee AS SELECT NULL AS emplid, Cardid AS cardid FROM hremployee_base"_s);
    db.exec(u"INSERT INTO hremployee_base (EmplID, Cardid) VALUES ('X', '00009')"_s);
    EXPECT_EQ(store(9, u"2005-03-07 08:15:40"_s), StoreResult::UnknownPerson);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(AttendanceStore, FailingWriteIsRejectedAndTheNextRecordGoesOn) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    db.addActiveEmployee(u"000124"_s, u"00124"_s, u"乙"_s);
    db.exec(
        u"CREATE TRIGGER refuse BEFORE INSERT ON AtdRecord WHEN NEW.CardNo = '000123' "
        u"BEGIN SELECT RAISE(ABORT, 'refused by constraint'); END"_s);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Refused);
    EXPECT_EQ(store(124, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
    EXPECT_EQ(db.scalar(u"SELECT group_concat(CardNo) FROM AtdRecord"_s).toString(), u"000124"_s);
    EXPECT_FALSE(db.data().qry_1.isOpen());  // step 4 ran after the swallowed write error
}

TEST_F(AttendanceStore, FailingLookupIsRejectedAndTheNextLookupWorks) {
    db.exec(u"ALTER TABLE hremployee RENAME TO hremployee_away"_s);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Unusable);
    db.exec(u"ALTER TABLE hremployee_away RENAME TO hremployee"_s);
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
}

TEST_F(AttendanceStore, FailingDuplicateTestIsRejected) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    db.exec(u"ALTER TABLE AtdRecord RENAME TO atd_away"_s);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Refused);
    db.exec(u"ALTER TABLE atd_away RENAME TO AtdRecord"_s);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
}

// What SQL Server receives, one text at a time through qry_1 and qry_2, run here on the embedded
// database through the data module's translation of the texts.
StoreResult storeByTexts(DataModule& data, const Clock& clock, const LogRecord& record) {
    const auto open = [](Query& query, const QString& sql) {
        query.close();
        query.clearSql();
        query.addSql(sql);
        query.open();
    };
    open(data.qry_1, employeeLookupSql(record.EnrollNumber));
    const QVariant emplid = data.qry_1.rowCount() > 0 ? data.qry_1.field(u"emplid"_s) : QVariant();
    data.qry_1.close();
    if (emplid.isNull()) return StoreResult::UnknownPerson;
    open(data.qry_2, duplicateTestSql(emplid.toString(), record.RecordTime));
    if (data.qry_2.rowCount() > 0) return StoreResult::Duplicate;
    open(data.qry_2, attendanceWriteSql(emplid.toString(), record, clock.now()));
    return StoreResult::Stored;
}

TEST_F(AttendanceStore, PreparedStatementsWriteWhatTheStatementTextsWrite) {
    // The embedded database runs its own prepared forms of the texts: same results, same rows,
    // same column types, quirks included (a leading blank in emplid defeats the duplicate test on
    // both paths, since only trailing blanks compare equal).
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    db.addActiveEmployee(u"123456"_s, u"123456"_s, u"乙"_s);
    db.addDepartedEmployee(u"000777"_s, u"00777"_s, u"丙"_s);
    db.addActiveEmployee(u"O'Neil"_s, u"00321"_s, u"丁"_s);
    db.addActiveEmployee(u"E888  "_s, u"00888"_s, u"戊"_s);
    db.addActiveEmployee(u" E999"_s, u"00999"_s, u"己"_s);
    const std::vector<LogRecord> records = {
        {123, at(u"2005-03-07 08:15:05"_s), 2, 1},    {123, at(u"2005-03-07 08:15:50"_s), 3, 2},
        {123, at(u"2005-03-07 08:16:00"_s), 35, 0},   {123, at(u"2005-03-08 08:15:00"_s), 1, 999},
        {123456, at(u"2005-03-07 00:00:00"_s), 2, 1}, {777, at(u"2005-03-07 23:59:59"_s), 2, 1},
        {321, at(u"2005-03-07 08:15:40"_s), 2, 1},    {321, at(u"2005-03-07 08:15:41"_s), 4, 1},
        {888, at(u"2005-03-07 08:15:40"_s), 2, 1},    {888, at(u"2005-03-07 08:15:45"_s), 2, 1},
        {999, at(u"2005-03-07 08:15:40"_s), 2, 1},    {999, at(u"2005-03-07 08:15:45"_s), 2, 1},
        {555, at(u"2005-03-07 08:15:40"_s), 2, 1},    {2147483647, at(u"2024-02-29 12:05:30"_s), 2, 1},
    };
    const QString allRows =
        u"SELECT EmplID, CardNo, RecDate, RecTime, IsAuto, typeof(IsAuto) AS t1, EquNo, InOutType, "
        u"typeof(InOutType) AS t2, OperId, OperDate, typeof(EmplID) AS t3 FROM AtdRecord ORDER BY rowid"_s;

    std::vector<StoreResult> byTexts;
    for (const LogRecord& r : records) byTexts.push_back(storeByTexts(db.data(), clock, r));
    const QList<QVariantMap> textRows = db.rows(allRows);
    db.exec(u"DELETE FROM AtdRecord"_s);

    std::vector<StoreResult> prepared;
    ::orvelo::AttendanceStore store(db.data(), clock);
    for (const LogRecord& r : records) {
        ASSERT_TRUE(store.store(r));
        prepared.push_back(store.lastResult());
    }
    ASSERT_TRUE(store.settle());

    EXPECT_EQ(prepared, byTexts);
    EXPECT_EQ(db.rows(allRows), textRows);
    EXPECT_EQ(textRows.size(), 9);
    EXPECT_EQ(store.counts().stored, 9);
    EXPECT_EQ(store.counts().duplicates, 3);
    EXPECT_EQ(store.counts().unknownPersons, 2);
}

TEST_F(AttendanceStore, EnrollNumberLookedUpOncePerRun) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    ::orvelo::AttendanceStore run(db.data(), clock);
    ASSERT_TRUE(run.store({123, at(u"2005-03-07 08:15:05"_s), 2, 1}));
    ASSERT_TRUE(run.store({124, at(u"2005-03-07 08:15:05"_s), 2, 1}));
    ASSERT_TRUE(run.settle());
    // Changed behind the run: the run keeps what it met first; the next run sees the change.
    OtherWriter other(db.databaseFile());
    ASSERT_TRUE(other.exec(u"UPDATE hremployee SET Cardid = '00124' WHERE EmplID = '000123'"_s));
    ASSERT_TRUE(run.store({123, at(u"2005-03-07 08:16:05"_s), 2, 1}));
    ASSERT_TRUE(run.store({124, at(u"2005-03-07 08:16:05"_s), 2, 1}));
    ASSERT_TRUE(run.settle());
    EXPECT_EQ(run.counts().stored, 2);
    EXPECT_EQ(run.counts().unknownPersons, 2);
    EXPECT_EQ(store(124, u"2005-03-07 08:17:05"_s), StoreResult::Stored);
    EXPECT_EQ(db.scalar(u"SELECT group_concat(CardNo || ' ' || RecTime) FROM AtdRecord"_s).toString(),
              u"000123 08:15,000123 08:16,000124 08:17"_s);
}

TEST_F(AttendanceStore, WriterHoldingTheFilePastTheTimeOutIsADatabaseRefusalNotADuplicate) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    OtherWriter other(db.databaseFile());
    ASSERT_TRUE(other.exec(u"BEGIN IMMEDIATE"_s));
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Unusable);
    EXPECT_TRUE(refusedByDatabase(StoreResult::Unusable));
    ASSERT_TRUE(other.exec(u"ROLLBACK"_s));
    // Once the file is free the same record is stored, and then it is a duplicate.
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
    EXPECT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Duplicate);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
}

TEST_F(AttendanceStore, TwoWritersOfTheSameRecordsWriteEachRowOnce) {
    constexpr int kEmployees = 5;
    constexpr int kMinutes = 60;
    for (int e = 1; e <= kEmployees; ++e)
        db.addActiveEmployee(u"E%1"_s.arg(e), u"%1"_s.arg(e, 5, 10, QChar(u'0')), u"员工"_s);
    std::vector<LogRecord> records;
    for (int m = 0; m < kMinutes; ++m)
        for (int e = 1; e <= kEmployees; ++e)
            records.push_back({e, at(u"2005-03-07 08:00:00"_s) + m / 1440.0, 2, 1});

    // Each writer its own data module on the same file, as two processes have.
    struct Tally {
        int stored = 0;
        int duplicates = 0;
        int other = 0;
    };
    const QString file = db.databaseFile();
    auto writer = [&](Tally& tally) {
        DataModule data;
        DatabaseTarget target;
        target.sqliteFile = file;
        data.openConnection(target);
        for (const LogRecord& r : records) {
            switch (StoreLogRecord(data, clock, r)) {
                case StoreResult::Stored:
                    ++tally.stored;
                    break;
                case StoreResult::Duplicate:
                    ++tally.duplicates;
                    break;
                default:
                    ++tally.other;
                    break;
            }
        }
    };
    Tally first, second;
    std::unique_ptr<QThread> a(QThread::create([&] { writer(first); }));
    std::unique_ptr<QThread> b(QThread::create([&] { writer(second); }));
    a->start();
    b->start();
    a->wait();
    b->wait();
    const int n = int(records.size());
    EXPECT_EQ(first.other + second.other, 0);
    EXPECT_EQ(first.stored + second.stored, n);
    EXPECT_EQ(first.duplicates + second.duplicates, n);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), n);
    EXPECT_EQ(db.scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT EmplID, RecDate, RecTime FROM AtdRecord)"_s)
                  .toInt(),
              n);
}

}  // namespace
}  // namespace orvelo::test
