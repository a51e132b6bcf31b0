#include "enrollment/enrollment_statements.h"

#include <QStringBuilder>
#include <QStringList>
#include <QStringView>
#include <limits>
#include <optional>

#include "core/errors.h"
#include "core/text.h"

namespace orvelo {

namespace {

QString fiveDigits(std::int32_t enrollNumber) {
    return zeroPad(enrollNumber, 5);
}

QString eightDigits(std::int32_t enrollNumber) {
    return zeroPad(enrollNumber, 8);
}

// The plain form every stored template line has: an optional minus sign and decimal digits.
// Anything else goes through the full conversion, which reads the other forms or names the line.
std::optional<std::int32_t> plainDecimal(QStringView line) {
    qsizetype i = 0;
    const bool negative = !line.isEmpty() && line.front() == u'-';
    if (negative) ++i;
    if (i == line.size() || line.size() - i > 10) return std::nullopt;
    qint64 magnitude = 0;
    for (; i < line.size(); ++i) {
        const char16_t c = line.at(i).unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

QString defaultDepartmentStatement() {
    return QStringLiteral(
        "if not exists (select * from hrdept where deptid='01') insert hrdept (deptid,deptno,deptname) "
        "values('01','01','01')");
}

QString employeeLookupStatement(std::int32_t enrollNumber) {
    return QStringLiteral("select * from hremployee where cardid=") % sqlQuoted(fiveDigits(enrollNumber));
}

QString employeeNameUpdateStatement(const QString& name, std::int32_t enrollNumber) {
    return QStringLiteral("update hremployee set emplname=") % sqlQuoted(name) %
           QStringLiteral(" where cardid=") % sqlQuoted(fiveDigits(enrollNumber));
}

QString newEmployeeLine(std::int32_t enrollNumber, const QString& name, const QString& entryDateTime,
                        const QString& lastOperDateTime) {
    const QString empty = sqlQuoted(QString());
    const QStringList values = {
        sqlQuoted(eightDigits(enrollNumber)),
        sqlQuoted(zeroPad(enrollNumber, 6)),
        sqlQuoted(fiveDigits(enrollNumber)),
        sqlQuoted(QStringLiteral("01")),
        sqlQuoted(name),
        QStringLiteral("0"),  // sex
        QStringLiteral("0"),  // married
        empty,                // identityid
        empty,                // password
        empty,                // teamid
        empty,                // shiftid
        empty,                // weekendid
        sqlQuoted(entryDateTime.left(10)),
        QStringLiteral("0"),  // leaveyn
        empty,                // remark
        sqlQuoted(QStringLiteral("sa")),
        sqlQuoted(lastOperDateTime),
    };
    return QStringLiteral(
               "INSERT INTO hremployee(EmplID,workid, Cardid,deptid,emplname,sex,married,identityid,password,"
               "teamid,shiftid,weekendid,entrydate,leaveyn,remark,lastoperid,lastoperdate)VALUES (") %
           values.join(u',') % u')';
}

QString newCardLine(std::int32_t enrollNumber, const QString& operDateTime) {
    const QStringList values = {
        sqlQuoted(fiveDigits(enrollNumber)),
        sqlQuoted(eightDigits(enrollNumber)),
        sqlQuoted(QStringLiteral("C001")),
        sqlQuoted(QStringLiteral("1")),
        sqlQuoted(operDateTime),
        sqlQuoted(QStringLiteral("sa")),
        sqlQuoted(QString()),
    };
    return QStringLiteral(
               "insert into equcard(cardno,emplid,cardtype,cardstatus,operdate,operid,personverify)values(") %
           values.join(u',') % u')';
}

QString storedEnrollmentsStatement(const QString& employeeId, const QString& registration) {
    return QStringLiteral("select * from equfinger where emplid=") % sqlQuoted(employeeId) %
           QStringLiteral(" and cardno=") % sqlQuoted(registration);
}

void readTemplateText(const QString& text, std::span<std::int32_t> buffer) {
    const QStringView all(text);
    qsizetype pos = 0;
    std::size_t line = 0;
    for (; line < buffer.size() && pos < all.size(); ++line) {
        qsizetype end = pos;
        while (end < all.size() && all.at(end) != u'\r' && all.at(end) != u'\n') ++end;
        const QStringView value = all.mid(pos, end - pos);
        const std::optional<std::int32_t> plain = plainDecimal(value);
        buffer[line] = plain ? *plain : strToInt(value.toString());
        pos = end;
        if (pos < all.size())
            pos += (all.at(pos) == u'\r' && pos + 1 < all.size() && all.at(pos + 1) == u'\n') ? 2 : 1;
    }
    // Worded as a read past the end of the list of lines, which is what a short text is.
    if (line < buffer.size())
        throw ConversionError(QStringLiteral("List index out of bounds (%1)").arg(line));
}

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
           QStringLiteral("and cardno=") % sqlQuoted(fiveDigits(enrollNumber)) %
           QStringLiteral("and backupid=") % QString::number(backupNumber);
}

QString enrollmentInsertLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber, std::int32_t privilege, std::int32_t password) {
    return QStringLiteral("insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values(") %
           sqlQuoted(employeeNumber) % u',' % sqlQuoted(fiveDigits(enrollNumber)) % u',' %
           QString::number(backupNumber) % u',' % QString::number(privilege) % u',' %
           sqlQuoted(QString::number(password)) % QStringLiteral(",:fpdata)");
}

}  // namespace orvelo
