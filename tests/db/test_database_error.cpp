// Database errors carry the kind of the driver's native code: SQLite's result codes, ODBC's
// SQLSTATEs and SQL Server's error numbers in both forms Qt's QODBC hands them out, and real
// SQLite failures on every path a statement takes.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <vector>

#include "core/errors.h"
#include "db/commit_group.h"
#include "db/data_module.h"
#include "db/database_error.h"
#include "db/dialect.h"
#include "db/prepared_statement.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace Qt::StringLiterals;
using Kind = orvelo::DatabaseErrorKind;
using Path = orvelo::sql::PreparedStatement::Path;

namespace {

const char* name(Kind kind) {
    switch (kind) {
        case Kind::Busy:
            return "Busy";
        case Kind::ReadOnly:
            return "ReadOnly";
        case Kind::Storage:
            return "Storage";
        case Kind::ConnectionLost:
            return "ConnectionLost";
        case Kind::Constraint:
            return "Constraint";
        case Kind::Other:
            return "Other";
    }
    return "?";
}

}  // namespace

namespace orvelo {
void PrintTo(DatabaseErrorKind kind, std::ostream* out) {
    *out << name(kind);
}
}  // namespace orvelo

namespace {

TEST(DatabaseErrorKind, OfSqliteResultCodes) {
    const std::vector<std::pair<int, Kind>> cases = {
        {5, Kind::Busy},             // SQLITE_BUSY
        {261, Kind::Busy},           // SQLITE_BUSY_RECOVERY
        {517, Kind::Busy},           // SQLITE_BUSY_SNAPSHOT
        {773, Kind::Busy},           // SQLITE_BUSY_TIMEOUT
        {6, Kind::Busy},             // SQLITE_LOCKED
        {262, Kind::Busy},           // SQLITE_LOCKED_SHAREDCACHE
        {15, Kind::Busy},            // SQLITE_PROTOCOL
        {8, Kind::ReadOnly},         // SQLITE_READONLY
        {520, Kind::ReadOnly},       // SQLITE_READONLY_CANTLOCK
        {1032, Kind::ReadOnly},      // SQLITE_READONLY_DBMOVED
        {1544, Kind::ReadOnly},      // SQLITE_READONLY_DIRECTORY
        {10, Kind::Storage},         // SQLITE_IOERR
        {266, Kind::Storage},        // SQLITE_IOERR_READ
        {778, Kind::Storage},        // SQLITE_IOERR_WRITE
        {3082, Kind::Storage},       // SQLITE_IOERR_NOMEM
        {13, Kind::Storage},         // SQLITE_FULL
        {11, Kind::Storage},         // SQLITE_CORRUPT
        {26, Kind::Storage},         // SQLITE_NOTADB
        {7, Kind::Storage},          // SQLITE_NOMEM
        {14, Kind::ConnectionLost},  // SQLITE_CANTOPEN
        {21, Kind::ConnectionLost},  // SQLITE_MISUSE
        {19, Kind::Constraint},      // SQLITE_CONSTRAINT
        {2067, Kind::Constraint},    // SQLITE_CONSTRAINT_UNIQUE
        {1555, Kind::Constraint},    // SQLITE_CONSTRAINT_PRIMARYKEY
        {1299, Kind::Constraint},    // SQLITE_CONSTRAINT_NOTNULL
        {1811, Kind::Constraint},    // SQLITE_CONSTRAINT_TRIGGER
        {787, Kind::Constraint},     // SQLITE_CONSTRAINT_FOREIGNKEY
        {1, Kind::Other},            // SQLITE_ERROR: a syntax error, a missing table
        {20, Kind::Other},           // SQLITE_MISMATCH
        {18, Kind::Other},           // SQLITE_TOOBIG
        {25, Kind::Other},           // SQLITE_RANGE
        {9, Kind::Other},            // SQLITE_INTERRUPT
    };
    for (const auto& [code, kind] : cases) EXPECT_EQ(sql::sqliteErrorKind(code), kind) << code;
}

TEST(DatabaseErrorKind, OfSqlStates) {
    const std::vector<std::pair<QString, Kind>> cases = {
        {u"08S01"_s, Kind::ConnectionLost},                                      // communication link failure
        {u"08s01"_s, Kind::ConnectionLost}, {u"08001"_s, Kind::ConnectionLost},  // unable to connect
        {u"08003"_s, Kind::ConnectionLost},                                      // connection not open
        {u"08004"_s, Kind::ConnectionLost},  // server rejected the connection
        {u"08007"_s, Kind::ConnectionLost},  // connection failure during transaction
        {u"HYT01"_s, Kind::ConnectionLost},  // connection time-out
        {u"IM002"_s, Kind::ConnectionLost},  // data source not found
        {u"HYT00"_s, Kind::Busy},            // time-out expired (a lock wait)
        {u"40001"_s, Kind::Busy},            // serialization failure: the deadlock victim
        {u"23000"_s, Kind::Constraint},      // integrity constraint violation
        {u"40002"_s, Kind::Constraint},     {u"25006"_s, Kind::ReadOnly},  // read-only transaction
        {u"HY001"_s, Kind::Storage},                                       // memory allocation error
        {u"42000"_s, Kind::Other},                                         // syntax error or access violation
        {u"42S02"_s, Kind::Other},                                         // no such table
        {u"25000"_s, Kind::Other},                                         // invalid transaction state
        {u"22001"_s, Kind::Other},                                         // string data right-truncated
        {u"HY000"_s, Kind::Other},
    };
    for (const auto& [state, kind] : cases) EXPECT_EQ(sql::sqlStateKind(state), kind) << state.toStdString();
}

TEST(DatabaseErrorKind, OfSqlServerErrorNumbers) {
    const std::vector<std::pair<long long, Kind>> cases = {
        {1205, Kind::Busy},
        {1222, Kind::Busy},
        {3906, Kind::ReadOnly},
        {9002, Kind::Storage},
        {1105, Kind::Storage},
        {823, Kind::Storage},
        {2627, Kind::Constraint},
        {2601, Kind::Constraint},
        {547, Kind::Constraint},
        {515, Kind::Constraint},
        {20009, Kind::ConnectionLost},
        {20003, Kind::ConnectionLost},
        {20004, Kind::ConnectionLost},
        {20017, Kind::ConnectionLost},
        {208, Kind::Other},
        {102, Kind::Other},
        {8152, Kind::Other},
        {0, Kind::Other},
    };
    for (const auto& [number, kind] : cases) EXPECT_EQ(sql::sqlServerErrorKind(number), kind) << number;
}

TEST(DatabaseErrorKind, OfQodbcErrorsInTheFormsOfBothQtVersions) {
    struct Case {
        const char* name;
        QString databaseText;
        QString nativeCode;
        Kind kind;
    };
    const std::vector<Case> cases = {
        // Qt 6.4: the descriptions, and the number of the last record.
        {"6.4, a key violation", u"[FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK_x'."_s,
         u"2627"_s, Kind::Constraint},
        {"6.4, the deadlock victim", u"[FreeTDS][SQL Server]Transaction was deadlocked"_s, u"1205"_s,
         Kind::Busy},
        {"6.4, the server went away", u"[FreeTDS][SQL Server]Read from the server failed"_s, u"20004"_s,
         Kind::ConnectionLost},
        {"6.4, a missing table", u"[FreeTDS][SQL Server]Invalid object name 'x'."_s, u"208"_s, Kind::Other},
        // Qt 6.5 and later: the SQLSTATEs after the descriptions, the numbers joined; a warning first.
        {"6.5, a warning, then a key violation",
         u"[FreeTDS][SQL Server]Changed database context to 'hr'. [FreeTDS][SQL Server]Violation of "
         u"PRIMARY KEY constraint 'PK_x'., 01000;23000"_s,
         u"5701;2627"_s, Kind::Constraint},
        {"6.5, the link failed", u"[FreeTDS][SQL Server]Communication link failure, 08S01"_s, u"0"_s,
         Kind::ConnectionLost},
        {"6.5, a query time-out", u"[FreeTDS][SQL Server]Query timeout expired, HYT00"_s, u"0"_s, Kind::Busy},
        // The words of the text do not count: only the code does.
        {"words that say otherwise", u"connection lost: database is locked, disk I/O error"_s, u"2627"_s,
         Kind::Constraint},
        {"no code", u"database is locked"_s, QString(), Kind::Other},
    };
    for (const Case& c : cases) {
        const QSqlError error(u"QODBC: Unable to execute statement"_s, c.databaseText,
                              QSqlError::StatementError, c.nativeCode);
        EXPECT_EQ(sql::odbcErrorKind(error), c.kind) << c.name;
        EXPECT_EQ(sql::databaseError(error, Dialect::SqlServer).kind(), c.kind) << c.name;
        EXPECT_EQ(sql::databaseError(error, Dialect::SqlServer).text(), c.databaseText) << c.name;
    }
}

TEST(DatabaseErrorKind, WhichKindsAreAboutTheWholeDatabase) {
    const std::vector<std::pair<Kind, bool>> cases = {
        {Kind::Busy, true},           {Kind::ReadOnly, true},    {Kind::Storage, true},
        {Kind::ConnectionLost, true}, {Kind::Constraint, false}, {Kind::Other, false},
    };
    for (const auto& [kind, whole] : cases)
        EXPECT_EQ(DatabaseError(u"x"_s, kind).aboutTheDatabase(), whole) << name(kind);
}

// Runs `work`, which must throw DatabaseError, and gives its kind.
template <class Work>
Kind kindOf(Work&& work) {
    try {
        work();
    } catch (const DatabaseError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no DatabaseError";
    return Kind::Other;
}

void execute(DataModule& data, const QString& statement) {
    Query query(data, u"qry_test"_s);
    query.addSql(statement);
    query.execSql();
}

class RealSqliteErrors : public ::testing::TestWithParam<Path> {
protected:
    TestDatabase db;
    void SetUp() override { db.exec(u"CREATE TABLE t (k INTEGER PRIMARY KEY, v TEXT NOT NULL)"_s); }
    void runPrepared(DataModule& data, const QString& text, std::initializer_list<QVariant> values) {
        sql::PreparedStatement statement(data, text, GetParam());
        statement.run(values);
    }
};

TEST_P(RealSqliteErrors, AnotherConnectionHoldingTheWriteLockIsBusy) {
    DataModule other;
    DatabaseTarget target;
    target.sqliteFile = db.databaseFile();
    target.sqliteBusyTimeout = std::chrono::milliseconds(50);
    other.openConnection(target);
    db.exec(u"BEGIN IMMEDIATE"_s);
    EXPECT_EQ(kindOf([&] { execute(other, u"insert into t (k, v) values (1, 'a')"_s); }), Kind::Busy);
    EXPECT_EQ(kindOf([&] {
                  runPrepared(other, u"INSERT INTO t (k, v) VALUES (?, ?)"_s, {1, u"a"_s});
              }),
              Kind::Busy);
    EXPECT_EQ(kindOf([&] { CommitGroup(other).begin(); }), Kind::Busy);
    db.exec(u"ROLLBACK"_s);
    execute(other, u"insert into t (k, v) values (1, 'a')"_s);
    EXPECT_EQ(db.rowCount(u"t"_s), 1);
}

TEST_P(RealSqliteErrors, ReadOnlyConnectionIsReadOnly) {
    // A connection that takes no writes: SQLite refuses each write with SQLITE_READONLY.
    db.exec(u"PRAGMA query_only = ON"_s);
    EXPECT_EQ(kindOf([&] { execute(db.data(), u"insert into t (k, v) values (1, 'a')"_s); }), Kind::ReadOnly);
    EXPECT_EQ(kindOf([&] {
                  runPrepared(db.data(), u"INSERT INTO t (k, v) VALUES (?, ?)"_s, {1, u"a"_s});
              }),
              Kind::ReadOnly);
    db.exec(u"PRAGMA query_only = OFF"_s);
}

TEST_P(RealSqliteErrors, BrokenConstraintIsAConstraintAndAMissingTableIsOther) {
    db.exec(u"INSERT INTO t (k, v) VALUES (1, 'a')"_s);
    EXPECT_EQ(kindOf([&] { execute(db.data(), u"insert into t (k, v) values (1, 'b')"_s); }),
              Kind::Constraint);
    EXPECT_EQ(kindOf([&] {
                  runPrepared(db.data(), u"INSERT INTO t (k, v) VALUES (?, ?)"_s, {1, u"b"_s});
              }),
              Kind::Constraint);
    EXPECT_EQ(kindOf([&] { runPrepared(db.data(), u"INSERT INTO t (k, v) VALUES (?, NULL)"_s, {2}); }),
              Kind::Constraint);
    EXPECT_EQ(kindOf([&] { execute(db.data(), u"insert into missing (k) values (1)"_s); }), Kind::Other);
    EXPECT_EQ(kindOf([&] { runPrepared(db.data(), u"INSERT INTO missing (k) VALUES (?)"_s, {1}); }),
              Kind::Other);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, RealSqliteErrors, ::testing::Values(Path::Native, Path::Qt));

TEST(RealSqliteError, ReadOnlyOpenOfTheFileIsReadOnly) {
    TestDatabase db;
    const QString name = u"read_only_open"_s;
    {
        QSqlDatabase readOnly = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        readOnly.setDatabaseName(db.databaseFile());
        readOnly.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        ASSERT_TRUE(readOnly.open());
        EXPECT_EQ(kindOf([&] {
                      sql::runBatch(readOnly, Dialect::Sqlite,
                                    u"insert into hrdept (deptid, deptname) values ('9', 'x')"_s, {}, false);
                  }),
                  Kind::ReadOnly);
        readOnly.close();
    }
    QSqlDatabase::removeDatabase(name);
}

TEST(RealSqliteError, ClosedConnectionIsConnectionLost) {
    DataModule data;
    EXPECT_EQ(kindOf([&] { execute(data, u"select 1"_s); }), Kind::ConnectionLost);
}

}  // namespace
