// The prepared statements that the SQLite path keeps for texts that differ only in their values:
// every text must give what it gives without them.
#include <gtest/gtest.h>

#include <tuple>

#include "core/errors.h"
#include "db/data_module.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace Qt::StringLiterals;

namespace {

QStringList column(Query& q, const QString& text, int col = 0) {
    q.close();
    q.clearSql();
    q.addSql(text);
    q.open();
    QStringList out;
    for (int r = 0; r < q.rowCount(); ++r) out.append(q.value(r, col).toString());
    return out;
}

class StatementCache : public ::testing::Test {
protected:
    TestDatabase db;
    void SetUp() override {
        db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
        db.addActiveEmployee(u"O'Neil"_s, u"00321"_s, u"乙"_s);
        db.addActiveEmployee(u"000124"_s, u"00124"_s, u"丙"_s);
    }
};

TEST_F(StatementCache, SameShapeDifferentValues) {
    Query& q = db.data().qry_1;
    // One shape, many values, in turn: each answer belongs to its own value.
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(column(q, u"select emplid from HrEmployee where cardid='00123'"_s),
                  QStringList{u"000123"_s});
        EXPECT_EQ(column(q, u"select emplid from HrEmployee where cardid='00321'"_s),
                  QStringList{u"O'Neil"_s});
        EXPECT_EQ(column(q, u"select emplid from HrEmployee where cardid='99999'"_s), QStringList{});
        EXPECT_EQ(column(q, u"select cardid from HrEmployee where emplid='O''Neil'"_s),
                  QStringList{u"00321"_s});
    }
}

TEST_F(StatementCache, LiteralsThatAreNotValuesStay) {
    Query& q = db.data().qry_1;
    // A text alias, a LIKE pattern, an IN list, and a literal in the select list.
    column(q,
           u"select emplid as '人员编号', 'x' as kind from HrEmployee where cardid like '0012%' "
           u"and emplid in ('000123', '000124') order by emplid"_s);
    EXPECT_EQ(q.columnNames(), (QStringList{u"人员编号"_s, u"kind"_s}));
    EXPECT_EQ(q.rowCount(), 2);
    EXPECT_EQ(q.value(1, 0).toString(), u"000124"_s);
    EXPECT_EQ(q.value(0, 1).toString(), u"x"_s);
}

TEST_F(StatementCache, LiteralsAndParametersBindInTextOrder) {
    Query& q = db.data().qry_1;
    q.close();
    q.clearSql();
    q.addSql(
        u"select emplid from HrEmployee where cardid = :card or emplid = 'O''Neil' or cardid = :other "
        u"order by emplid"_s);
    q.setParameter(u"card"_s, u"00124"_s);
    q.setParameter(u"other"_s, u"00123"_s);
    q.open();
    ASSERT_EQ(q.rowCount(), 3);
    q.setParameter(u"card"_s, u"nothing"_s);
    q.open();
    EXPECT_EQ(q.rowCount(), 2);
}

TEST_F(StatementCache, BatchWithWriteAndRepeatedTest) {
    Query& q = db.data().qry_2;
    const QString test =
        u"SELECT * fROM atdrecord WHERE ((emplid = '000123' )AND (recdate = '2005-03-07' )ANd "
        u"(rectime = '08:15'))"_s;
    EXPECT_EQ(column(q, test), QStringList{});
    column(
        q,
        test +
            u" INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
            u"OperDate)VALUES ('000123','000123','2005-03-07 ','08:15',2,'001',2,'sa','2005-03-07 09:00:12')"_s);
    EXPECT_EQ(column(q, test, 2), QStringList{u"2005-03-07 "_s});
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
}

TEST_F(StatementCache, BatchValuesGoToTheirOwnStatements) {
    Query& q = db.data().qry_2;
    // Literals and a parameter spread over two statements of one batch, run with other values
    // each time: every value reaches the statement it stands in.
    for (const auto& [card, other, name] :
         {std::tuple{u"00123"_s, u"00124"_s, u"新名"_s}, std::tuple{u"00124"_s, u"00321"_s, u"O'Hara"_s}}) {
        q.close();
        q.clearSql();
        q.addSql(u"SELECT emplid FROM hremployee WHERE cardid = '"_s + card +
                 u"' UPDATE hremployee SET emplname = :name WHERE cardid = '"_s + other + u"'"_s);
        q.setParameter(u"name"_s, name);
        q.open();
        ASSERT_EQ(q.rowCount(), 1);
        EXPECT_EQ(q.value(0, 0).toString(),
                  db.scalar(u"SELECT emplid FROM hremployee WHERE cardid='"_s + card + u"'"_s).toString());
        EXPECT_EQ(db.scalar(u"SELECT emplname FROM hremployee WHERE cardid='"_s + other + u"'"_s).toString(),
                  name);
    }
    EXPECT_EQ(db.scalar(u"SELECT emplname FROM hremployee WHERE cardid='00123'"_s).toString(), u"甲"_s);
}

TEST_F(StatementCache, FailuresAndSchemaChanges) {
    Query& q = db.data().qry_1;
    const QString text = u"select emplid from HrEmployee where cardid='00123'"_s;
    EXPECT_EQ(column(q, text), QStringList{u"000123"_s});
    db.exec(u"ALTER TABLE hremployee RENAME TO hremployee_away"_s);
    EXPECT_THROW(column(q, text), DatabaseError);
    db.exec(u"ALTER TABLE hremployee_away RENAME TO hremployee"_s);
    EXPECT_EQ(column(q, text), QStringList{u"000123"_s});
    // A statement that cannot be prepared still fails with SQLite's own text.
    try {
        column(q, u"select nosuchcolumn from HrEmployee where cardid='1'"_s);
        ADD_FAILURE() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.text().contains(u"nosuchcolumn"_s)) << e.text().toStdString();
    }
}

TEST_F(StatementCache, ConnectionClosesWithStatementsKept) {
    column(db.data().qry_1, u"select emplid from HrEmployee where cardid='00123'"_s);
    // Reopening the module's connection drops the kept statements first; the new connection
    // prepares its own.
    db.data().openConnection({Dialect::Sqlite, {}, db.databaseFile()});
    EXPECT_EQ(column(db.data().qry_1, u"select emplid from HrEmployee where cardid='00124'"_s),
              QStringList{u"000124"_s});
}

}  // namespace
