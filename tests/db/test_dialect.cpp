#include <gtest/gtest.h>

#include <QSqlQuery>
#include <algorithm>

#include "core/errors.h"
#include "db/dialect.h"
#include "tests/db/statement_texts.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::sql;
using namespace Qt::StringLiterals;

namespace {

struct PositionalCase {
    const char* what;
    const char* text;
    const char* positional;
    QStringList names;
};

const PositionalCase kPositionalCases[] = {
    {"ASCII name", "insert t (a,b)values('x',:fpdata)", "insert t (a,b)values('x',?)", {u"fpdata"_s}},
    {"Chinese name",
     "select * from t where ef.cardno=:登记号码",
     "select * from t where ef.cardno=?",
     {u"登记号码"_s}},
    {"ASCII name after a Chinese one keeps its place",
     "select :登记号码, :b from t where x=:a",
     "select ?, ? from t where x=?",
     {u"登记号码"_s, u"b"_s, u"a"_s}},
    {"colon inside a literal is no parameter",
     "select * from t where rectime='08:15' and a=:x",
     "select * from t where rectime='08:15' and a=?",
     {u"x"_s}},
    {"doubled quote keeps the literal open",
     "select 'it''s :no' , :yes",
     "select 'it''s :no' , ?",
     {u"yes"_s}},
    {"colon inside a quoted name", "select \"a:b\", [c:d] from t", "select \"a:b\", [c:d] from t", {}},
    {"colon inside comments",
     "select 1 -- :no\r\n/* :no */ , :yes",
     "select 1 -- :no\r\n/* :no */ , ?",
     {u"yes"_s}},
    {"double colon is no parameter", "select a::b", "select a::b", {}},
    {"a name used twice binds twice", "select :a, :a", "select ?, ?", {u"a"_s, u"a"_s}},
    {"lone colon", "select ':' , : x", "select ':' , : x", {}},
    {"unterminated literal runs to the end", "select ':x", "select ':x", {}},
};

class PositionalTest : public testing::TestWithParam<PositionalCase> {};

TEST_P(PositionalTest, MapsNamesOutsideLiterals) {
    const PositionalCase& c = GetParam();
    const PositionalText p = toPositional(QString::fromUtf8(c.text));
    EXPECT_EQ(p.text, QString::fromUtf8(c.positional)) << c.what;
    EXPECT_EQ(p.parameters, c.names) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, PositionalTest, testing::ValuesIn(kPositionalCases));

TEST(ParameterNames, EachOnceInOrder) {
    EXPECT_EQ(parameterNames(u"select :b, :a, :B, :登记号码"_s),
              QStringList({u"b"_s, u"a"_s, u"登记号码"_s}));
}

struct SplitCase {
    const char* what;
    QString batch;
    QStringList statements;
};

QString crlf(const QStringList& lines) {
    QString text;
    for (const QString& l : lines) text += l + u"\r\n";
    return text;
}

std::vector<SplitCase> splitCases() {
    const QString test = test::duplicateTestText(u"000123"_s, u"2005-03-07"_s, u"08:15"_s);
    const QString insert =
        u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "_s
        u"OperDate)VALUES ('000123','000123','2005-03-07 ','08:15',2,'001',2,'sa','2005-03-07 09:00:12')"_s;
    const QStringList store = test::storeEnrollmentLines(u"00000123"_s, u"00123"_s, 0, 0, 0);
    const QStringList created = test::newEmployeeLines(u"00000123"_s, u"000123"_s, u"00123"_s, u"00000123"_s,
                                                       u"2024-05-06 07:08:09"_s);
    const QStringList departed = test::departedSearchLines(u"01"_s);
    return {
        {"query then insert on one line", test + u" " + insert, {test, insert}},
        {"delete and insert on two lines", crlf(store), store},
        {"employee and card on two lines", crlf(created), created},
        {"departed search: one statement over two lines", crlf(departed), {departed.join(u"\r\n")}},
        {"IF guards its insert", test::kDefaultDepartmentText, {test::kDefaultDepartmentText}},
        {"IF then another statement",
         test::kDefaultDepartmentText + u"\r\nselect 1",
         {test::kDefaultDepartmentText, u"select 1"_s}},
        {"subqueries stay inside", test::kDetailListText, {test::kDetailListText}},
        {"semicolons", u"select 1; select 2;"_s, {u"select 1"_s, u"select 2"_s}},
        {"insert ... select",
         u"insert into t (a) select b from u"_s,
         {u"insert into t (a) select b from u"_s}},
        {"union", u"select 1 union all select 2"_s, {u"select 1 union all select 2"_s}},
        {"insert values then select",
         u"insert into t (a) values (1) select 2"_s,
         {u"insert into t (a) values (1)"_s, u"select 2"_s}},
        {"keywords inside literals and names",
         u"select 'x insert y', [delete] from t"_s,
         {u"select 'x insert y', [delete] from t"_s}},
        {"comment only", u"-- nothing\r\n"_s, {}},
    };
}

TEST(SplitBatch, AtTheStartOfEachStatement) {
    for (const SplitCase& c : splitCases()) EXPECT_EQ(splitBatch(c.batch), c.statements) << c.what;
}

TEST(TranslateForSqlite, RewritesTheTsqlShapes) {
    const struct {
        const char* what;
        QString batch;
        std::vector<SqliteStatement> expected;
    } cases[] = {
        {"IF NOT EXISTS with an insert without INTO",
         test::kDefaultDepartmentText,
         {{u"SELECT CASE WHEN not exists (select * from hrdept where deptid='01') THEN 1 ELSE 0 END"_s,
           u"insert into hrdept (deptid,deptno,deptname) values('01','01','01')"_s}}},
        {"insert without INTO",
         u"insert equfinger (emplid)values(:fpdata)"_s,
         {{QString(), u"insert into equfinger (emplid)values(:fpdata)"_s}}},
        {"insert with INTO unchanged",
         u"INSERT INTO AtdRecord(EmplID)VALUES ('1')"_s,
         {{QString(), u"INSERT INTO AtdRecord(EmplID)VALUES ('1')"_s}}},
        {"the word insert in a literal is left alone",
         u"update t set a='insert x'"_s,
         {{QString(), u"update t set a='insert x'"_s}}},
        {"IF with a parameter in its condition",
         u"if exists (select * from t where a=:x) delete from t where a=:x"_s,
         {{u"SELECT CASE WHEN exists (select * from t where a=:x) THEN 1 ELSE 0 END"_s,
           u"delete from t where a=:x"_s}}},
    };
    for (const auto& c : cases) EXPECT_EQ(translateForSqlite(c.batch), c.expected) << c.what;
}

}  // namespace

