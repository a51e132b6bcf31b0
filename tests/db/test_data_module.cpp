#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTime>

#include "core/errors.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "tests/db/statement_texts.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace Qt::StringLiterals;

namespace {

void reopen(Query& q, const QString& text) {
    q.close();
    q.clearSql();
    q.addSql(text);
    q.open();
}

TEST(Query, TextIsLinesEachEndedByCrLf) {
    DataModule data;
    Query& q = data.qry_1;
    q.addSql(u"select 1"_s);
    q.addSql(u"select 2"_s);
    EXPECT_EQ(q.sql(), u"select 1\r\nselect 2\r\n"_s);
    q.clearSql();
    EXPECT_EQ(q.sql(), QString());
    EXPECT_FALSE(q.isOpen());
    EXPECT_EQ(q.currentRow(), -1);
}

// The tests that read and write the same way on the embedded file and on PostgreSQL.
class OnBothDatabases : public testing::TestWithParam<TestProvider> {};
INSTANTIATE_TEST_SUITE_P(Providers, OnBothDatabases, testing::ValuesIn(kTestProviders),
                         [](const auto& info) { return testProviderName(info.param); });

TEST_P(OnBothDatabases, OpenHoldsEveryRowAtOnce) {
    ORVELO_NEEDS_PROVIDER(GetParam());
    TestDatabase db(GetParam());
    db.exec(u"create table many (n integer)"_s);
    db.exec(
        u"with recursive c(n) as (select 1 union all select n + 1 from c where n < 1000) "_s
        u"insert into many select n from c"_s);
    Query& q = db.data().qry_3;
    reopen(q, u"select n from many order by n"_s);
    ASSERT_EQ(q.rowCount(), 1000);
    EXPECT_EQ(q.value(999, u"n"_s).toInt(), 1000);
    EXPECT_EQ(db.data().ds_3.rowCount(), 1000);
    EXPECT_EQ(q.currentRow(), 0);
    // Rows stay when the table changes: nothing goes back to the server.
    db.exec(u"delete from many"_s);
    EXPECT_EQ(q.rowCount(), 1000);
    EXPECT_EQ(q.value(500, 0).toInt(), 501);
}

TEST(Query, FailedOpenLeavesTheQueryClosed) {
    TestDatabase db;
    Query& q = db.data().qry_1;
    reopen(q, u"select 1 as a"_s);
    ASSERT_TRUE(q.isOpen());
    q.close();
    q.clearSql();
    q.addSql(u"select * from nosuchtable"_s);
    try {
        q.open();
        FAIL() << "opened";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.text().contains(u"nosuchtable"_s)) << e.text().toStdString();
    }
    EXPECT_FALSE(q.isOpen());
    EXPECT_EQ(q.rowCount(), 0);
    EXPECT_EQ(q.columnCount(), 0);
    EXPECT_EQ(q.currentRow(), -1);
}

TEST(Query, CursorAndFields) {
    TestDatabase db;
    db.addDepartment(u"01"_s, u"A"_s);
    db.addDepartment(u"02"_s, u"B"_s);
    Query& q = db.data().qry_1;
    reopen(q, u"select deptid, deptname from hrdept order by deptid"_s);
    EXPECT_EQ(q.currentRow(), 0);
    EXPECT_EQ(q.field(u"DEPTNAME"_s).toString(), u"A"_s);
    q.setCurrentRow(1);
    EXPECT_EQ(q.field(u"deptname"_s).toString(), u"B"_s);
    q.setCurrentRow(5);
    EXPECT_EQ(q.currentRow(), 1);
    q.setCurrentRow(-3);
    EXPECT_EQ(q.currentRow(), 0);
    EXPECT_EQ(q.columnIndex(u"nothing"_s), -1);
    EXPECT_THROW(q.field(u"nothing"_s), DatabaseError);
    EXPECT_THROW(q.value(0, u"nothing"_s), DatabaseError);
    reopen(q, u"select deptid from hrdept where 0"_s);
    EXPECT_EQ(q.currentRow(), -1);
    EXPECT_TRUE(q.field(u"deptid"_s).isNull());
    q.close();
    EXPECT_EQ(q.currentRow(), -1);
}

