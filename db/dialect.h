#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

#include "db/data_module.h"

// How a statement text of the system reaches each server. The system writes Transact-SQL: several
// statements in one text, `insert TABLE (...)` without INTO, `if not exists (...) insert ...`,
// and named parameters such as :fpdata and :登记号码. SQL Server gets the text as it is (only the
// parameters become ODBC's '?'); SQLite gets it through the small adapter below.
namespace orvelo::sql {

// The text with every named parameter outside quoted literals and comments replaced by '?', and
// the names in the order of the marks (a name used twice appears twice). Names may be non-ASCII:
// Qt's own placeholder parser accepts only ASCII names, so the data module never leaves the
// mapping to it.
struct PositionalText {
    QString text;
    QStringList parameters;
};
PositionalText toPositional(const QString& text);

// The parameter names of a text, each once, in order of first appearance.
QStringList parameterNames(const QString& text);

// Splits a batch at the start of each statement: at a top-level SELECT, INSERT, UPDATE, DELETE or
// IF, or at a top-level ';'. A line break alone does not end a statement. The body of an IF, the
// SELECT of an INSERT ... SELECT and the SELECT after UNION stay in their statement. Each piece
// is trimmed; empty pieces are dropped.
QStringList splitBatch(const QString& batch);

// One statement of a batch as SQLite runs it. When `condition` is not empty it is a query giving
// 1 or 0, and `statement` runs only when it gave 1 (T-SQL's IF).
struct SqliteStatement {
    QString condition;
    QString statement;
    bool operator==(const SqliteStatement&) const = default;
};
// The batch rewritten for SQLite: split, `insert TABLE` given its INTO, `IF cond stmt` turned into
// a condition query and its statement. Parameters stay named.
std::vector<SqliteStatement> translateForSqlite(const QString& batch);

// What a batch gave back: the first result that has columns (or none).
struct ResultSet {
    bool hasColumns = false;
    QStringList columns;
    std::vector<std::vector<QVariant>> rows;
};

using ParameterLookup = std::function<QVariant(const QString& name)>;

// Runs a batch on the connection and fetches every row of its first result with columns (only
// the columns when keepRows is false). Throws DatabaseError with the server's text. On SQL Server
// every result of the batch is drained and the first error raised, so that a failing statement
// after a query or a delete is never taken for success; on SQLite the statements run in order
// and the first error stops the batch.
ResultSet runBatch(QSqlDatabase& db, Dialect dialect, const QString& text, const ParameterLookup& parameters,
                   bool keepRows);

// Drops the prepared statements that runBatch keeps for the connection's SQLite statements;
// called before the connection closes.
void releaseCachedStatements(const QString& connectionName);

// Runs a script of statements separated by ';' (the schema), one by one.
void runScript(QSqlDatabase& db, const QString& script);

}  // namespace orvelo::sql
