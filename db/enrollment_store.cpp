#include "db/enrollment_store.h"

#include <QStringBuilder>

#include "core/text.h"
#include "db/data_module.h"

namespace orvelo {

namespace {

QString cardNumber(std::int32_t enrollNumber) {
    return zeroPad(enrollNumber, 5);
}

}  // namespace

QString templateText(std::span<const std::int32_t> values) {
    QString text;
    // Eleven characters and the line break are the most one value can take.
    text.reserve(qsizetype(values.size()) * 13);
    for (const std::int32_t value : values) {
        text += QString::number(value);
        text += QLatin1String("\r\n");
    }
    return text;
}

QString enrollmentDeleteLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber) {
    return QStringLiteral("delete  from  equfinger   where emplid=") % sqlQuoted(employeeNumber) %
           QStringLiteral("and cardno=") % sqlQuoted(cardNumber(enrollNumber)) %
           QStringLiteral("and backupid=") % QString::number(backupNumber);
}

QString enrollmentInsertLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber, std::int32_t privilege, std::int32_t password) {
    return QStringLiteral("insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values(") %
           sqlQuoted(employeeNumber) % u',' % sqlQuoted(cardNumber(enrollNumber)) % u',' %
           QString::number(backupNumber) % u',' % QString::number(privilege) % u',' %
           sqlQuoted(QString::number(password)) % QStringLiteral(",:fpdata)");
}

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
