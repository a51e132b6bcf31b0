#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace orvelo {

class DataModule;

// Replaces the row of (employee number, enroll number, backup number) in equfinger by one
// holding this enrollment, on qry_1. The delete and the insert run in one transaction, so an
// insert that fails keeps the old row. Throws DatabaseError.
void StoreEnrollment(DataModule& data, const QString& employeeNumber, std::int32_t enrollNumber,
                     std::int32_t backupNumber, std::int32_t privilege, std::int32_t password,
                     std::span<const std::int32_t> templateValues);

}  // namespace orvelo
