#include "collection/attendance_store.h"

#include <exception>

#include "collection/attendance_statements.h"
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

}  // namespace

bool StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record) {
    bool written = false;
    try {
        openStatement(data.qry_1, employeeLookupSql(record.EnrollNumber));
        const QVariant emplid = data.qry_1.rowCount() > 0 ? data.qry_1.field(u"emplid"_s) : QVariant();
        if (!emplid.isNull()) {
            try {
                const QString employee = emplid.toString();
                openStatement(data.qry_2, duplicateTestSql(employee, record.RecordTime));
                if (data.qry_2.rowCount() == 0) {
                    // The batch repeats the test before its insert; it counts as written once it
                    // completes without error.
                    openStatement(data.qry_2, attendanceWriteSql(employee, record, clock.now()));
                    written = true;
                }
            } catch (const std::exception&) {
                // A failing test or write (constraint, lost connection, bad value) only costs this
                // record: it counts as rejected and the command goes on with the next one.
            }
        }
        data.qry_1.close();
    } catch (const std::exception&) {
        // A failing lookup rejects the record the same way; qry_1 stays as the error left it, and
        // the next lookup closes it before use.
    }
    return written;
}

}  // namespace orvelo
