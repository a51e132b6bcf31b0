#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The statement texts of the system as text: T-SQL batches split, rewritten for SQLite and
// reduced to their shape. Pure functions over strings, no connection needed; dialect.h runs them.
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

// One statement of a batch as SQLite or PostgreSQL runs it. When `condition` is not empty it is a
// query giving 1 or 0, and `statement` runs only when it gave 1 (T-SQL's IF).
struct TranslatedStatement {
    QString condition;
    QString statement;
    bool operator==(const TranslatedStatement&) const = default;
};
using SqliteStatement = TranslatedStatement;
// The batch rewritten for SQLite: split, `insert TABLE` given its INTO, `IF cond stmt` turned into
// a condition query and its statement. Parameters stay named.
std::vector<TranslatedStatement> translateForSqlite(const QString& batch);
// The batch rewritten for PostgreSQL: as for SQLite, and T-SQL's own words that PostgreSQL spells
// otherwise: isnull( becomes coalesce(, getdate() localtimestamp(3), and `select top N ...` ends in
// LIMIT N. Unquoted names stay as they are: PostgreSQL folds them to lower case, as the schema's
// names are. Parameters stay named.
std::vector<TranslatedStatement> translateForPostgresql(const QString& batch);

// Splits a script of statements separated by ';' (the schema, with its DDL); only a top-level ';'
// ends a statement.
QStringList splitScript(const QString& script);

// The shape of a statement for the prepared statements of the SQLite path. The system's statements carry
// their values as literals, so two records never send the same text; with the value literals taken out as
// bound values they share one prepared statement, which saves SQLite parsing every statement of every record.
// Only a text literal that stands where a value goes (after =, <, >, "(", "," or LIKE) is taken out, and only
// in SELECT, INSERT, UPDATE and DELETE: a literal that is a column alias or part of a definition stays as it
// is.
struct BindSource {
    bool isParameter = false;
    QString parameter;  // the parameter's name
    QString literal;    // the literal's value, quotes removed
};

struct CacheableText {
    QString text;  // the statement with a '?' for every parameter and value literal
    std::vector<BindSource> binds;
};

// The shape of a SELECT, INSERT, UPDATE or DELETE text and its values in text order; nullopt for
// any other statement.
std::optional<CacheableText> toCacheable(const QString& text);

// The number of top-level '?' marks of a text (outside literals and comments).
std::size_t countMarks(const QString& text);

}  // namespace orvelo::sql
