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

TEST_F(AttendanceStore, EveryStatementGoesThroughItsQuery) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    ASSERT_EQ(store(123, u"2005-03-07 08:15:40"_s), StoreResult::Stored);
    // qry_1 is closed at the end; qry_2 keeps the last text it was given, the write batch.
    EXPECT_FALSE(db.data().qry_1.isOpen());
    EXPECT_EQ(db.data().qry_1.sql(), u"select emplid from HrEmployee where cardid='00123'\r\n"_s);
    EXPECT_EQ(
        db.data().qry_2.sql(),
        attendanceWriteSql(u"000123"_s, {123, at(u"2005-03-07 08:15:40"_s), 2, 1}, clock.value) + u"\r\n"_s);
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
