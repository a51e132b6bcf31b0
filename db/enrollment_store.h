#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace orvelo {

class DataModule;

// The stored form of a template: every value as signed decimal text, each followed by CR LF,
// the last one included (12, -3, 0 give "12\r\n-3\r\n0\r\n"). The upload and the details list
// read this text back, so its shape must not change.
QString templateText(std::span<const std::int32_t> values);

// The two statements that replace one enrollment in equfinger; `employeeNumber` is quoted, the
// enroll number written as at least five digits. The insert line ends with the :fpdata parameter.
QString enrollmentDeleteLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber);
QString enrollmentInsertLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber, std::int32_t privilege, std::int32_t password);

// Replaces the row of (employee number, enroll number, backup number) in equfinger by one
// holding this enrollment, on qry_1. The delete and the insert run in one transaction, so an
// insert that fails keeps the old row. Throws DatabaseError.
void StoreEnrollment(DataModule& data, const QString& employeeNumber, std::int32_t enrollNumber,
                     std::int32_t backupNumber, std::int32_t privilege, std::int32_t password,
                     std::span<const std::int32_t> templateValues);

}  // namespace orvelo
