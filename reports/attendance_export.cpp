#include "reports/attendance_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>
#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "core/file_io.h"
#include "db/data_module.h"
#include "db/dialect.h"
#include "reports/csv_writer.h"
#include "reports/export_statements.h"
#include "reports/xlsx_writer.h"

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

// A text as stored, less the blanks a fixed-width column on SQL Server pads it with at the end.
// Nothing else goes: a leading tab or line break is part of the value (and what the CSV guard
// looks at), and trimming it could turn "\t=1+1" into a formula.
QString storedText(const QVariant& value) {
    if (value.isNull()) return {};
    QString text = value.toString();
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ') --end;
    text.truncate(end);
    return text;
}

QString cellText(CellKind kind, const QVariant& value) {
    switch (kind) {
        case CellKind::Date:
            return dateText(value);
        case CellKind::Time:
            return timeText(value);
        case CellKind::Text:
        case CellKind::Count:
            break;
    }
    return storedText(value);
}

std::vector<ExportColumn> punchColumns() {
    return {{u"人员编号"_s, CellKind::Text}, {u"姓名"_s, CellKind::Text},  {u"机构名称"_s, CellKind::Text},
            {u"日期"_s, CellKind::Date},     {u"时间"_s, CellKind::Time},  {u"记录代码"_s, CellKind::Text},
            {u"记录含义"_s, CellKind::Text}, {u"机器号"_s, CellKind::Text}};
}

std::vector<ExportColumn> dailyColumns() {
    return {{u"人员编号"_s, CellKind::Text}, {u"姓名"_s, CellKind::Text},     {u"机构名称"_s, CellKind::Text},
            {u"日期"_s, CellKind::Date},     {u"首次打卡"_s, CellKind::Time}, {u"末次打卡"_s, CellKind::Time},
            {u"打卡次数"_s, CellKind::Count}};
}

// How often the export asks whether to stop: often enough to stop at once, seldom enough to cost
// nothing.
constexpr qint64 kRowsBetweenCancelChecks = 512;

struct ExportCancelled {};

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The new file beside the destination that replaces it once it is complete; removed when it goes
// without commit() (an error or a cancel on the way), so nothing half-written is ever left.
class ReplacementFile {
public:
    explicit ReplacementFile(const QString& path) : m_path(path) {
        m_fd = createFileBeside(path, m_temporaryPath);
        if (!m_fd.isOpen()) throw FileError(u"无法创建文件 "_s + path + u": "_s + systemError());
    }
    ~ReplacementFile() {
        if (!m_committed) ::unlink(QFile::encodeName(m_temporaryPath).constData());
    }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    const QString& temporaryPath() const { return m_temporaryPath; }

    void write(const QByteArray& bytes) {
        if (!writeAll(m_fd.get(), bytes)) throw writeError();
    }

    // On the disk first, then under its name: after a crash the destination is the old file or
    // the whole new one. The data is flushed through this descriptor whoever wrote it.
    void commit() {
        if (::fsync(m_fd.get()) != 0 || ::close(m_fd.release()) != 0) throw writeError();
        if (::rename(QFile::encodeName(m_temporaryPath).constData(), QFile::encodeName(m_path).constData()) !=
            0)
            throw FileError(u"无法创建文件 "_s + m_path + u": "_s + systemError());
        m_committed = true;
        const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
        if (UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.isOpen())
            ::fsync(dir.get());
    }

private:
    FileError writeError() const { return FileError(u"无法写入文件 "_s + m_path + u": "_s + systemError()); }

    QString m_path;
    QString m_temporaryPath;
    UniqueFd m_fd;
    bool m_committed = false;
};

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

