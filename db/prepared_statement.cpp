#include "db/prepared_statement.h"

#include <sqlite3.h>

#include <QSqlError>
#include <QSqlQuery>

#include "core/errors.h"
#include "db/data_module.h"
#include "db/database_error.h"

namespace orvelo::sql {

class PreparedStatement::Implementation {
public:
    virtual ~Implementation() = default;
    virtual Path path() const = 0;
    // Returns the first value as run() does and sets `changes`.
    virtual QVariant run(std::span<const QVariant> values, int& changes) = 0;
};

namespace {

class NativeStatement final : public PreparedStatement::Implementation {
public:
    NativeStatement(sqlite3* db, const QString& text) : m_db(db) {
        if (sqlite3_prepare16_v2(db, text.utf16(), int(text.size()) * int(sizeof(char16_t)), &m_statement,
                                 nullptr) != SQLITE_OK)
            throw databaseError(m_db);
    }
    ~NativeStatement() override { sqlite3_finalize(m_statement); }

    PreparedStatement::Path path() const override { return PreparedStatement::Path::Native; }

    QVariant run(std::span<const QVariant> values, int& changes) override {
        sqlite3_clear_bindings(m_statement);
        int position = 1;
        for (const QVariant& value : values) bind(position++, value);
        QVariant first;
        int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW) {
            first = column(0);
            while ((rc = sqlite3_step(m_statement)) == SQLITE_ROW) {
            }
        }
        if (rc != SQLITE_DONE) {
            // Taken before the reset, which may set another code.
            const DatabaseError error = databaseError(m_db);
            sqlite3_reset(m_statement);
            throw error;
        }
        changes = sqlite3_changes(m_db);
        sqlite3_reset(m_statement);
        return first;
    }

private:
    void bind(int position, const QVariant& value) {
        int rc = SQLITE_OK;
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_statement, position);
        } else {
            switch (value.typeId()) {
                case QMetaType::Int:
                case QMetaType::LongLong:
                case QMetaType::UInt:
                case QMetaType::Bool:
                    rc = sqlite3_bind_int64(m_statement, position, value.toLongLong());
                    break;
                case QMetaType::Double:
                    rc = sqlite3_bind_double(m_statement, position, value.toDouble());
                    break;
                default: {
                    const QString text = value.toString();
                    rc = sqlite3_bind_text16(m_statement, position, text.utf16(),
                                             int(text.size()) * int(sizeof(char16_t)), SQLITE_TRANSIENT);
                }
            }
        }
        if (rc != SQLITE_OK) throw databaseError(m_db);
    }

    QVariant column(int index) const {
        switch (sqlite3_column_type(m_statement, index)) {
            case SQLITE_NULL:
                return QVariant(QMetaType::fromType<QString>());
            case SQLITE_INTEGER:
                return QVariant(qlonglong(sqlite3_column_int64(m_statement, index)));
            case SQLITE_FLOAT:
                return QVariant(sqlite3_column_double(m_statement, index));
            case SQLITE_BLOB: {
                const auto* data = static_cast<const char*>(sqlite3_column_blob(m_statement, index));
                return QVariant(QByteArray(data, sqlite3_column_bytes(m_statement, index)));
            }
            default: {
                const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_statement, index));
                return QVariant(QString::fromUtf16(text, sqlite3_column_bytes16(m_statement, index) / 2));
            }
        }
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

class QtStatement final : public PreparedStatement::Implementation {
public:
    QtStatement(const QSqlDatabase& db, Dialect dialect, const QString& text)
        : m_query(db), m_text(text), m_dialect(dialect) {
        m_query.setForwardOnly(true);
        if (!m_query.prepare(text)) throw databaseError(m_query.lastError(), m_dialect);
    }

    PreparedStatement::Path path() const override { return PreparedStatement::Path::Qt; }

    QVariant run(std::span<const QVariant> values, int& changes) override {
        // QSqlQuery keeps the values of an earlier run that bound more of them: only a new
        // prepare forgets them.
        if (values.size() < m_bound && !m_query.prepare(m_text))
            throw databaseError(m_query.lastError(), m_dialect);
        m_bound = values.size();
        int position = 0;
        for (const QVariant& value : values) {
            // QSqlQuery would bind a null QString as NULL; the native path binds it as ''.
            const bool nullText =
                value.typeId() == QMetaType::QString && !value.isNull() && value.toString().isNull();
            m_query.bindValue(position++, nullText ? QVariant(QStringLiteral("")) : value);
        }
        if (!m_query.exec()) {
            const DatabaseError error = databaseError(m_query.lastError(), m_dialect);
            m_query.finish();
            throw error;
        }
        QVariant first;
        if (m_query.next()) first = m_query.value(0);
        const QSqlError error = m_query.lastError();
        changes = m_query.numRowsAffected();
        m_query.finish();
        if (error.isValid()) throw databaseError(error, m_dialect);
        return first;
    }

private:
    QSqlQuery m_query;
    QString m_text;
    Dialect m_dialect;
    std::size_t m_bound = 0;
};

}  // namespace

PreparedStatement::PreparedStatement(const DataModule& data, const QString& text)
    : PreparedStatement(data, text, data.nativeSqliteHandle() ? Path::Native : Path::Qt) {}

PreparedStatement::PreparedStatement(const DataModule& data, const QString& text, Path path) {
    if (path == Path::Native) {
        sqlite3* handle = data.nativeSqliteHandle();
        if (!handle) throw notOpenError();
        m_impl = std::make_unique<NativeStatement>(handle, text);
    } else {
        m_impl = std::make_unique<QtStatement>(data.connection(), data.dialect(), text);
    }
}

PreparedStatement::~PreparedStatement() = default;

QVariant PreparedStatement::run(std::span<const QVariant> values) {
    m_changes = 0;
    return m_impl->run(values, m_changes);
}

PreparedStatement::Path PreparedStatement::path() const {
    return m_impl->path();
}

}  // namespace orvelo::sql
