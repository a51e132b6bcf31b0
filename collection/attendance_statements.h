#pragma once

#include <QString>
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

}  // namespace orvelo
