// Every statement text the system sends, run on the embedded database and on PostgreSQL through the
// data module the way its command runs it (opened or executed), with the effect checked.
#include <gtest/gtest.h>

#include <functional>

#include "core/errors.h"
#include "db/data_module.h"
#include "tests/db/statement_texts.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace Qt::StringLiterals;

namespace {

QStringList columnValues(const Query& q, const QString& column) {
    QStringList values;
    for (int r = 0; r < q.rowCount(); ++r) values.append(q.value(r, column).toString());
    return values;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

QString templateText(int values) {
    QString text;
    for (int i = 0; i < values; ++i) text += QString::number(i % 7 - 3) + u"\r\n";
    return text;
}

// The data every case starts from.
void seed(TestDatabase& db) {
    db.addDepartment(u"01"_s, u"总部"_s);
    db.addDepartment(u"02"_s, u"生产部"_s);
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"张三"_s, u"01"_s);
    db.addActiveEmployee(u"000200"_s, u"00200"_s, u"王五"_s, u"02"_s);
    db.addDepartedEmployee(u"000124"_s, u"00124"_s, u"李四"_s, u"2023-06-30"_s, u"02"_s);
    // Written by the larger system with a trailing blank.
    db.addActiveEmployee(u"E77 "_s, u"00077"_s, u"赵六"_s, u"01"_s);
    // Out of both lists: no department row, and no sex code row.
    db.addActiveEmployee(u"000300"_s, u"00300"_s, u"无部门"_s, u"99"_s);
    TestEmployee odd;
    odd.emplid = u"000301"_s;
    odd.cardid = u"00301"_s;
    odd.name = u"无性别"_s;
    odd.sex = 7;
    db.addEmployee(odd);
    db.addEnrollment(u"000123"_s, u"00123"_s, 0, 0, u"0"_s, templateText(458));
    db.addEnrollment(u"000123"_s, u"00123"_s, 9, 3, u"0"_s, templateText(458));
    db.addEnrollment(u"000123"_s, u"00123"_s, 11, 0);  // no BackupID text: not shown
    db.addEnrollment(u"000124"_s, u"00124"_s, 10, 0, u"1234"_s);
}

struct StatementCase {
    const char* what;
    std::function<QStringList()> lines;
    bool open;
    std::vector<std::pair<QString, QVariant>> parameters;
    std::function<void(TestDatabase&, Query&)> check;
    std::function<void(TestDatabase&)> prepare = {};
};

const QString kNow = u"2024-05-06 07:08:09"_s;
const QString kWriteValues =
    u"'000123','000123','2005-03-07 ','08:15',2,'001',2,'sa','2005-03-07 09:00:12'"_s;
const QString kTest123 = duplicateTestText(u"000123"_s, u"2005-03-07"_s, u"08:15"_s);

std::vector<StatementCase> statementCases() {
    return {
        // Attendance record store
        {"employee lookup finds the cardid",
         [] { return QStringList{employeeLookupText(u"00123"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) {
             ASSERT_EQ(q.rowCount(), 1);
             EXPECT_EQ(q.field(u"emplid"_s).toString(), u"000123"_s);
         }},
        {"employee lookup returns the emplid as stored, trailing blank included",
         [] { return QStringList{employeeLookupText(u"00077"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(columnValues(q, u"emplid"_s), QStringList{u"E77 "_s}); }},
        {"employee lookup of an unknown cardid is empty",
         [] { return QStringList{employeeLookupText(u"99999"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(q.rowCount(), 0); }},
        {"duplicate test on no rows",
         [] { return QStringList{kTest123}; },
         true,
         {},
         [](TestDatabase&, Query& q) {
             EXPECT_EQ(q.rowCount(), 0);
             EXPECT_GE(q.columnIndex(u"RecDate"_s), 0);
         }},
        {"duplicate test finds a row whose RecDate ends with a blank",
         [] { return QStringList{kTest123}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(q.rowCount(), 1); },
         [](TestDatabase& db) {
             db.exec(
                 u"insert into AtdRecord (EmplID, RecDate, RecTime) values ('000123', '2005-03-07 ', '08:15')"_s);
         }},
        {"write batch: the test's empty result, and the row written",
         [] { return QStringList{attendanceWriteBatch(kTest123, kWriteValues)}; },
         true,
         {},
         [](TestDatabase& db, Query& q) {
             EXPECT_EQ(q.rowCount(), 0);
             EXPECT_GE(q.columnIndex(u"emplid"_s), 0);
             const auto rows = db.rows(u"select * from AtdRecord"_s);
             ASSERT_EQ(rows.size(), 1);
             EXPECT_EQ(rows[0][u"EmplID"_s].toString(), u"000123"_s);
             EXPECT_EQ(rows[0][u"CardNo"_s].toString(), u"000123"_s);
             EXPECT_EQ(rows[0][u"RecDate"_s].toString(), u"2005-03-07 "_s);
             EXPECT_EQ(rows[0][u"RecTime"_s].toString(), u"08:15"_s);
             EXPECT_EQ(rows[0][u"IsAuto"_s].toInt(), 2);
             EXPECT_EQ(rows[0][u"EquNo"_s].toString(), u"001"_s);
             EXPECT_EQ(rows[0][u"InOutType"_s].toInt(), 2);
             EXPECT_EQ(rows[0][u"OperId"_s].toString(), u"sa"_s);
             EXPECT_EQ(rows[0][u"OperDate"_s].toString(), u"2005-03-07 09:00:12"_s);
         }},
        {"write batch of an emplid with a trailing blank: compared without it, written with it",
         [] {
             return QStringList{attendanceWriteBatch(
                 duplicateTestText(u"E77"_s, u"2005-03-07"_s, u"08:15"_s),
                 u"'E77 ','000077','2005-03-07 ','08:15',2,'001',2,'sa','2005-03-07 09:00:12'"_s)};
         },
         true,
         {},
         [](TestDatabase& db, Query&) {
             EXPECT_EQ(db.scalar(u"select EmplID from AtdRecord"_s).toString(), u"E77 "_s);
             Query again(db.data(), u"again"_s);
             again.addSql(duplicateTestText(u"E77"_s, u"2005-03-07"_s, u"08:15"_s));
             again.open();
             EXPECT_EQ(again.rowCount(), 1);
         }},
        // Enrollment record store
        {"enrollment replace: delete then insert with :fpdata as long text",
         [] { return storeEnrollmentLines(u"000123"_s, u"00123"_s, 0, -1, 77); },
         false,
         {{u"fpdata"_s, templateText(459)}},
         [](TestDatabase& db, Query& q) {
             EXPECT_FALSE(q.isOpen());
             const auto rows = db.rows(
                 u"select privilege, pws, fingerdata from equfinger where emplid='000123' and cardno='00123' and backupid=0"_s);
             ASSERT_EQ(rows.size(), 1);
             EXPECT_EQ(rows[0][u"privilege"_s].toInt(), -1);
             EXPECT_EQ(rows[0][u"pws"_s].toString(), u"77"_s);
             EXPECT_EQ(rows[0][u"fingerdata"_s].toString(), templateText(459));
             EXPECT_EQ(db.rowCount(u"equfinger"_s), 4);
         }},
        {"enrollment replace where no row exists simply inserts",
         [] { return storeEnrollmentLines(u"00000500"_s, u"00500"_s, 3, 0, 0); },
         false,
         {{u"fpdata"_s, templateText(458)}},
         [](TestDatabase& db, Query&) {
             EXPECT_EQ(db.scalar(u"select count(*) from equfinger where emplid='00000500'"_s).toInt(), 1);
             EXPECT_EQ(db.rowCount(u"equfinger"_s), 5);
         }},
        // Download of all enrollments
        {"default department when there is none",
         [] { return QStringList{kDefaultDepartmentText}; },
         false,
         {},
         [](TestDatabase& db, Query&) {
             const auto rows = db.rows(u"select deptno, deptname from hrdept where deptid='01'"_s);
             ASSERT_EQ(rows.size(), 1);
             EXPECT_EQ(rows[0][u"deptname"_s].toString(), u"01"_s);
             EXPECT_EQ(rows[0][u"deptno"_s].toString(), u"01"_s);
         },
         [](TestDatabase& db) { db.exec(u"delete from hrdept where deptid='01'"_s); }},
        {"default department when it exists changes nothing",
         [] { return QStringList{kDefaultDepartmentText}; },
         false,
         {},
         [](TestDatabase& db, Query&) {
             EXPECT_EQ(db.rowCount(u"hrdept"_s), 2);
             EXPECT_EQ(db.scalar(u"select deptname from hrdept where deptid='01'"_s).toString(), u"总部"_s);
         }},
        {"employee exists",
         [] { return QStringList{employeeExistsText(u"00124"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(columnValues(q, u"EmplID"_s), QStringList{u"000124"_s}); }},
        {"name update reaches every employee of the cardid, active or departed",
         [] { return QStringList{nameUpdateText(u"设备名"_s, u"00123"_s)}; },
         false,
         {},
         [](TestDatabase& db, Query&) {
             EXPECT_EQ(db.scalar(u"select count(*) from hremployee where emplname='设备名'"_s).toInt(), 2);
         },
         [](TestDatabase& db) { db.addDepartedEmployee(u"000999"_s, u"00123"_s, u"旧"_s); }},
        {"new employee and card in one text",
         [] { return newEmployeeLines(u"00000123"_s, u"000123"_s, u"00123"_s, u"00000123"_s, kNow); },
         false,
         {},
         [](TestDatabase& db, Query&) {
             const auto e = db.rows(u"select * from hremployee where EmplID='00000123'"_s);
             ASSERT_EQ(e.size(), 1);
             EXPECT_EQ(e[0][u"workid"_s].toString(), u"000123"_s);
             EXPECT_EQ(e[0][u"Cardid"_s].toString(), u"00123"_s);
             EXPECT_EQ(e[0][u"deptid"_s].toString(), u"01"_s);
             EXPECT_EQ(e[0][u"sex"_s].toInt(), 0);
             EXPECT_EQ(e[0][u"entrydate"_s].toString(), u"2024-05-06"_s);
             EXPECT_TRUE(e[0][u"leavedate"_s].isNull());
             EXPECT_EQ(e[0][u"lastoperdate"_s].toString(), kNow);
             const auto c = db.rows(u"select * from equcard"_s);
             ASSERT_EQ(c.size(), 1);
             EXPECT_EQ(c[0][u"cardno"_s].toString(), u"00123"_s);
             EXPECT_EQ(c[0][u"emplid"_s].toString(), u"00000123"_s);
             EXPECT_EQ(c[0][u"cardtype"_s].toString(), u"C001"_s);
             EXPECT_EQ(c[0][u"personverify"_s].toString(), QString());
         }},
        // Upload
        {"enrollments of one employee and registration",
         [] { return QStringList{uploadSelectText(u"000123"_s, u"00123"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) {
             EXPECT_EQ(sorted(columnValues(q, u"backupid"_s)), QStringList({u"0"_s, u"11"_s, u"9"_s}));
             EXPECT_EQ(q.value(0, u"fingerdata"_s).toString().count(u"\r\n"_s) % 458, 0);
         }},
        // Employee lists
        {"active list: in a department, with a sex text, no leavedate",
         [] { return QStringList{kActiveListText}; },
         true,
         {},
         [](TestDatabase&, Query& q) {
             EXPECT_EQ(q.columnNames(), QStringList({u"机构名称"_s, u"人员编号"_s, u"姓名"_s, u"登记号码"_s,
                                                     u"性别"_s, u"入职日期"_s}));
             EXPECT_EQ(sorted(columnValues(q, u"姓名"_s)), sorted({u"张三"_s, u"王五"_s, u"赵六"_s}));
             EXPECT_EQ(q.value(0, u"性别"_s).toString(), u"男"_s);
         }},
        {"departed list, with its seventh column",
         [] { return QStringList{kDepartedListText}; },
         true,
         {},
         [](TestDatabase&, Query& q) {
             ASSERT_EQ(q.columnCount(), 7);
             EXPECT_EQ(q.columnNames().last(), u"离职日期"_s);
             EXPECT_EQ(columnValues(q, u"姓名"_s), QStringList{u"李四"_s});
             EXPECT_EQ(columnValues(q, u"离职日期"_s), QStringList{u"2023-06-30"_s});
             EXPECT_EQ(columnValues(q, u"机构名称"_s), QStringList{u"生产部"_s});
         }},
        {"enrollment details of :登记号码",
         [] { return QStringList{kDetailListText}; },
         true,
         {{u"登记号码"_s, u"00123"_s}},
         [](TestDatabase&, Query& q) {
             EXPECT_EQ(q.columnNames(), QStringList({u"登记号码"_s, u"登记类型"_s, u"权限"_s}));
             EXPECT_EQ(sorted(columnValues(q, u"登记类型"_s)), sorted({u"指纹0"_s, u"卡号"_s}));
             EXPECT_EQ(sorted(columnValues(q, u"权限"_s)), sorted({u"普通用户"_s, u"超级管理员"_s}));
         }},
        // Employee search
        {"active search by part of a department name",
         [] { return QStringList{activeSearchText(u"生产"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(columnValues(q, u"姓名"_s), QStringList{u"王五"_s}); }},
        {"active search by part of a registration number",
         [] { return QStringList{activeSearchText(u"012"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(columnValues(q, u"姓名"_s), QStringList{u"张三"_s}); }},
        {"active search does not look at names",
         [] { return QStringList{activeSearchText(u"张"_s)}; },
         true,
         {},
         [](TestDatabase&, Query& q) { EXPECT_EQ(q.rowCount(), 0); }},
        {"departed search over two lines",
         [] { return departedSearchLines(u"生产"_s); },
         true,
         {},
         [](TestDatabase&, Query& q) {
             EXPECT_EQ(q.columnCount(), 7);
             EXPECT_EQ(columnValues(q, u"姓名"_s), QStringList{u"李四"_s});
         }},
        {"departed search by employee number",
         [] { return departedSearchLines(u"0124"_s); },
         true,
         {},
         [](TestDatabase&, Query& q) {
             EXPECT_EQ(columnValues(q, u"人员编号"_s), QStringList{u"000124"_s});
         }},
    };
}

class StatementTextsOn : public testing::TestWithParam<TestProvider> {};

TEST_P(StatementTextsOn, EveryTextRunsOnTheDatabase) {
    ORVELO_NEEDS_PROVIDER(GetParam());
    for (const StatementCase& c : statementCases()) {
        SCOPED_TRACE(c.what);
        TestDatabase db(GetParam());
        seed(db);
        if (c.prepare) c.prepare(db);
        Query& q = db.data().qry_1;
        q.close();
        q.clearSql();
        for (const QString& line : c.lines()) q.addSql(line);
        for (const auto& [name, value] : c.parameters) q.setParameter(name, value);
        if (c.open) {
            ASSERT_NO_THROW(q.open());
            EXPECT_TRUE(q.isOpen());
        } else {
            ASSERT_NO_THROW(q.execSql());
        }
        c.check(db, q);
    }
}

INSTANTIATE_TEST_SUITE_P(Providers, StatementTextsOn, testing::ValuesIn(kTestProviders),
                         [](const auto& info) { return testProviderName(info.param); });

TEST(StatementTexts, BuildersGiveTheWorkedExamples) {
    EXPECT_EQ(kTest123,
              u"SELECT * fROM atdrecord WHERE ((emplid = '000123' )AND (recdate = '2005-03-07' )ANd "_s
              u"(rectime = '08:15'))"_s);
    EXPECT_EQ(
        storeEnrollmentLines(u"00000123"_s, u"00123"_s, 0, 0, 0),
        QStringList({u"delete  from  equfinger   where emplid='00000123'and cardno='00123'and backupid=0"_s,
                     u"insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values('00000123',"_s
                     u"'00123',0,0,'0',:fpdata)"_s}));
    EXPECT_EQ(newEmployeeLines(u"00000123"_s, u"000123"_s, u"00123"_s, u"00000123"_s, kNow),
              QStringList(
                  {u"INSERT INTO hremployee(EmplID,workid, Cardid,deptid,emplname,sex,married,identityid,"_s
                   u"password,teamid,shiftid,weekendid,entrydate,leaveyn,remark,lastoperid,lastoperdate)"_s
                   u"VALUES ('00000123','000123','00123','01','00000123',0,0,'','','','','','2024-05-06',0,"_s
                   u"'','sa','2024-05-06 07:08:09')"_s,
                   u"insert into equcard(cardno,emplid,cardtype,cardstatus,operdate,operid,personverify)"_s
                   u"values('00123','00000123','C001','1','2024-05-06 07:08:09','sa','')"_s}));
    EXPECT_TRUE(activeSearchText(u"K"_s).endsWith(
        u"(hd.deptname like'%K%' or he.emplid like'%K%' or he.cardid like'%K%' )"_s));
    EXPECT_TRUE(departedSearchLines(u"K"_s)[1].endsWith(
        u"(hd.deptname like '%K%' or he.emplid like '%K%' or he.cardid like '%K%' )"_s));
}

TEST(StatementTexts, FailingInsertAfterTheTestIsAnError) {
    TestDatabase db;
    seed(db);
    // A constraint that only the insert of the batch breaks.
    db.exec(u"create unique index atd_card on AtdRecord (CardNo)"_s);
    db.exec(
        u"insert into AtdRecord (EmplID, CardNo, RecDate, RecTime) values ('x', '000123', '1999-01-01', '00:00')"_s);
    Query& q = db.data().qry_2;
    q.addSql(attendanceWriteBatch(kTest123, kWriteValues));
    EXPECT_THROW(q.open(), DatabaseError);
    EXPECT_FALSE(q.isOpen());
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
}

TEST(StatementTexts, QuoteInAValueMakesTheStatementFail) {
    TestDatabase db;
    seed(db);
    Query& q = db.data().qry_2;
    q.addSql(duplicateTestText(u"O'Brien"_s, u"2005-03-07"_s, u"08:15"_s));
    EXPECT_THROW(q.open(), DatabaseError);
}

}  // namespace
