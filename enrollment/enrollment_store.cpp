#include "enrollment/enrollment_store.h"

#include "db/data_module.h"
#include "enrollment/enrollment_statements.h"

namespace orvelo {

void StoreEnrollment(DataModule& data, const QString& employeeNumber, std::int32_t enrollNumber,
                     std::int32_t backupNumber, std::int32_t privilege, std::int32_t password,
                     std::span<const std::int32_t> templateValues) {
    const QString fingerData = templateText(templateValues);

    Query& query = data.qry_1;
    query.close();
    query.clearSql();
    query.addSql(enrollmentDeleteLine(employeeNumber, enrollNumber, backupNumber));
    query.addSql(enrollmentInsertLine(employeeNumber, enrollNumber, backupNumber, privilege, password));
    query.setParameter(QStringLiteral("fpdata"), fingerData);

    // Without the transaction a refused insert would leave the enrollment deleted.
    Transaction transaction(data);
    query.execSql();
    transaction.commit();
}

}  // namespace orvelo