TEST_P(OnBothDatabases, ExecSqlKeepsNoRows) {
    ORVELO_NEEDS_PROVIDER(GetParam());
    TestDatabase db(GetParam());
    Query& q = db.data().qry_1;
    q.addSql(u"insert into hrdept (deptid) values ('01')"_s);
    q.addSql(u"select * from hrdept"_s);
    q.execSql();
    EXPECT_FALSE(q.isOpen());
    EXPECT_EQ(q.rowCount(), 0);
    EXPECT_EQ(db.rowCount(u"hrdept"_s), 1);
}

TEST(Query, ParametersBindByNameWhateverTheirScript) {
    TestDatabase db;
    Query& q = db.data().qry_1;
    q.addSql(u"select :登记号码 as a, :b as b, :a as c, ':b' as d, :A as e, :missing as f"_s);
    q.setParameter(u"a"_s, u"first"_s);
    q.setParameter(u"登记号码"_s, u"00123"_s);
    q.setParameter(u"b"_s, 42);
    q.open();
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.field(u"a"_s).toString(), u"00123"_s);
    EXPECT_EQ(q.field(u"b"_s).toInt(), 42);
    EXPECT_EQ(q.field(u"c"_s).toString(), u"first"_s);
    EXPECT_EQ(q.field(u"d"_s).toString(), u":b"_s);
    EXPECT_EQ(q.field(u"e"_s).toString(), u"first"_s);
    EXPECT_TRUE(q.field(u"f"_s).isNull());
    // A second value for a name replaces the first; clearing the text removes them all.
    q.setParameter(u"A"_s, u"second"_s);
    q.open();
    EXPECT_EQ(q.field(u"c"_s).toString(), u"second"_s);
    q.close();
    q.clearSql();
    q.addSql(u"select :a as c"_s);
    q.open();
    EXPECT_TRUE(q.field(u"c"_s).isNull());
}

TEST(Query, LongTextParameterKeepsEveryByte) {
    TestDatabase db;
    QString text;
    for (int i = 0; i < 459; ++i) text += QString::number(-2147483647 + i) + u"\r\n";
    Query& q = db.data().qry_1;
    for (const QString& line : storeEnrollmentLines(u"00000001"_s, u"00001"_s, 0, 0, 0)) q.addSql(line);
    q.setParameter(u"fpdata"_s, text);
    q.execSql();
    EXPECT_EQ(db.scalar(u"select fingerdata from equfinger"_s).toString(), text);
    EXPECT_EQ(db.scalar(u"select typeof(fingerdata) from equfinger"_s).toString(), u"text"_s);
}

