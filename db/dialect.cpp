#include "db/dialect.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <map>
#include <memory>
#include <optional>

#include "core/errors.h"
#include "db/database_error.h"
#include "db/sql_translator.h"

using namespace Qt::StringLiterals;

namespace orvelo::sql {

namespace {

DatabaseError sqliteError(const QSqlError& error) {
    return databaseError(error, Dialect::Sqlite);
}

DatabaseError serverError(const QSqlError& error) {
    return databaseError(error, Dialect::SqlServer);
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
    if (!execute(query, toPositional(text), parameters)) throw serverError(query.lastError());
    // The server reports an error of a later statement of the batch only as one of its further
    // results: read them all and raise the first error, after the batch has run to its end.
    std::optional<DatabaseError> firstError;
    QString lastError;
    for (;;) {
        if (query.isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(query, result);
            if (!fetchRows(query, first && keepRows ? &result : nullptr) && !firstError)
                firstError = serverError(query.lastError());
        }
        if (query.nextResult()) continue;
        const QSqlError error = query.lastError();
        if (!error.isValid()) break;
        const DatabaseError failure = serverError(error);
        // The error of a failed result stays the query's last error: seeing it again means
        // there was nothing further.
        if (failure.text() == lastError) break;
        lastError = failure.text();
        if (!firstError) firstError = failure;
    }
    if (firstError) throw *firstError;
    return result;
}

// Prepared statements of the SQLite path, per connection: texts of one shape (toCacheable) share
// one prepared statement, which saves SQLite parsing every statement of every record.
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

}  // namespace

// Kept per connection by its data module; the UI thread only.
struct StatementCache::Entries {
    static constexpr qsizetype kMaxStatements = 64;
    std::map<QString, std::unique_ptr<QSqlQuery>> statements;
    std::map<QString, BatchPlan> plans;
};

StatementCache::StatementCache() : m_entries(std::make_unique<Entries>()) {}

StatementCache::~StatementCache() = default;

void StatementCache::clear() {
    m_entries->statements.clear();
    m_entries->plans.clear();
}

namespace {

CachedStatement cachedStatement(QSqlDatabase& db, StatementCache* owner, const QString& statement) {
    if (!owner) return {};
    auto cacheable = toCacheable(statement);
    if (!cacheable) return {};
    StatementCache::Entries& cache = owner->entries();
    auto it = cache.statements.find(cacheable->text);
    if (it == cache.statements.end()) {
        auto query = std::make_unique<QSqlQuery>(db);
        query->setForwardOnly(true);
        // A text SQLite cannot prepare goes the uncached way, which reports its error.
        if (!query->prepare(cacheable->text)) return {};
        if (qsizetype(cache.statements.size()) >= StatementCache::Entries::kMaxStatements)
            cache.statements.clear();
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

BatchPlan makePlan(QSqlDatabase& db, const QString& normalized, std::size_t binds) {
    BatchPlan plan;
    std::size_t taken = 0;
    for (const SqliteStatement& step : translateForSqlite(normalized)) {
        if (!step.condition.isEmpty()) return {};
        auto query = std::make_unique<QSqlQuery>(db);
        query->setForwardOnly(true);
        if (!query->prepare(step.statement)) return {};
        const std::size_t marks = countMarks(step.statement);
        taken += marks;
        plan.steps.push_back({std::move(query), marks});
    }
    if (taken != binds) return {};
    return plan;
}

// Runs `text` through the plan of its shape; false when the shape has no plan.
bool runPlanned(QSqlDatabase& db, StatementCache* owner, const QString& text,
                const ParameterLookup& parameters, bool keepRows, ResultSet& result) {
    if (!owner) return false;
    const auto cacheable = toCacheable(text);
    if (!cacheable) return false;
    StatementCache::Entries& cache = owner->entries();
    auto it = cache.plans.find(cacheable->text);
    if (it == cache.plans.end()) {
        if (qsizetype(cache.plans.size()) >= StatementCache::Entries::kMaxStatements) cache.plans.clear();
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
        if (!query.exec()) throw sqliteError(query.lastError());
        if (query.isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(query, result);
            if (!fetchRows(query, first && keepRows ? &result : nullptr))
                throw sqliteError(query.lastError());
        }
    }
    return true;
}

// PostgreSQL: the translated statements in order, each prepared when it has parameters and sent
// as it is otherwise (the system's statements carry their values as literals).
ResultSet runOnPostgresql(QSqlDatabase& db, const QString& text, const ParameterLookup& parameters,
                          bool keepRows) {
    const auto failed = [](const QSqlQuery& query) {
        return databaseError(query.lastError(), Dialect::Postgresql);
    };
    ResultSet result;
    for (const TranslatedStatement& step : translateForPostgresql(text)) {
        if (!step.condition.isEmpty()) {
            QSqlQuery test(db);
            test.setForwardOnly(true);
            if (!execute(test, toPositional(step.condition), parameters) || !test.next()) throw failed(test);
            if (test.value(0).toInt() != 1) continue;
        }
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!execute(query, toPositional(step.statement), parameters)) throw failed(query);
        if (query.isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(query, result);
            if (!fetchRows(query, first && keepRows ? &result : nullptr)) throw failed(query);
        }
    }
    return result;
}

ResultSet runOnSqlite(QSqlDatabase& db, StatementCache* cache, const QString& text,
                      const ParameterLookup& parameters, bool keepRows) {
    ResultSet result;
    if (runPlanned(db, cache, text, parameters, keepRows, result)) return result;
    for (const SqliteStatement& step : translateForSqlite(text)) {
        if (!step.condition.isEmpty()) {
            QSqlQuery test(db);
            test.setForwardOnly(true);
            if (!execute(test, toPositional(step.condition), parameters) || !test.next())
                throw sqliteError(test.lastError());
            if (test.value(0).toInt() != 1) continue;
        }
        CachedStatement cached = cachedStatement(db, cache, step.statement);
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
        if (!ok) throw sqliteError(query->lastError());
        if (query->isSelect()) {
            const bool first = !result.hasColumns;
            if (first) takeColumns(*query, result);
            if (!fetchRows(*query, first && keepRows ? &result : nullptr))
                throw sqliteError(query->lastError());
        }
    }
    return result;
}

}  // namespace

ResultSet runBatch(QSqlDatabase& db, Dialect dialect, const QString& text, const ParameterLookup& parameters,
                   bool keepRows, StatementCache* cache) {
    if (!db.isOpen()) throw notOpenError();
    switch (dialect) {
        case Dialect::SqlServer:
            return runOnSqlServer(db, text, parameters, keepRows);
        case Dialect::Postgresql:
            return runOnPostgresql(db, text, parameters, keepRows);
        case Dialect::Sqlite:
            break;
    }
    return runOnSqlite(db, cache, text, parameters, keepRows);
}

namespace {

// A pass over a large result on SQLite runs with a small page cache. The connection's own is large
// (data_module.cpp) for the stores, whose index pages come back again and again; a pass reads most
// pages once, so a large cache only fills with pages that never come back, and SQLite lets its
// sorter (an ORDER BY without an index) take as much memory as the cache before it goes to its
// temporary file.
class SmallCacheForPass {
public:
    static constexpr int kCacheKiB = 8192;

