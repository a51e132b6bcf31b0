#include "collection/attendance_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <exception>

#include "collection/attendance_statements.h"
#include "core/errors.h"
#include "db/data_module.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// Every statement of the store goes the same way: close, clear the text, set it, open.
void openStatement(Query& query, const QString& sql) {
    query.close();
    query.clearSql();
    query.addSql(sql);
    query.open();
}

// Raised inside the store when the database as a whole cannot take the record.
struct DatabaseUnusable {};

// Texts of errors that are about the database, not about the statement that met them: the same
// statement for the next record would meet them again.
bool isDatabaseWide(const QString& text) {
    static const char* const kMarks[] = {"locked",   "busy",       "readonly",       "read-only",
                                         "disk",     "i/o",        "unable to open", "malformed",
                                         "not open", "connection", "communication",  "out of memory"};
    const QString lower = text.toLower();
    for (const char* mark : kMarks)
        if (lower.contains(QLatin1String(mark))) return true;
    return false;
}

// BEGIN IMMEDIATE takes SQLite's write lock before the duplicate test: a second writer waits here
// (busy time-out) instead of testing while the first one is between its test and its insert.
class ImmediateTransaction {
public:
    explicit ImmediateTransaction(DataModule& data) : m_db(data.connection()) {
        QSqlQuery begin(m_db);
        if (!begin.exec(u"BEGIN IMMEDIATE"_s)) throw DatabaseUnusable{};
        m_open = true;
    }
    ~ImmediateTransaction() {
        if (m_open) QSqlQuery(m_db).exec(u"ROLLBACK"_s);
    }
    ImmediateTransaction(const ImmediateTransaction&) = delete;
    ImmediateTransaction& operator=(const ImmediateTransaction&) = delete;

    void commit() {
        QSqlQuery end(m_db);
        if (!end.exec(u"COMMIT"_s)) throw DatabaseUnusable{};
        m_open = false;
    }

private:
    QSqlDatabase m_db;
    bool m_open = false;
};

StoreResult testAndWrite(DataModule& data, const Clock& clock, const LogRecord& record,
                         const QString& employee) {
    try {
        openStatement(data.qry_2, duplicateTestSql(employee, record.RecordTime));
        if (data.qry_2.rowCount() > 0) return StoreResult::Duplicate;
        // The batch repeats the test before its insert; it counts as written once it completes
        // without error.
        openStatement(data.qry_2, attendanceWriteSql(employee, record, clock.now()));
        return StoreResult::Stored;
    } catch (const Error& error) {
        if (isDatabaseWide(error.text())) throw DatabaseUnusable{};
        return StoreResult::Refused;
    } catch (const std::exception&) {
        return StoreResult::Refused;
    }
}

}  // namespace

StoreResult StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record) {
    try {
        try {
            openStatement(data.qry_1, employeeLookupSql(record.EnrollNumber));
        } catch (const std::exception&) {
            // The lookup holds nothing of the record but a number: when it fails, the database
            // does. qry_1 stays as the error left it; the next lookup closes it before use.
            return StoreResult::Unusable;
        }
        const QVariant emplid = data.qry_1.rowCount() > 0 ? data.qry_1.field(u"emplid"_s) : QVariant();
        data.qry_1.close();
        if (emplid.isNull()) return StoreResult::UnknownPerson;
        const QString employee = emplid.toString();
        if (data.dialect() != Dialect::Sqlite) return testAndWrite(data, clock, record, employee);

        ImmediateTransaction transaction(data);
        const StoreResult result = testAndWrite(data, clock, record, employee);
        // The cursors of the test must not hold the read snapshot past the commit.
        data.qry_2.close();
        if (result == StoreResult::Stored) transaction.commit();
        return result;
    } catch (const DatabaseUnusable&) {
        data.qry_2.close();
        return StoreResult::Unusable;
    } catch (const std::exception&) {
        return StoreResult::Refused;
    }
}

}  // namespace orvelo