TEST(MasterDetail, DetailFollowsTheCurrentRowOfItsMaster) {
    TestDatabase db;
    db.addDepartment(u"01"_s, u"总部"_s);
    db.addActiveEmployee(u"000001"_s, u"00001"_s, u"甲"_s);
    db.addActiveEmployee(u"000002"_s, u"00002"_s, u"乙"_s);
    db.addDepartedEmployee(u"000003"_s, u"00003"_s, u"丙"_s);
    db.addEnrollment(u"000001"_s, u"00001"_s, 0);
    db.addEnrollment(u"000002"_s, u"00002"_s, 0);
    db.addEnrollment(u"000002"_s, u"00002"_s, 1);
    db.addEnrollment(u"000003"_s, u"00003"_s, 10);
    DataModule& data = db.data();
    EXPECT_EQ(data.qry_5.masterSource(), &data.ds_3);

    reopen(data.qry_3, kActiveListText + u" order by he.emplid"_s);
    reopen(data.qry_4, kDepartedListText);
    EXPECT_FALSE(data.qry_5.isOpen());  // a closed detail is not opened by its master
    reopen(data.qry_5, kDetailListText);
    EXPECT_EQ(data.qry_5.rowCount(), 1);
    EXPECT_EQ(data.qry_5.field(u"登记号码"_s).toString(), u"00001"_s);

    data.qry_3.setCurrentRow(1);
    EXPECT_EQ(data.qry_5.rowCount(), 2);
    EXPECT_EQ(data.ds_5.rowCount(), 2);

    // Re-opening the master re-queries the detail for the master's first row.
    reopen(data.qry_3, kActiveListText + u" order by he.emplid"_s);
    EXPECT_EQ(data.qry_5.rowCount(), 1);

    // A closed or empty master gives an open detail without rows, its columns kept.
    data.qry_3.close();
    EXPECT_TRUE(data.qry_5.isOpen());
    EXPECT_EQ(data.qry_5.rowCount(), 0);
    EXPECT_EQ(data.qry_5.columnCount(), 3);
    reopen(data.qry_3, kActiveListText + u" and 0"_s);
    EXPECT_EQ(data.qry_5.rowCount(), 0);

    // The departed list as master.
    data.qry_5.setMasterSource(&data.ds_4);
    EXPECT_EQ(data.qry_5.field(u"登记类型"_s).toString(), u"密码"_s);
    reopen(data.qry_3, kActiveListText);
    EXPECT_EQ(data.qry_5.field(u"登记号码"_s).toString(), u"00003"_s);

    // Without a master the parameter is the bound one.
    data.qry_5.setMasterSource(nullptr);
    data.qry_5.setParameter(u"登记号码"_s, u"00002"_s);
    data.qry_5.open();
    EXPECT_EQ(data.qry_5.rowCount(), 2);
    data.qry_4.close();
    EXPECT_EQ(data.qry_5.rowCount(), 2);
}

TEST(DataSource, ShowsTheQuery) {
    TestDatabase db;
    db.addDepartment(u"01"_s, u"总部"_s);
    db.addDepartment(u"02"_s, u"生产部"_s);
    DataModule& data = db.data();
    reopen(data.qry_4, u"select deptid 编号, deptname 名称, 3 as n, null as z from hrdept order by deptid"_s);
    const DataSource& ds = data.ds_4;
    EXPECT_EQ(ds.rowCount(), 2);
    EXPECT_EQ(ds.columnCount(), 4);
    EXPECT_EQ(ds.headerData(1, Qt::Horizontal).toString(), u"名称"_s);
    EXPECT_EQ(ds.data(ds.index(1, 1)).toString(), u"生产部"_s);
    EXPECT_EQ(ds.data(ds.index(0, 3)).toString(), QString());
    EXPECT_EQ(ds.data(ds.index(0, 2), Qt::EditRole).toInt(), 3);
    data.qry_4.close();
    EXPECT_EQ(ds.rowCount(), 0);
    EXPECT_EQ(ds.columnCount(), 0);
}

TEST(DataSource, DisplayTexts) {
    const struct {
        QVariant value;
        QString text;
    } cases[] = {
        {QVariant(), QString()},
        {QVariant(QMetaType::fromType<QString>()), QString()},
        {QVariant(QMetaType::fromType<int>()), QString()},
        {QDate(2024, 5, 6), u"2024-05-06"_s},
        {QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)), u"2024-05-06 07:08:09"_s},
        {QDateTime(QDate(2024, 5, 6), QTime(0, 0)), u"2024-05-06"_s},
        {QDateTime(QDate(2024, 5, 6), QTime(0, 0, 1)), u"2024-05-06 00:00:01"_s},
        {QTime(23, 5, 0), u"23:05:00"_s},
        {42, u"42"_s},
        {qint64(-7), u"-7"_s},
        {2.5, u"2.5"_s},
        {u"00123 "_s, u"00123 "_s},
    };
    for (const auto& c : cases) EXPECT_EQ(DataSource::displayText(c.value), c.text) << c.value.typeName();
}

