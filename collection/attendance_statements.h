#pragma once

#include <QString>
#include <QVariant>
#include <array>
#include <cstdint>

#include "collection/log_record.h"
#include "core/datetime.h"

namespace orvelo {

// The statements of the attendance record store, as the database receives them.

// The employee that owns an enroll number (cardid holds it with at least five digits).
QString employeeLookupSql(std::int32_t enrollNumber);
// The test for an attendance row of the same employee, day and minute. `emplid` is the looked-up
// value; it is compared without surrounding blanks.
QString duplicateTestSql(const QString& emplid, DateTimeValue recordTime);
// The write batch: the duplicate test directly followed by the insert of the row, in one text.
// `emplid` is written exactly as the lookup returned it; `now` becomes OperDate.
QString attendanceWriteSql(const QString& emplid, const LogRecord& record, DateTimeValue now);

// The same statements for the embedded database, prepared once per run with their values bound:
// the same comparisons (the columns' RTRIM collation does what SQL Server's padding does) and the
// same row. The write is one statement: the insert of the row unless the test finds one, so that
// the rows it reports affected (1 or 0) tell stored from duplicate.
QString embeddedEmployeeLookupSql();
QVariant embeddedEmployeeLookupValue(std::int32_t enrollNumber);
QString embeddedAttendanceWriteSql();
// The values of the write's eight marks in order: the row's columns but the two constant ones, then the
// emplid as the test compares it. `operDate` is the date-time text OperDate takes.
std::array<QVariant, 8> embeddedAttendanceWriteValues(const QString& emplid, const LogRecord& record,
                                                      const QString& operDate);
// The write on a PostgreSQL database: the insert of the row, which the unique index of employee, day
// and minute turns into nothing when the row is there (ON CONFLICT DO NOTHING), also when another PC
// writes it at the same moment. Its marks take the first kServerAttendanceWriteValues of the values
// above.
QString serverAttendanceWriteSql();
inline constexpr std::size_t kServerAttendanceWriteValues = 7;

}  // namespace orvelo
