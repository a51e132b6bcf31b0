// Reports on the console: the attendance export.
#include <QDir>

#include "cli/command_table.h"
#include "cli/console_operator_view.h"
#include "reports/attendance_export.h"

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

const CommandRegistration kExport{{
    .name = u"export"_s,
    .summary = u"writes the attendance records of a period as CSV (payroll, spreadsheets)"_s,
    .description =
        u"One line per punch: 人员编号, 姓名, 机构名称, 日期, 时间, 记录代码, 记录含义, 机器号\n"
        u"(记录含义 from the code table's \"IsAuto\" list, empty without a row for the code). With\n"
        u"--daily one line per employee and day: 人员编号, 姓名, 机构名称, 日期, 首次打卡, 末次打卡,\n"
        u"打卡次数. A header line first; RFC 4180 quoting, CR LF line ends, UTF-8; a file made with\n"
        u"--out starts with a byte-order mark, stdout does not. Employees who have left are included."_s,
    .options = {QCommandLineOption(u"from"_s, u"first day of the period, yyyy-mm-dd"_s, u"DATE"_s),
                QCommandLineOption(u"to"_s, u"last day of the period, yyyy-mm-dd (included)"_s, u"DATE"_s),
                QCommandLineOption(u"department"_s,
                                   u"only the department whose key, number or name is TEXT"_s, u"TEXT"_s),
                QCommandLineOption(u"daily"_s, u"first and last punch per employee and day"_s),
                QCommandLineOption(u"out"_s, u"write into FILE instead of stdout"_s, u"FILE"_s)},
    .run =
        [](CommandInvocation& run) {
            const reports::ParsedExportRequest parsed = reports::parseExportRequest(
                exportOptionTexts([&run](const QString& name) { return run.isSet(name); },
                                  [&run](const QString& name) { return run.value(name); }));
            // checkUsage has refused every request that does not parse.
            const QString csv = reports::exportCsv(run.context().data, *parsed.request);
            if (run.isSet(u"out"_s))
                reports::writeCsvFile(QDir::current().absoluteFilePath(run.value(u"out"_s)), csv);
            else
                run.console().printOutput(csv);
        },
    .checkUsage =
        [](const CommandLineValues& given) {
            if (given.isSet(u"out"_s) && given.value(u"out"_s).isEmpty()) return u"--out needs a file name"_s;
            return reports::parseExportRequest(exportOptionTexts(given.isSet, given.value)).problem;
        },
}};

}  // namespace

}  // namespace orvelo::cli