TEST(Query, SortRowsIsStableAndKeepsTheCurrentRecord) {
    TestDatabase db;
    DataModule& data = db.data();
    reopen(data.qry_3,
           u"select 'b' k, 1 n union all select 'a', 2 union all select null, 3 union all "_s
           u"select 'b', 4 union all select 'a', 5"_s);
    data.qry_3.setCurrentRow(3);  // n = 4
    data.qry_3.sortRows({{0, Qt::AscendingOrder}});
    QStringList order;
    for (int r = 0; r < data.qry_3.rowCount(); ++r) order << data.qry_3.value(r, 1).toString();
    EXPECT_EQ(order, QStringList({u"3"_s, u"2"_s, u"5"_s, u"1"_s, u"4"_s}));
    EXPECT_EQ(data.qry_3.field(u"n"_s).toInt(), 4);
    data.qry_3.sortRows({{0, Qt::DescendingOrder}, {1, Qt::DescendingOrder}});
    order.clear();
    for (int r = 0; r < data.qry_3.rowCount(); ++r) order << data.qry_3.value(r, 1).toString();
    EXPECT_EQ(order, QStringList({u"4"_s, u"1"_s, u"5"_s, u"2"_s, u"3"_s}));
    EXPECT_EQ(data.qry_3.field(u"n"_s).toInt(), 4);
}

TEST_P(OnBothDatabases, TransactionRollsBackUnlessCommitted) {
    ORVELO_NEEDS_PROVIDER(GetParam());
    TestDatabase db(GetParam());
    {
        Transaction t(db.data());
        db.exec(u"insert into hrdept (deptid) values ('01')"_s);
    }
    EXPECT_EQ(db.rowCount(u"hrdept"_s), 0);
    {
        Transaction t(db.data());
        db.exec(u"insert into hrdept (deptid) values ('02')"_s);
        t.commit();
    }
    EXPECT_EQ(db.rowCount(u"hrdept"_s), 1);
    {
        Transaction t(db.data());
        // An error inside leaves through the guard, undoing what came before it.
        Query& q = db.data().qry_1;
        q.addSql(u"insert into hrdept (deptid) values ('03')"_s);
        q.addSql(u"insert into hrdept (deptid) values ('02')"_s);
        EXPECT_THROW(q.execSql(), DatabaseError);
    }
    EXPECT_EQ(db.rowCount(u"hrdept"_s), 1);
}

TEST(EmbeddedDatabase, SetUpForItsWriters) {
    TestDatabase db;
    EXPECT_EQ(db.scalar(u"pragma journal_mode"_s).toString(), u"wal"_s);
    EXPECT_EQ(db.scalar(u"pragma synchronous"_s).toInt(), 1);  // NORMAL
    EXPECT_EQ(db.scalar(u"pragma cache_size"_s).toInt(), -65536);
}

TEST(EmbeddedDatabase, WriteWaitsForAnotherWritersLockUpToItsTimeOut) {
    TestDatabase db;
    DataModule data;
    DatabaseTarget target;
    target.sqliteFile = db.databaseFile();
    target.sqliteBusyTimeout = std::chrono::milliseconds(300);
    data.openConnection(target);
    db.exec(u"BEGIN IMMEDIATE"_s);
    const auto write = [&data] {
        data.qry_1.close();
        data.qry_1.clearSql();
        data.qry_1.addSql(u"insert into hrdept (deptid, deptname) values ('09', 'x')"_s);
        data.qry_1.execSql();
    };
    QElapsedTimer waited;
    waited.start();
    EXPECT_THROW(write(), DatabaseError);
    EXPECT_GE(waited.elapsed(), 300);
    EXPECT_LT(waited.elapsed(), 3000);
    db.exec(u"ROLLBACK"_s);
    EXPECT_NO_THROW(write());
}