    explicit SmallCacheForPass(QSqlDatabase& db) : m_db(db) {
        QSqlQuery query(m_db);
        if (!query.exec(u"PRAGMA cache_size"_s) || !query.next()) return;
        m_previous = query.value(0).toInt();
        query.finish();
        if (!query.exec(u"PRAGMA cache_size=-%1"_s.arg(kCacheKiB))) m_previous.reset();
    }
    ~SmallCacheForPass() {
        if (m_previous) QSqlQuery(m_db).exec(u"PRAGMA cache_size=%1"_s.arg(*m_previous));
    }
    SmallCacheForPass(const SmallCacheForPass&) = delete;
    SmallCacheForPass& operator=(const SmallCacheForPass&) = delete;

private:
    QSqlDatabase& m_db;
    std::optional<int> m_previous;
};

}  // namespace

void forEachRow(QSqlDatabase& db, Dialect dialect, const QString& text, const ParameterLookup& parameters,
                const std::function<void(std::span<const QVariant>)>& row) {
    if (!db.isOpen()) throw notOpenError();
    QString statement = text;
    if (dialect != Dialect::SqlServer) {
        const auto steps =
            dialect == Dialect::Sqlite ? translateForSqlite(text) : translateForPostgresql(text);
        if (steps.size() != 1 || !steps.front().condition.isEmpty())
            throw DatabaseError(u"not one statement: "_s + text.left(80), DatabaseErrorKind::Other);
        statement = steps.front().statement;
    }
    const auto error = [dialect](const QSqlError& e) { return databaseError(e, dialect); };
    std::optional<SmallCacheForPass> smallCache;
    if (dialect == Dialect::Sqlite) smallCache.emplace(db);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!execute(query, toPositional(statement), parameters)) throw error(query.lastError());
    // The query's destructor ends the statement and with it SQLite's read snapshot, also when
    // `row` throws.
    const int columns = query.record().count();
    std::vector<QVariant> values(static_cast<std::size_t>(columns));
    while (query.next()) {
        for (int i = 0; i < columns; ++i) values[static_cast<std::size_t>(i)] = query.value(i);
        row(values);
    }
    if (query.lastError().isValid()) throw error(query.lastError());
}

void runScript(QSqlDatabase& db, const QString& script, Dialect dialect) {
    for (const QString& statement : splitScript(script)) {
        QSqlQuery query(db);
        if (!query.exec(statement)) throw databaseError(query.lastError(), dialect);
    }
}

}  // namespace orvelo::sql
