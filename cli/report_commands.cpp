// Reports on the console: the attendance export.
#include <QDir>

#include "cli/command_table.h"
#include "cli/console_operator_view.h"
#include "cli/stop_signals.h"
#include "reports/attendance_export.h"
#include "reports/csv_writer.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

reports::ExportOptionTexts exportOptionTexts(const std::function<bool(const QString&)>& isSet,
                                             const std::function<QString(const QString&)>& value) {
    reports::ExportOptionTexts texts;
    texts.from = value(u"from"_s);
    texts.to = value(u"to"_s);
    if (isSet(u"department"_s)) texts.department = value(u"department"_s);
    texts.daily = isSet(u"daily"_s);
    return texts;
}

reports::ExportFormatChoice formatChoice(const std::function<bool(const QString&)>& isSet,
                                         const std::function<QString(const QString&)>& value) {
    const auto given = [&](const QString& name) {
        return isSet(name) ? std::optional<QString>(value(name)) : std::nullopt;
    };
    return reports::chooseExportFormat(given(u"format"_s), given(u"out"_s));
}

const CommandRegistration kExport{{
    .name = u"export"_s,
    .summary = u"writes the attendance records of a period as CSV or an Excel workbook (payroll)"_s,
    .description =
        u"One line per punch: 人员编号, 姓名, 机构名称, 日期, 时间, 记录代码, 记录含义, 机器号\n"
        u"(记录含义 from the code table's \"IsAuto\" list, empty without a row for the code). With\n"
        u"--daily one line per employee and day: 人员编号, 姓名, 机构名称, 日期, 首次打卡, 末次打卡,\n"
        u"打卡次数. A header line first; RFC 4180 quoting, CR LF line ends, UTF-8; a file made with\n"
        u"--out starts with a byte-order mark, stdout does not. A text that begins with =, +, -, @,\n"
        u"a tab or a carriage return gets a leading ' so that no spreadsheet runs it as a formula.\n"
        u"--format xlsx (or an --out file named *.xlsx) writes an Excel workbook instead: numbers\n"
        u"and codes as text cells, dates and times as date cells, the header row frozen. Employees\n"
        u"who have left are included. The file appears whole or not at all."_s,
    .options = {QCommandLineOption(u"from"_s, u"first day of the period, yyyy-mm-dd"_s, u"DATE"_s),
                QCommandLineOption(u"to"_s, u"last day of the period, yyyy-mm-dd (included)"_s, u"DATE"_s),
                QCommandLineOption(u"department"_s,
                                   u"only the department whose key, number or name is TEXT"_s, u"TEXT"_s),
                QCommandLineOption(u"daily"_s, u"first and last punch per employee and day"_s),
                QCommandLineOption(u"format"_s,
                                   u"csv or xlsx (default: xlsx for an --out file named *.xlsx, else csv)"_s,
                                   u"FORMAT"_s),
                QCommandLineOption(u"out"_s, u"write into FILE instead of stdout"_s, u"FILE"_s)},
    .run =
        [](CommandInvocation& run) {
            const auto isSet = [&run](const QString& name) { return run.isSet(name); };
            const auto value = [&run](const QString& name) { return run.value(name); };
            // checkUsage has refused every request and format that does not parse.
            const reports::ExportRequest request =
                *reports::parseExportRequest(exportOptionTexts(isSet, value)).request;
            const reports::ExportFormat format = formatChoice(isSet, value).format;
            if (run.isSet(u"out"_s)) {
                const QString path = QDir::current().absoluteFilePath(run.value(u"out"_s));
                // SIGINT and SIGTERM stop the export at its next rows: the temporary file goes
                // and FILE stays as it was (a warning, exit status 1), where the default action
                // would leave the temporary file behind.
                const CancelOnStopSignals stopSignals;
                const reports::ExportSummary summary = reports::exportAttendance(
                    run.context().data, request, format, path,
                    [&stopSignals] { return stopSignals.cancellation().requested(); });
                if (summary.cancelled)
                    run.console().messageBox(reports::exportCancelledText(path), reports::exportCaption(),
                                             BoxIcon::Warning);
            } else {
                // Whole records, some 64 KiB at a time, so a pipe sees them as they come; a stop
                // signal ends the program with its default action, after whole records or not.
                ConsoleOperatorView& console = run.console();
                reports::CsvWriter csv(
                    [&console](const QByteArray& bytes) { console.printOutput(QString::fromUtf8(bytes)); });
                reports::exportRows(run.context().data, request, csv);
            }
        },
    .checkUsage =
        [](const CommandLineValues& given) {
            if (given.isSet(u"out"_s) && given.value(u"out"_s).isEmpty()) return u"--out needs a file name"_s;
            const QString problem =
                reports::parseExportRequest(exportOptionTexts(given.isSet, given.value)).problem;
            if (!problem.isEmpty()) return problem;
            return formatChoice(given.isSet, given.value).problem;
        },
}};

}  // namespace

}  // namespace orvelo::cli
