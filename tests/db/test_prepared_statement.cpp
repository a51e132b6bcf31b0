// The embedded database's prepared statements: SQLite's own interface and QSqlQuery give the same
// answers, rows and errors.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include "core/errors.h"
#include "db/data_module.h"
#include "db/prepared_statement.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace Qt::StringLiterals;
using Path = orvelo::sql::PreparedStatement::Path;

namespace {

class PreparedStatement : public ::testing::TestWithParam<Path> {
protected:
    TestDatabase db;
    void SetUp() override { db.exec(u"CREATE TABLE t (k TEXT COLLATE RTRIM PRIMARY KEY, n INTEGER, x)"_s); }
    sql::PreparedStatement prepare(const QString& text) {
        return sql::PreparedStatement(db.data(), text, GetParam());
    }
};

TEST(PreparedStatementPath, NativeOnDebiansQt) {
    // Debian's Qt driver uses the system's SQLite, which this program links too.
    TestDatabase db;
    EXPECT_NE(db.data().nativeSqliteHandle(), nullptr);
    EXPECT_EQ(sql::PreparedStatement(db.data(), u"SELECT 1"_s).path(), Path::Native);
}

TEST_P(PreparedStatement, RunsWithItsValuesAndTellsTheChanges) {
    sql::PreparedStatement insert = prepare(
        u"INSERT INTO t (k, n, x) SELECT ?, ?, ? WHERE NOT EXISTS "
        u"(SELECT 1 FROM t WHERE k = ?)"_s);
    EXPECT_FALSE(insert.run({u"a "_s, 7, QVariant(), u"a"_s}).isValid());
    EXPECT_EQ(insert.changes(), 1);
    // The RTRIM collation finds "a " for "a": nothing inserted, and the count says so.
    insert.run({u"a"_s, 8, 1.5, u"a"_s});
    EXPECT_EQ(insert.changes(), 0);
    insert.run({QString(), 9, u"六"_s, QString()});  // a null QString is the empty text
    EXPECT_EQ(insert.changes(), 1);

    sql::PreparedStatement select = prepare(u"SELECT x FROM t WHERE k = ? ORDER BY n"_s);
    const QVariant null = select.run({u"a"_s});
    EXPECT_TRUE(null.isValid());
    EXPECT_TRUE(null.isNull());
    EXPECT_EQ(select.run({u""_s}).toString(), u"六"_s);
    EXPECT_FALSE(select.run({u"none"_s}).isValid());
    EXPECT_EQ(db.rows(u"SELECT k, n, typeof(n) AS t FROM t ORDER BY n"_s),
              (QList<QVariantMap>{{{u"k"_s, u"a "_s}, {u"n"_s, 7}, {u"t"_s, u"integer"_s}},
                                  {{u"k"_s, u""_s}, {u"n"_s, 9}, {u"t"_s, u"integer"_s}}}));
}

TEST_P(PreparedStatement, ErrorsCarryTheDatabasesTextAndTheStatementRunsOnAfterThem) {
    EXPECT_THROW(prepare(u"SELECT * FROM missing"_s), DatabaseError);
    db.exec(
        u"CREATE TRIGGER refuse BEFORE INSERT ON t WHEN NEW.n < 0 "
        u"BEGIN SELECT RAISE(ABORT, 'negative n'); END"_s);
    sql::PreparedStatement insert = prepare(u"INSERT INTO t (k, n) VALUES (?, ?)"_s);
    try {
        insert.run({u"a"_s, -1});
        ADD_FAILURE() << "the trigger's refusal was not raised";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.text().contains(u"negative n"_s)) << error.text().toStdString();
    }
    EXPECT_THROW(insert.run({u"b"_s, 1, 2}), DatabaseError);  // more values than marks
    insert.run({u"a"_s, 1});
    EXPECT_EQ(insert.changes(), 1);
    EXPECT_THROW(insert.run({u"a"_s, 2}), DatabaseError);  // the key
    EXPECT_EQ(db.rowCount(u"t"_s), 1);
}

TEST_P(PreparedStatement, HoldsNoReadSnapshotBetweenRuns) {
    // A statement left in the middle of its rows would keep a read transaction open: a commit
    // by another connection would then stay invisible to it.
    db.exec(u"INSERT INTO t (k, n) VALUES ('a', 1), ('b', 2)"_s);
    sql::PreparedStatement select = prepare(u"SELECT count(*) FROM t WHERE n > ?"_s);
    EXPECT_EQ(select.run({0}).toInt(), 2);
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other_connection"_s);
        other.setDatabaseName(db.databaseFile());
        ASSERT_TRUE(other.open());
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec(u"INSERT INTO t (k, n) VALUES ('c', 3)"_s));
        other.close();
    }
    QSqlDatabase::removeDatabase(u"other_connection"_s);
    EXPECT_EQ(select.run({0}).toInt(), 3);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, PreparedStatement, ::testing::Values(Path::Native, Path::Qt),
                         [](const auto& info) { return info.param == Path::Native ? "Native" : "Qt"; });

}  // namespace
