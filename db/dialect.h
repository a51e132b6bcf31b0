#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "db/data_module.h"
#include "db/sql_translator.h"

// How a statement text of the system reaches each server. The system writes Transact-SQL: several
// statements in one text, `insert TABLE (...)` without INTO, `if not exists (...) insert ...`,
// and named parameters such as :fpdata and :登记号码. SQL Server gets the text as it is (only the
// parameters become ODBC's '?'); SQLite and PostgreSQL get it as sql_translator.h rewrites it.
namespace orvelo::sql {

// What a batch gave back: the first result that has columns (or none).
struct ResultSet {
    bool hasColumns = false;
    QStringList columns;
    std::vector<std::vector<QVariant>> rows;
};

using ParameterLookup = std::function<QVariant(const QString& name)>;

// The prepared statements of the SQLite path for one connection. The data module owns one and
// empties it before its connection closes, since a prepared statement must not outlive it.
class StatementCache {
public:
    StatementCache();
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    void clear();

    struct Entries;
    Entries& entries() { return *m_entries; }

private:
    std::unique_ptr<Entries> m_entries;
};

// Runs a batch on the connection and fetches every row of its first result with columns (only
// the columns when keepRows is false). Throws DatabaseError with the server's text. On SQL Server
// every result of the batch is drained and the first error raised, so that a failing statement
// after a query or a delete is never taken for success; on SQLite and PostgreSQL the statements run
// in order and the first error stops the batch.
// With a cache, SQLite statements that differ only in their values share one prepared statement;
// without one every statement is prepared anew.
ResultSet runBatch(QSqlDatabase& db, Dialect dialect, const QString& text, const ParameterLookup& parameters,
                   bool keepRows, StatementCache* cache = nullptr);

// Runs one SELECT forward-only and hands `row` each row as the server delivers it, so that no
// more than one row is held at a time: for results that may not fit in memory (the export of a
// year of punches). `row` gets the values in the order of the select list; what it throws ends the
// query and passes through. Throws DatabaseError, also for an error after some rows were handed
// over, and for a text that is not exactly one statement. On SQLite the pass runs with a small page
// cache, which keeps the memory of a large pass small.
void forEachRow(QSqlDatabase& db, Dialect dialect, const QString& text, const ParameterLookup& parameters,
                const std::function<void(std::span<const QVariant>)>& row);

// Runs a script of statements separated by ';' (the schema), one by one, on a connection of
// `dialect`.
void runScript(QSqlDatabase& db, const QString& script, Dialect dialect);

}  // namespace orvelo::sql