namespace {

// The SQL Server path, run here on an SQLite connection: the text goes as one piece, unchanged
// but for the parameter marks, which shows in what SQLite accepts and refuses of it.
TEST(SqlServerPath, SendsTheTextAsItIsWithPositionalParameters) {
    test::TestDatabase db;
    QSqlDatabase con = db.data().connection();
    const auto params = [](const QString& name) -> QVariant {
        if (name == u"登记号码") return u"00123"_s;
        if (name == u"b") return 7;
        return {};
    };
    const ResultSet r =
        runBatch(con, Dialect::SqlServer, u"select :登记号码 as a, :b as b, ':b' as c"_s, params, true);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.columns, QStringList({u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(r.rows[0][0].toString(), u"00123"_s);
    EXPECT_EQ(r.rows[0][1].toInt(), 7);
    EXPECT_EQ(r.rows[0][2].toString(), u":b"_s);
    // Not split and not rewritten: SQLite refuses both shapes as they stand.
    EXPECT_THROW(runBatch(con, Dialect::SqlServer, u"select 1\r\nselect 2\r\n"_s, {}, true), DatabaseError);
    EXPECT_THROW(runBatch(con, Dialect::SqlServer, u"insert hrdept (deptid) values ('01')"_s, {}, false),
                 DatabaseError);
    EXPECT_NO_THROW(runBatch(con, Dialect::Sqlite, u"insert hrdept (deptid) values ('01')"_s, {}, false));
    EXPECT_EQ(db.rowCount(u"hrdept"_s), 1);
}

}  // namespace

namespace {

// A table n of the numbers 1..count (the system's batch splitter takes no WITH, so the rows are made
// beforehand).
void makeNumbers(orvelo::test::TestDatabase& db, int count) {
    db.exec(u"create table n (i integer primary key)"_s);
    db.exec(
        u"with recursive c(i) as (select 1 union all select i + 1 from c where i < %1) "
        u"insert into n (i) select i from c"_s.arg(count));
}

int cacheSize(QSqlDatabase& db) {
    QSqlQuery query(db);
    EXPECT_TRUE(query.exec(u"PRAGMA cache_size"_s) && query.next());
    return query.value(0).toInt();
}

// The pass over a result: each row handed over as SQLite steps to it, with a small cache for the
// pass and the connection's own afterwards.
TEST(ForEachRow, HandsOverEveryRowInOrderWithASmallCacheForThePass) {
    orvelo::test::TestDatabase db;
    makeNumbers(db, 3000);
    QSqlDatabase con = db.data().connection();
    const int ownCache = cacheSize(con);
    std::vector<qlonglong> seen;
    int cacheDuringThePass = 0;
    forEachRow(
        con, Dialect::Sqlite, u"select i, 'row ' || i from n where i <= :last order by i"_s,
        [](const QString& name) { return name == u"last"_s ? QVariant(3000) : QVariant(); },
        [&](std::span<const QVariant> row) {
            ASSERT_EQ(row.size(), 2u);
            if (seen.empty()) cacheDuringThePass = cacheSize(con);
            EXPECT_EQ(row[1].toString(), u"row "_s + row[0].toString());
            seen.push_back(row[0].toLongLong());
        });
    ASSERT_EQ(seen.size(), 3000u);
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen.back(), 3000);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(cacheDuringThePass, ownCache);  // both negative: KiB
    EXPECT_EQ(cacheSize(con), ownCache);
}

TEST(ForEachRow, AnErrorAfterSomeRowsIsADatabaseError) {
    orvelo::test::TestDatabase db;
    makeNumbers(db, 1000);
    QSqlDatabase con = db.data().connection();
    int rows = 0;
    // abs() of the smallest integer overflows: a run-time error at the 101st row.
    EXPECT_THROW(forEachRow(con, Dialect::Sqlite,
                            u"select case when i <= 100 then i else abs(-9223372036854775807 - 1) end from n "
                            u"order by i"_s,
                            {}, [&rows](std::span<const QVariant>) { ++rows; }),
                 DatabaseError);
    EXPECT_EQ(rows, 100);
    EXPECT_THROW(
        forEachRow(con, Dialect::Sqlite, u"select 1; select 2"_s, {}, [](std::span<const QVariant>) {}),
        DatabaseError);
    // What the row function throws ends the pass; the connection writes afterwards.
    EXPECT_THROW(forEachRow(con, Dialect::Sqlite, u"select deptid from hrdept union all select 'x'"_s, {},
                            [](std::span<const QVariant>) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    EXPECT_NO_THROW(db.exec(u"insert into hrdept (deptid) values ('99')"_s));
}

}  // namespace
