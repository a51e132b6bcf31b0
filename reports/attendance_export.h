#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace orvelo {
class DataModule;
}

// The attendance export: the punches of a period as CSV for payroll and the operator's
// spreadsheet, one line per punch or, daily, one line per employee and day with the first and
// the last punch.
namespace orvelo::reports {

struct ExportRequest {
    QDate from;  // inclusive
    QDate to;    // inclusive
    // Empty: every department. Otherwise the department whose key, number or name equals it.
    QString department;
    bool daily = false;
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

// The header line and the lines of `request`, CR LF ended (see reports/csv.h). Punch lines:
// 人员编号, 姓名, 机构名称, 日期, 时间, 记录代码, 记录含义, 机器号. Daily lines: 人员编号, 姓名, 机构名称,
// 日期, 首次打卡, 末次打卡, 打卡次数. Throws DatabaseError.
QString exportCsv(DataModule& data, const ExportRequest& request);

// Writes `csv` to `path` as UTF-8 with a byte-order mark (spreadsheets on the operator's PC take
// a file without one for the local code page); the file appears whole or not at all. Throws
// FileError.
void writeCsvFile(const QString& path, const QString& csv);

}  // namespace orvelo::reports
