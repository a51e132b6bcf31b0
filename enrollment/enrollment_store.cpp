#include "enrollment/enrollment_store.h"

#include "enrollment/enrollment_statements.h"

namespace orvelo {

EnrollmentStore::EnrollmentStore(DataModule& data)
    : m_data(data), m_query(data, QStringLiteral("qry_enrollment")) {}

void EnrollmentStore::store(const QString& employeeNumber, std::int32_t enrollNumber,
                            std::int32_t backupNumber, std::int32_t privilege, std::int32_t password,
                            std::span<const std::int32_t> templateValues) {
    const QString fingerData = templateText(templateValues);

    m_query.close();
    m_query.clearSql();
    m_query.addSql(enrollmentDeleteLine(employeeNumber, enrollNumber, backupNumber));
    m_query.addSql(enrollmentInsertLine(employeeNumber, enrollNumber, backupNumber, privilege, password));
    m_query.setParameter(QStringLiteral("fpdata"), fingerData);

    // Without the transaction a refused insert would leave the enrollment deleted.
    Transaction transaction(m_data);
    m_query.execSql();
    transaction.commit();
}

void StoreEnrollment(DataModule& data, const QString& employeeNumber, std::int32_t enrollNumber,
                     std::int32_t backupNumber, std::int32_t privilege, std::int32_t password,
                     std::span<const std::int32_t> templateValues) {
    EnrollmentStore(data).store(employeeNumber, enrollNumber, backupNumber, privilege, password,
                                templateValues);
}

}  // namespace orvelo