ExportFormatChoice chooseExportFormat(const std::optional<QString>& format,
                                      const std::optional<QString>& out) {
    ExportFormatChoice choice;
    if (format) {
        if (*format == u"csv"_s) {
            choice.format = ExportFormat::Csv;
        } else if (*format == u"xlsx"_s) {
            choice.format = ExportFormat::Xlsx;
        } else {
            choice.problem = u"--format: csv or xlsx, not '"_s + *format + u'\'';
            return choice;
        }
    } else if (out && out->endsWith(u".xlsx"_s, Qt::CaseInsensitive)) {
        choice.format = ExportFormat::Xlsx;
    }
    if (choice.format == ExportFormat::Xlsx && !out) choice.problem = u"--format xlsx needs --out FILE"_s;
    return choice;
}

QString exportFileSuffix(ExportFormat format) {
    return format == ExportFormat::Xlsx ? u"xlsx"_s : u"csv"_s;
}

ExportSummary exportRows(DataModule& data, const ExportRequest& request, ExportSink& sink,
                         const std::function<bool()>& cancelled) {
    const bool byDepartment = !request.department.isEmpty();
    const QString statement =
        request.daily ? dailyPunchesStatement(byDepartment) : attendanceRowsStatement(byDepartment);
    const QString from = request.from.toString(u"yyyy-MM-dd"_s);
    const QString to = request.to.toString(u"yyyy-MM-dd"_s);
    const auto parameter = [&](const QString& name) -> QVariant {
        if (name == u"fromdate"_s) return from;
        if (name == u"todate"_s) return to;
        if (name == u"department"_s) return request.department;
        return {};
    };
    const std::vector<ExportColumn> columns = request.daily ? dailyColumns() : punchColumns();
    sink.begin(columns, request.daily ? u"每日汇总"_s : u"考勤记录"_s);

    ExportSummary summary;
    std::vector<QString> cells(columns.size());
    QSqlDatabase db = data.connection();
    try {
        sql::forEachRow(db, data.dialect(), statement, parameter, [&](std::span<const QVariant> values) {
            if (cancelled && summary.rows % kRowsBetweenCancelChecks == 0 && cancelled())
                throw ExportCancelled();
            for (std::size_t i = 0; i < cells.size(); ++i)
                cells[i] = i < values.size() ? cellText(columns[i].kind, values[i]) : QString();
            sink.row(cells);
            ++summary.rows;
        });
    } catch (const ExportCancelled&) {
        summary.cancelled = true;
        return summary;
    }
    sink.finish();
    return summary;
}

ExportSummary exportAttendance(DataModule& data, const ExportRequest& request, ExportFormat format,
                               const QString& path, const std::function<bool()>& cancelled) {
    ReplacementFile file(path);
    ExportSummary summary;
    if (format == ExportFormat::Xlsx) {
        // The library writes the file by its name, over the empty file made with the umask's mode.
        XlsxWriter workbook(file.temporaryPath());
        summary = exportRows(data, request, workbook, cancelled);
    } else {
        // Spreadsheets on the operator's PC take a file without a byte-order mark for the local
        // code page.
        file.write(QByteArray("\xEF\xBB\xBF"));
        CsvWriter csv([&file](const QByteArray& bytes) { file.write(bytes); });
        summary = exportRows(data, request, csv, cancelled);
    }
    if (!summary.cancelled) file.commit();
    return summary;
}

QString exportCsv(DataModule& data, const ExportRequest& request) {
    QByteArray bytes;
    CsvWriter csv([&bytes](const QByteArray& piece) { bytes += piece; });
    exportRows(data, request, csv);
    return QString::fromUtf8(bytes);
}

QString exportCaption() {
    return u"导出"_s;
}

QString exportCancelledText(const QString& path) {
    return u"导出已取消，没有写入文件%1。"_s.arg(path);
}

std::vector<Department> listDepartments(DataModule& data) {
    Query query(data, u"qry_departments"_s);
    query.addSql(departmentsStatement());
    query.open();
    std::vector<Department> departments;
    departments.reserve(static_cast<std::size_t>(query.rowCount()));
    for (int row = 0; row < query.rowCount(); ++row)
        departments.push_back({storedText(query.value(row, 0)), storedText(query.value(row, 1)),
                               storedText(query.value(row, 2))});
    return departments;
}

}  // namespace orvelo::reports
