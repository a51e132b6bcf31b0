#include "reports/attendance_export.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>
#include <QTime>

#include "core/errors.h"
#include "db/data_module.h"
#include "reports/csv.h"
#include "reports/export_statements.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {

namespace {

std::optional<QDate> parseDate(const QString& text) {
    static const QRegularExpression form(u"^\\d{4}-\\d{2}-\\d{2}$"_s);
    if (!form.match(text).hasMatch()) return std::nullopt;
    const QDate date = QDate::fromString(text, u"yyyy-MM-dd"_s);
    if (!date.isValid()) return std::nullopt;
    return date;
}

// The larger system's server may keep RecDate and RecTime as dates and times; the embedded
// database keeps them as texts (RecDate with the blank the store writes after it).
QString dateText(const QVariant& value) {
    if (value.isNull()) return {};
    if (value.metaType().id() == QMetaType::QDate) return value.toDate().toString(u"yyyy-MM-dd"_s);
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().date().toString(u"yyyy-MM-dd"_s);
    return value.toString().trimmed();
}

QString timeText(const QVariant& value) {
    if (value.isNull()) return {};
    if (value.metaType().id() == QMetaType::QTime) return value.toTime().toString(u"hh:mm"_s);
    if (value.metaType().id() == QMetaType::QDateTime) return value.toDateTime().time().toString(u"hh:mm"_s);
    return value.toString().trimmed();
}

// Fixed-width columns on SQL Server come back padded; the padding means nothing in a file.
QString plainText(const QVariant& value) {
    return value.isNull() ? QString() : value.toString().trimmed();
}

}  // namespace

ParsedExportRequest parseExportRequest(const ExportOptionTexts& texts) {
    ParsedExportRequest parsed;
    if (texts.from.isEmpty() || texts.to.isEmpty()) {
        parsed.problem = u"--from DATE and --to DATE are both required"_s;
        return parsed;
    }
    const std::optional<QDate> from = parseDate(texts.from);
    if (!from) {
        parsed.problem = u"--from: not a date yyyy-mm-dd: '"_s + texts.from + u'\'';
        return parsed;
    }
    const std::optional<QDate> to = parseDate(texts.to);
    if (!to) {
        parsed.problem = u"--to: not a date yyyy-mm-dd: '"_s + texts.to + u'\'';
        return parsed;
    }
    if (*from > *to) {
        parsed.problem = u"--from "_s + texts.from + u" is after --to "_s + texts.to;
        return parsed;
    }
    if (texts.department && texts.department->trimmed().isEmpty()) {
        parsed.problem = u"--department: an empty department matches none"_s;
        return parsed;
    }
    parsed.request = ExportRequest{*from, *to, texts.department.value_or(QString()).trimmed(), texts.daily};
    return parsed;
}

QString exportCsv(DataModule& data, const ExportRequest& request) {
    const bool byDepartment = !request.department.isEmpty();
    Query query(data, u"qry_export"_s);
    query.addSql(request.daily ? dailyPunchesStatement(byDepartment) : attendanceRowsStatement(byDepartment));
    query.setParameter(u"fromdate"_s, request.from.toString(u"yyyy-MM-dd"_s));
    query.setParameter(u"todate"_s, request.to.toString(u"yyyy-MM-dd"_s));
    if (byDepartment) query.setParameter(u"department"_s, request.department);
    query.open();

    QString csv;
    if (request.daily) {
        csv += csvRecord({u"人员编号"_s, u"姓名"_s, u"机构名称"_s, u"日期"_s, u"首次打卡"_s, u"末次打卡"_s,
                          u"打卡次数"_s});
        for (int row = 0; row < query.rowCount(); ++row) {
            csv += csvRecord({plainText(query.value(row, 0)), plainText(query.value(row, 1)),
                              plainText(query.value(row, 2)), dateText(query.value(row, 3)),
                              timeText(query.value(row, 4)), timeText(query.value(row, 5)),
                              plainText(query.value(row, 6))});
        }
    } else {
        csv += csvRecord({u"人员编号"_s, u"姓名"_s, u"机构名称"_s, u"日期"_s, u"时间"_s, u"记录代码"_s,
                          u"记录含义"_s, u"机器号"_s});
        for (int row = 0; row < query.rowCount(); ++row) {
            csv += csvRecord({plainText(query.value(row, 0)), plainText(query.value(row, 1)),
                              plainText(query.value(row, 2)), dateText(query.value(row, 3)),
                              timeText(query.value(row, 4)), plainText(query.value(row, 5)),
                              plainText(query.value(row, 6)), plainText(query.value(row, 7))});
        }
    }
    return csv;
}

void writeCsvFile(const QString& path, const QString& csv) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(u"无法创建文件 "_s + path + u": "_s + file.errorString());
    const QByteArray bom("\xEF\xBB\xBF");
    file.write(bom);
    file.write(csv.toUtf8());
    if (!file.commit()) throw FileError(u"无法写入文件 "_s + path + u": "_s + file.errorString());
}

}  // namespace orvelo::reports
