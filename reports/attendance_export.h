#pragma once

#include <QDate>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace orvelo {
class DataModule;
}

// The attendance export: the punches of a period for payroll and the operator's spreadsheet, one
// line per punch or, daily, one line per employee and day with the first and the last punch; as
// CSV or as an Excel workbook. The rows are written as the database delivers them, never held
// together, so a year costs as little memory as a day.
namespace orvelo::reports {

class ExportSink;

struct ExportRequest {
    QDate from;  // inclusive
    QDate to;    // inclusive
    // Empty: every department. Otherwise the department whose key, number or name equals it.
    QString department;
    bool daily = false;
};

enum class ExportFormat {
    Csv,   // UTF-8 with a byte-order mark, RFC 4180, text cells guarded (reports/csv.h)
    Xlsx,  // an Excel workbook (reports/xlsx_writer.h)
};

struct ExportSummary {
    qint64 rows = 0;         // the lines written after the header
    bool cancelled = false;  // stopped when asked to: no file was written
};

// The options as typed on the command line.
struct ExportOptionTexts {
    QString from;
    QString to;
    std::optional<QString> department;
    bool daily = false;
};

// The request, or a usage problem in words: a date not written yyyy-mm-dd or not in the
// calendar, --from after --to, a missing bound, an empty department.
struct ParsedExportRequest {
    std::optional<ExportRequest> request;
    QString problem;
};
ParsedExportRequest parseExportRequest(const ExportOptionTexts& texts);

// The format of `orveloctl export`: --format csv|xlsx when given (it wins), else xlsx for an
// --out file named *.xlsx (any case), else csv. A problem in words for an unknown format and for
// a workbook without a file (a workbook is no text for stdout).
struct ExportFormatChoice {
    ExportFormat format = ExportFormat::Csv;
    QString problem;
};
ExportFormatChoice chooseExportFormat(const std::optional<QString>& format,
                                      const std::optional<QString>& out);

// The file name extension of a format, without the dot: "csv", "xlsx".
QString exportFileSuffix(ExportFormat format);

// Writes the lines of `request` into `path` as `format`, row by row. Punch lines: 人员编号, 姓名,
// 机构名称, 日期, 时间, 记录代码, 记录含义, 机器号 (sheet 考勤记录). Daily lines: 人员编号, 姓名,
// 机构名称, 日期, 首次打卡, 末次打卡, 打卡次数 (sheet 每日汇总). Texts are kept as stored, less the
// blanks a fixed-width column pads them with at the end.
//
// The file appears whole or not at all: the rows go into a new file beside `path`, created with
// the umask's mode (core/file_io.h), which replaces `path` when the last row is written. When
// `cancelled` answers true (it is asked every few hundred rows), or on an error, that file is
// removed and `path` stays as it was. Throws DatabaseError and FileError.
//
// For the window's 导出 dialog as for orveloctl; it runs on the connection of `data` and touches
// no widget, so it may run on the window's command thread.
ExportSummary exportAttendance(DataModule& data, const ExportRequest& request, ExportFormat format,
                               const QString& path, const std::function<bool()>& cancelled = {});

// The same lines into any sink (orveloctl's stdout). Throws DatabaseError and what the sink throws.
ExportSummary exportRows(DataModule& data, const ExportRequest& request, ExportSink& sink,
                         const std::function<bool()>& cancelled = {});

// The CSV of `request` as one text (the header line and the lines, CR LF ended, no byte-order
// mark): for a short period only, since the whole text is held. Throws DatabaseError.
QString exportCsv(DataModule& data, const ExportRequest& request);

// The caption of the export's boxes, and the text of a cancelled export to a file.
QString exportCaption();
QString exportCancelledText(const QString& path);

// A department for the dialog's list: its key is what ExportRequest::department takes.
struct Department {
    QString key;     // deptid
    QString number;  // deptno
    QString name;    // deptname
};
// Every department of hrdept, by number and key. Throws DatabaseError.
std::vector<Department> listDepartments(DataModule& data);

}  // namespace orvelo::reports