TEST(EmbeddedDatabase, SchemaHasTheTablesIndexesAndCodeRows) {
    TestDatabase db;
    for (const char* table : {"hremployee", "hrdept", "systxtset", "equfinger", "equcard", "AtdRecord"})
        EXPECT_EQ(db.rowCount(QString::fromLatin1(table)),
                  QString::fromLatin1(table) == u"systxtset" ? 17 : 0)
            << table;
    const auto indexColumns = [&](const QString& table) {
        QStringList result;
        for (const auto& index : db.rows(u"select name from pragma_index_list('"_s + table + u"')"_s)) {
            QStringList columns;
            for (const auto& c : db.rows(u"select name from pragma_index_info('"_s +
                                         index[u"name"_s].toString() + u"') order by seqno"_s))
                columns << c[u"name"_s].toString().toLower();
            result << columns.join(u',');
        }
        return result;
    };
    EXPECT_TRUE(indexColumns(u"hremployee"_s).contains(u"cardid"_s));
    EXPECT_TRUE(indexColumns(u"AtdRecord"_s).contains(u"emplid,recdate,rectime"_s));
    EXPECT_TRUE(indexColumns(u"equfinger"_s).contains(u"emplid,cardno,backupid"_s));
    EXPECT_TRUE(indexColumns(u"equfinger"_s).contains(u"cardno"_s));
    const struct {
        const char* type;
        int first;
        int last;
    } codes[] = {{"sex", 0, 1}, {"BackupID", 0, 10}, {"privilege", 0, 3}};
    for (const auto& c : codes) {
        const auto rows = db.rows(u"select textvalue, gb from systxtset where texttype='"_s +
                                  QString::fromLatin1(c.type) + u"' order by textvalue"_s);
        ASSERT_EQ(rows.size(), c.last - c.first + 1) << c.type;
        for (int i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i][u"textvalue"_s].toInt(), c.first + i) << c.type;
            EXPECT_FALSE(rows[i][u"gb"_s].toString().isEmpty()) << c.type;
        }
    }
    EXPECT_EQ(db.scalar(u"select gb from systxtset where texttype='BackupID' and textvalue=9"_s).toString(),
              u"卡号"_s);
    EXPECT_EQ(db.scalar(u"select gb from systxtset where texttype='BackupID' and textvalue=10"_s).toString(),
              u"密码"_s);
}

TEST_P(OnBothDatabases, TextComparesWithoutTrailingBlanks) {
    ORVELO_NEEDS_PROVIDER(GetParam());
    TestDatabase db(GetParam());
    db.addActiveEmployee(u"000001 "_s, u"00001 "_s, u"甲"_s);
    EXPECT_EQ(
        db.scalar(u"select count(*) from hremployee where emplid = '000001' and cardid='00001'"_s).toInt(),
        1);
    // Leading blanks do count, as on SQL Server.
    EXPECT_EQ(db.scalar(u"select count(*) from hremployee where emplid = ' 000001'"_s).toInt(), 0);
    // The same key with a trailing blank is the same key.
    EXPECT_THROW(db.addActiveEmployee(u"000001"_s, u"00002"_s, u"乙"_s), DatabaseError);
}

TEST(EmbeddedDatabase, TwoProcessesShareTheFile) {
    TestDatabase db;
    DataModule other;
    other.openConnection(*databaseTargetAtStartup(db.appDir()));
    db.addDepartment(u"01"_s, u"总部"_s);
    reopen(other.qry_1, u"select deptname from hrdept"_s);
    EXPECT_EQ(other.qry_1.field(u"deptname"_s).toString(), u"总部"_s);
}

TEST(DataModule, OpensOnlyOnce) {
    DataModule data;
    EXPECT_FALSE(data.isConnected());
    Query& q = data.qry_1;
    q.addSql(u"select 1"_s);
    EXPECT_THROW(q.open(), DatabaseError);
}

}  // namespace
