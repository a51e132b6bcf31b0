#pragma once

#include <QString>
#include <cstdint>
#include <span>

#include "db/data_module.h"

namespace orvelo {

// Replaces the row of (employee number, enroll number, backup number) in equfinger by one
// holding an enrollment, on a query of its own (the data module's qry_1..qry_5 stay with the
// window and its commands). The delete and the insert run in one transaction, so an insert that
// fails keeps the old row.
class EnrollmentStore {
public:
    explicit EnrollmentStore(DataModule& data);
    EnrollmentStore(const EnrollmentStore&) = delete;
    EnrollmentStore& operator=(const EnrollmentStore&) = delete;

    // Throws DatabaseError.
    void store(const QString& employeeNumber, std::int32_t enrollNumber, std::int32_t backupNumber,
               std::int32_t privilege, std::int32_t password, std::span<const std::int32_t> templateValues);

    // The query as the last store left it: closed, with its two lines and the template parameter.
    const Query& query() const { return m_query; }

private:
    DataModule& m_data;
    Query m_query;
};

// One enrollment stored by a store of its own.
void StoreEnrollment(DataModule& data, const QString& employeeNumber, std::int32_t enrollNumber,
                     std::int32_t backupNumber, std::int32_t privilege, std::int32_t password,
                     std::span<const std::int32_t> templateValues);

}  // namespace orvelo
