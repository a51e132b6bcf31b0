#include "db/dialect.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "core/errors.h"

namespace orvelo::sql {

namespace {

enum class TokenKind { Blank, Comment, Literal, QuotedName, Word, Parameter, Symbol };

struct Token {
    TokenKind kind;
    qsizetype begin;
    qsizetype end;  // one past the last character
};

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

bool isParameterChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// A small lexer, just enough to know what stands outside quotes and comments, and where the
// words and parentheses are. An unterminated literal or comment runs to the end of the text.
std::vector<Token> tokenize(const QString& text) {
    std::vector<Token> tokens;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto closeAt = [&](qsizetype from, QChar quote) {
        qsizetype j = from;
        while (j < n) {
            if (text[j] == quote) {
                // A doubled quote stands for itself inside the literal.
                if (j + 1 < n && text[j + 1] == quote) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    };
    while (i < n) {
        const QChar c = text[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && text[i].isSpace()) ++i;
            tokens.push_back({TokenKind::Blank, start, i});
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            while (i < n && text[i] != u'\n') ++i;
            tokens.push_back({TokenKind::Comment, start, i});
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            const qsizetype close = text.indexOf(u"*/", i + 2);
            i = close < 0 ? n : close + 2;
            tokens.push_back({TokenKind::Comment, start, i});
        } else if (c == u'\'') {
            i = closeAt(i + 1, u'\'');
            tokens.push_back({TokenKind::Literal, start, i});
        } else if (c == u'"') {
            i = closeAt(i + 1, u'"');
            tokens.push_back({TokenKind::QuotedName, start, i});
        } else if (c == u'[') {
            i = closeAt(i + 1, u']');
            tokens.push_back({TokenKind::QuotedName, start, i});
        } else if (c == u':' && i + 1 < n && isParameterChar(text[i + 1]) &&
                   (i == 0 || text[i - 1] != u':')) {
            ++i;
            while (i < n && isParameterChar(text[i])) ++i;
            tokens.push_back({TokenKind::Parameter, start, i});
        } else if (isNameChar(c)) {
            while (i < n && isNameChar(text[i])) ++i;
            tokens.push_back({TokenKind::Word, start, i});
        } else if (c == u':' && i + 1 < n && text[i + 1] == u':') {
            i += 2;
            tokens.push_back({TokenKind::Symbol, start, i});
        } else {
            ++i;
            tokens.push_back({TokenKind::Symbol, start, i});
        }
    }
    return tokens;
}

bool isSignificant(const Token& t) {
    return t.kind != TokenKind::Blank && t.kind != TokenKind::Comment;
}

QStringView tokenText(const QString& text, const Token& t) {
    return QStringView(text).mid(t.begin, t.end - t.begin);
}

bool isWord(const QString& text, const Token& t, QStringView word) {
    return t.kind == TokenKind::Word && tokenText(text, t).compare(word, Qt::CaseInsensitive) == 0;
}

bool isSymbol(const QString& text, const Token& t, QChar symbol) {
    return t.kind == TokenKind::Symbol && t.end - t.begin == 1 && text[t.begin] == symbol;
}

bool isStatementStart(const QString& text, const Token& t) {
    static const QStringView starters[] = {u"select", u"insert", u"update", u"delete", u"if"};
    if (t.kind != TokenKind::Word) return false;
    for (QStringView s : starters) {
        if (isWord(text, t, s)) return true;
    }
    return false;
}

// The ranges [begin, end) of the statements of a batch, before trimming.
struct Range {
    qsizetype begin;
    qsizetype end;
};

// With semicolonsOnly, only a top-level ';' ends a statement (scripts with DDL).
std::vector<Range> statementRanges(const QString& text, const std::vector<Token>& tokens,
                                   bool semicolonsOnly) {
    std::vector<Range> ranges;
    qsizetype begin = 0;
    int depth = 0;
    // What the statement under way has shown so far at its top level.
    const Token* first = nullptr;
    const Token* previous = nullptr;
    bool ifBodySeen = false;
    bool valuesSeen = false;
    auto startNew = [&](qsizetype at) {
        ranges.push_back({begin, at});
        begin = at;
        first = nullptr;
        previous = nullptr;
        ifBodySeen = false;
        valuesSeen = false;
    };
    for (const Token& t : tokens) {
        if (!isSignificant(t)) continue;
        if (isSymbol(text, t, u'(')) {
            ++depth;
        } else if (isSymbol(text, t, u')')) {
            if (depth > 0) --depth;
        } else if (depth == 0 && isSymbol(text, t, u';')) {
            startNew(t.begin);
            begin = t.end;
            continue;
        } else if (depth == 0 && !semicolonsOnly && isStatementStart(text, t)) {
            if (!first) {
                first = &t;
            } else {
                bool split = true;
                if (isWord(text, *first, u"if") && !ifBodySeen) {
                    ifBodySeen = true;  // the statement the IF guards
                    split = false;
                } else if (isWord(text, t, u"select") && previous &&
                           (isWord(text, *previous, u"union") || isWord(text, *previous, u"all") ||
                            isWord(text, *previous, u"except") || isWord(text, *previous, u"intersect"))) {
                    split = false;
                } else if (isWord(text, t, u"select") && isWord(text, *first, u"insert") && !valuesSeen) {
                    split = false;  // INSERT ... SELECT
                }
                if (split) {
                    startNew(t.begin);
                    first = &t;
                }
            }
        } else if (depth == 0 && isWord(text, t, u"values")) {
            valuesSeen = true;
        }
        if (!first && depth == 0) first = &t;
        previous = &t;
    }
    ranges.push_back({begin, text.size()});
    return ranges;
}

QString blankTrimmed(QStringView text) {
    return text.trimmed().toString();
}

// `insert TABLE (...)` is T-SQL for `insert into TABLE (...)`.
QString withInsertInto(const QString& statement) {
    const auto tokens = tokenize(statement);
    const Token* insert = nullptr;
    for (const Token& t : tokens) {
        if (!isSignificant(t)) continue;
        if (!insert) {
            if (!isWord(statement, t, u"insert")) return statement;
            insert = &t;
            continue;
        }
        if (isWord(statement, t, u"into")) return statement;
        return statement.left(insert->end) + u" into" + statement.mid(insert->end);
    }
    return statement;
}

QString sqliteError(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

QString serverError(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

// Binds the values of the parameters in the order of their marks. A parameter without a value
// is NULL (as a text, which every driver can bind).
void bindAll(QSqlQuery& query, const QStringList& names, const ParameterLookup& parameters) {
    for (const QString& name : names) {
        QVariant value = parameters ? parameters(name) : QVariant();
        if (!value.isValid()) value = QVariant(QMetaType::fromType<QString>());
        query.addBindValue(value);
    }
}

bool execute(QSqlQuery& query, const PositionalText& text, const ParameterLookup& parameters) {
    if (text.parameters.isEmpty()) return query.exec(text.text);
    if (!query.prepare(text.text)) return false;
    bindAll(query, text.parameters, parameters);
    return query.exec();
}

void takeColumns(const QSqlQuery& query, ResultSet& result) {
    const QSqlRecord record = query.record();
    result.hasColumns = true;
    result.columns.clear();
    for (int i = 0; i < record.count(); ++i) result.columns.append(record.fieldName(i));
}

// Reads every row left in the current result; returns false when the driver reported an error.
bool fetchRows(QSqlQuery& query, ResultSet* into) {
    const int columns = query.record().count();
    while (query.next()) {
        if (!into) continue;
        std::vector<QVariant> row;
        row.reserve(static_cast<std::size_t>(columns));
        for (int i = 0; i < columns; ++i) row.push_back(query.value(i));
        into->rows.push_back(std::move(row));
    }
    return !query.lastError().isValid();
}

ResultSet runOnSqlServer(QSqlDatabase& db, const QString& text, const ParameterLookup& parameters,
                         bool keepRows) {
    ResultSet result;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!execute(query, toPositional(text), parameters)) throw DatabaseError(serverError(query.lastError()));
    // The server reports an error of a later statement of the batch only as one of its further
    // results: read them all and raise the first error, after the batch has run to its end.
    QString firstError;
    QString lastError;
    for (;;) {
        if (query.isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(query, result);
            if (!fetchRows(query, first && keepRows ? &result : nullptr) && firstError.isEmpty())
                firstError = serverError(query.lastError());
        }
        if (query.nextResult()) continue;
        const QSqlError error = query.lastError();
        if (!error.isValid()) break;
        const QString message = serverError(error);
        // The error of a failed result stays the query's last error: seeing it again means
        // there was nothing further.
        if (message == lastError) break;
        lastError = message;
        if (firstError.isEmpty()) firstError = message;
    }
    if (!firstError.isEmpty()) throw DatabaseError(firstError);
    return result;
}

// Prepared statements of the SQLite path, per connection. The system's statements carry their
// values as literals, so two records never send the same text; with the value literals taken out
// as bound values they share one prepared statement, which saves SQLite parsing every statement
// of every record. Only a text literal that stands where a value goes (after =, <, >, "(", ","
// or LIKE) is taken out, and only in SELECT, INSERT, UPDATE and DELETE: a literal that is a
// column alias or part of a definition stays as it is.
struct BindSource {
    bool isParameter = false;
    QString parameter;  // the parameter's name
    QString literal;    // the literal's value, quotes removed
};

struct CacheableText {
    QString text;
    std::vector<BindSource> binds;
};

bool takesValue(const QString& text, const Token& previous) {
    if (previous.kind == TokenKind::Symbol)
        return isSymbol(text, previous, u'=') || isSymbol(text, previous, u'<') ||
               isSymbol(text, previous, u'>') || isSymbol(text, previous, u'(') ||
               isSymbol(text, previous, u',');
    return isWord(text, previous, u"like");
}

std::optional<CacheableText> toCacheable(const QString& text) {
    const auto tokens = tokenize(text);
    static const QStringView dml[] = {u"select", u"insert", u"update", u"delete"};
    const auto firstWord = std::find_if(tokens.begin(), tokens.end(), isSignificant);
    if (firstWord == tokens.end() || std::none_of(std::begin(dml), std::end(dml),
                                                  [&](QStringView w) { return isWord(text, *firstWord, w); }))
        return std::nullopt;
    CacheableText out;
    out.text.reserve(text.size());
    const Token* previous = nullptr;
    for (const Token& t : tokens) {
        const QStringView piece = tokenText(text, t);
        if (t.kind == TokenKind::Parameter) {
            out.text += u'?';
            out.binds.push_back({true, piece.mid(1).toString(), {}});
        } else if (t.kind == TokenKind::Literal && previous && takesValue(text, *previous) &&
                   piece.size() >= 2 && piece.endsWith(u'\'')) {
            out.text += u'?';
            out.binds.push_back({false,
                                 {},
                                 piece.mid(1, piece.size() - 2)
                                     .toString()
                                     .replace(QStringLiteral("''"), QStringLiteral("'"))});
        } else {
            out.text += piece;
        }
        if (isSignificant(t)) previous = &t;
    }
    return out;
}

struct CachedStatement {
    QSqlQuery* query = nullptr;  // null: run the text uncached
    std::vector<BindSource> binds;
};

// A whole batch of statements without IF, translated once for its shape: the prepared statement
// of each piece and how many of the batch's bound values it takes, in text order. A shape that
// cannot be run this way keeps an empty plan and goes the statement-by-statement way.
struct BatchPlan {
    struct Step {
        std::unique_ptr<QSqlQuery> query;
        std::size_t binds = 0;
    };
    std::vector<Step> steps;
};

class StatementCache {
public:
    static constexpr qsizetype kMaxStatements = 64;
    std::map<QString, std::unique_ptr<QSqlQuery>> statements;
    std::map<QString, BatchPlan> plans;
};

std::map<QString, StatementCache>& statementCaches() {
    static std::map<QString, StatementCache> caches;  // by connection name; the UI thread only
    return caches;
}

CachedStatement cachedStatement(QSqlDatabase& db, const QString& statement) {
    auto cacheable = toCacheable(statement);
    if (!cacheable) return {};
    StatementCache& cache = statementCaches()[db.connectionName()];
    auto it = cache.statements.find(cacheable->text);
    if (it == cache.statements.end()) {
        auto query = std::make_unique<QSqlQuery>(db);
        query->setForwardOnly(true);
        // A text SQLite cannot prepare goes the uncached way, which reports its error.
        if (!query->prepare(cacheable->text)) return {};
        if (qsizetype(cache.statements.size()) >= StatementCache::kMaxStatements) cache.statements.clear();
        it = cache.statements.emplace(cacheable->text, std::move(query)).first;
    }
    return {it->second.get(), std::move(cacheable->binds)};
}

void bindCached(QSqlQuery& query, const std::vector<BindSource>& binds, const ParameterLookup& parameters) {
    for (std::size_t i = 0; i < binds.size(); ++i) {
        QVariant value;
        if (binds[i].isParameter) {
            value = parameters ? parameters(binds[i].parameter) : QVariant();
            if (!value.isValid()) value = QVariant(QMetaType::fromType<QString>());
        } else {
            value = binds[i].literal;
        }
        query.bindValue(int(i), value);
    }
}

std::size_t markCount(const QString& text) {
    std::size_t n = 0;
    for (const Token& t : tokenize(text))
        if (isSymbol(text, t, u'?')) ++n;
    return n;
}

BatchPlan makePlan(QSqlDatabase& db, const QString& normalized, std::size_t binds) {
    BatchPlan plan;
    std::size_t taken = 0;
    for (const SqliteStatement& step : translateForSqlite(normalized)) {
        if (!step.condition.isEmpty()) return {};
        auto query = std::make_unique<QSqlQuery>(db);
        query->setForwardOnly(true);
        if (!query->prepare(step.statement)) return {};
        const std::size_t marks = markCount(step.statement);
        taken += marks;
        plan.steps.push_back({std::move(query), marks});
    }
    if (taken != binds) return {};
    return plan;
}

// Runs `text` through the plan of its shape; false when the shape has no plan.
bool runPlanned(QSqlDatabase& db, const QString& text, const ParameterLookup& parameters, bool keepRows,
                ResultSet& result) {
    const auto cacheable = toCacheable(text);
    if (!cacheable) return false;
    StatementCache& cache = statementCaches()[db.connectionName()];
    auto it = cache.plans.find(cacheable->text);
    if (it == cache.plans.end()) {
        if (qsizetype(cache.plans.size()) >= StatementCache::kMaxStatements) cache.plans.clear();
        it = cache.plans.emplace(cacheable->text, makePlan(db, cacheable->text, cacheable->binds.size()))
                 .first;
    }
    BatchPlan& plan = it->second;
    if (plan.steps.empty()) return false;
    std::size_t next = 0;
    for (BatchPlan::Step& step : plan.steps) {
        QSqlQuery& query = *step.query;
        const std::vector<BindSource> binds(cacheable->binds.begin() + std::ptrdiff_t(next),
                                            cacheable->binds.begin() + std::ptrdiff_t(next + step.binds));
        next += step.binds;
        bindCached(query, binds, parameters);
        const auto reset = qScopeGuard([&] { query.finish(); });
        if (!query.exec()) throw DatabaseError(sqliteError(query.lastError()));
        if (query.isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(query, result);
            if (!fetchRows(query, first && keepRows ? &result : nullptr))
                throw DatabaseError(sqliteError(query.lastError()));
        }
    }
    return true;
}

ResultSet runOnSqlite(QSqlDatabase& db, const QString& text, const ParameterLookup& parameters,
                      bool keepRows) {
    ResultSet result;
    if (runPlanned(db, text, parameters, keepRows, result)) return result;
    for (const SqliteStatement& step : translateForSqlite(text)) {
        if (!step.condition.isEmpty()) {
            QSqlQuery test(db);
            test.setForwardOnly(true);
            if (!execute(test, toPositional(step.condition), parameters) || !test.next())
                throw DatabaseError(sqliteError(test.lastError()));
            if (test.value(0).toInt() != 1) continue;
        }
        CachedStatement cached = cachedStatement(db, step.statement);
        std::optional<QSqlQuery> own;
        QSqlQuery* query = cached.query;
        bool ok;
        if (query) {
            bindCached(*query, cached.binds, parameters);
            ok = query->exec();
        } else {
            own.emplace(db);
            own->setForwardOnly(true);
            query = &*own;
            ok = execute(*query, toPositional(step.statement), parameters);
        }
        // A cached statement is reset whatever happens, so that it holds no read snapshot
        // between uses.
        const auto reset = qScopeGuard([&] {
            if (cached.query) cached.query->finish();
        });
        if (!ok) throw DatabaseError(sqliteError(query->lastError()));
        if (query->isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(*query, result);
            if (!fetchRows(*query, first && keepRows ? &result : nullptr))
                throw DatabaseError(sqliteError(query->lastError()));
        }
    }
    return result;
}

}  // namespace

PositionalText toPositional(const QString& text) {
    PositionalText result;
    const auto tokens = tokenize(text);
    result.text.reserve(text.size());
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::Parameter) {
            result.text += u'?';
            result.parameters.append(text.mid(t.begin + 1, t.end - t.begin - 1));
        } else {
            result.text += tokenText(text, t);
        }
    }
    return result;
}

QStringList parameterNames(const QString& text) {
    QStringList names;
    for (const QString& name : toPositional(text).parameters) {
        bool known = false;
        for (const QString& n : names) known = known || n.compare(name, Qt::CaseInsensitive) == 0;
        if (!known) names.append(name);
    }
    return names;
}

namespace {

QStringList splitStatements(const QString& batch, bool semicolonsOnly) {
    QStringList statements;
    const auto tokens = tokenize(batch);
    for (const Range& r : statementRanges(batch, tokens, semicolonsOnly)) {
        const QString piece = blankTrimmed(QStringView(batch).mid(r.begin, r.end - r.begin));
        // A piece of only comments is no statement.
        const auto pieceTokens = tokenize(piece);
        if (std::any_of(pieceTokens.begin(), pieceTokens.end(), isSignificant)) statements.append(piece);
    }
    return statements;
}

}  // namespace

QStringList splitBatch(const QString& batch) {
    return splitStatements(batch, false);
}

std::vector<SqliteStatement> translateForSqlite(const QString& batch) {
    std::vector<SqliteStatement> steps;
    for (const QString& statement : splitBatch(batch)) {
        const auto tokens = tokenize(statement);
        auto firstSignificant = std::find_if(tokens.begin(), tokens.end(), isSignificant);
        if (firstSignificant != tokens.end() && isWord(statement, *firstSignificant, u"if")) {
            // The guarded statement begins at the first top-level statement word after IF.
            int depth = 0;
            qsizetype bodyBegin = -1;
            for (auto it = firstSignificant + 1; it != tokens.end(); ++it) {
                if (!isSignificant(*it)) continue;
                if (isSymbol(statement, *it, u'('))
                    ++depth;
                else if (isSymbol(statement, *it, u')'))
                    depth = std::max(0, depth - 1);
                else if (depth == 0 && isStatementStart(statement, *it)) {
                    bodyBegin = it->begin;
                    break;
                }
            }
            if (bodyBegin > 0) {
                const QString condition = blankTrimmed(
                    QStringView(statement).mid(firstSignificant->end, bodyBegin - firstSignificant->end));
                const QString body = blankTrimmed(QStringView(statement).mid(bodyBegin));
                steps.push_back(
                    {u"SELECT CASE WHEN " + condition + u" THEN 1 ELSE 0 END", withInsertInto(body)});
                continue;
            }
        }
        steps.push_back({QString(), withInsertInto(statement)});
    }
    return steps;
}

ResultSet runBatch(QSqlDatabase& db, Dialect dialect, const QString& text, const ParameterLookup& parameters,
                   bool keepRows) {
    if (!db.isOpen()) throw DatabaseError(QStringLiteral("Connection not open"));
    return dialect == Dialect::SqlServer ? runOnSqlServer(db, text, parameters, keepRows)
                                         : runOnSqlite(db, text, parameters, keepRows);
}

void releaseCachedStatements(const QString& connectionName) {
    statementCaches().erase(connectionName);
}

void runScript(QSqlDatabase& db, const QString& script) {
    for (const QString& statement : splitStatements(script, true)) {
        QSqlQuery query(db);
        if (!query.exec(statement)) throw DatabaseError(sqliteError(query.lastError()));
    }
}

}  // namespace orvelo::sql
