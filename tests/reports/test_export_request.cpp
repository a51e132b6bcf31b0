// The export's options: which texts make a request and which are usage errors; and its statement
// texts, whose values must be bound, never written in.
#include <gtest/gtest.h>

#include "db/dialect.h"
#include "reports/attendance_export.h"
#include "reports/export_statements.h"
#include "tests/reports/printers.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {
namespace {

struct BadOptions {
    const char* name;
    ExportOptionTexts texts;
    QString problemMentions;
};

class ExportUsageErrorTest : public testing::TestWithParam<BadOptions> {};

TEST_P(ExportUsageErrorTest, GivesNoRequestAndSaysWhy) {
    const ParsedExportRequest parsed = parseExportRequest(GetParam().texts);
    EXPECT_FALSE(parsed.request.has_value());
    EXPECT_TRUE(parsed.problem.contains(GetParam().problemMentions)) << parsed.problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Options, ExportUsageErrorTest,
    testing::Values(
        BadOptions{"no_from", {QString(), u"2024-03-01"_s, {}, false}, u"--from"_s},
        BadOptions{"no_to", {u"2024-03-01"_s, QString(), {}, false}, u"--to"_s},
        BadOptions{"from_not_a_date", {u"yesterday"_s, u"2024-03-01"_s, {}, false}, u"yesterday"_s},
        BadOptions{"from_without_zeros", {u"2024-3-1"_s, u"2024-03-01"_s, {}, false}, u"2024-3-1"_s},
        BadOptions{"to_day_not_in_calendar", {u"2024-02-01"_s, u"2023-02-29"_s, {}, false}, u"2023-02-29"_s},
        BadOptions{"to_month_13", {u"2024-02-01"_s, u"2024-13-01"_s, {}, false}, u"2024-13-01"_s},
        BadOptions{"to_with_time", {u"2024-02-01"_s, u"2024-02-02 08:00"_s, {}, false}, u"--to"_s},
        BadOptions{"slashes", {u"2024/02/01"_s, u"2024-02-02"_s, {}, false}, u"2024/02/01"_s},
        BadOptions{"from_after_to", {u"2024-03-02"_s, u"2024-03-01"_s, {}, false}, u"after"_s},
        BadOptions{"empty_department", {u"2024-03-01"_s, u"2024-03-01"_s, u" "_s, false}, u"--department"_s}),
    [](const testing::TestParamInfo<BadOptions>& info) { return std::string(info.param.name); });

struct FormatCase {
    const char* name;
    std::optional<QString> format;
    std::optional<QString> out;
    ExportFormat chosen;
    QString problemMentions;  // empty: no problem
};

class ExportFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(ExportFormatTest, FormatWinsOverTheFileName) {
    const FormatCase& c = GetParam();
    const ExportFormatChoice choice = chooseExportFormat(c.format, c.out);
    if (c.problemMentions.isEmpty()) {
        EXPECT_TRUE(choice.problem.isEmpty()) << choice.problem.toStdString();
        EXPECT_EQ(choice.format, c.chosen);
    } else {
        EXPECT_TRUE(choice.problem.contains(c.problemMentions)) << choice.problem.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExportFormatTest,
    testing::Values(FormatCase{"stdout_is_csv", {}, {}, ExportFormat::Csv, {}},
                    FormatCase{"csv_name", {}, u"a.csv"_s, ExportFormat::Csv, {}},
                    FormatCase{"xlsx_name", {}, u"payroll/March.XLSX"_s, ExportFormat::Xlsx, {}},
                    FormatCase{"other_name", {}, u"a.xls"_s, ExportFormat::Csv, {}},
                    FormatCase{"csv_given_for_xlsx_name", u"csv"_s, u"a.xlsx"_s, ExportFormat::Csv, {}},
                    FormatCase{"xlsx_given_for_txt_name", u"xlsx"_s, u"a.txt"_s, ExportFormat::Xlsx, {}},
                    FormatCase{"xlsx_on_stdout", u"xlsx"_s, {}, ExportFormat::Xlsx, u"--out"_s},
                    FormatCase{"unknown", u"ods"_s, u"a.ods"_s, ExportFormat::Csv, u"'ods'"_s},
                    FormatCase{"upper_case", u"XLSX"_s, u"a.xlsx"_s, ExportFormat::Csv, u"--format"_s}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(ExportRequest, TakesAPeriodOfOneDayAndTheLeapDay) {
    const ParsedExportRequest oneDay = parseExportRequest({u"2024-02-29"_s, u"2024-02-29"_s, {}, true});
    ASSERT_TRUE(oneDay.request.has_value()) << oneDay.problem.toStdString();
    EXPECT_EQ(oneDay.request->from, QDate(2024, 2, 29));
    EXPECT_EQ(oneDay.request->to, QDate(2024, 2, 29));
    EXPECT_TRUE(oneDay.request->daily);
    EXPECT_TRUE(oneDay.request->department.isEmpty());
    EXPECT_TRUE(oneDay.problem.isEmpty());
}

TEST(ExportRequest, KeepsTheDepartmentWithoutSurroundingBlanks) {
    const ParsedExportRequest parsed =
        parseExportRequest({u"2024-01-01"_s, u"2024-12-31"_s, u" 财务部 "_s, false});
    ASSERT_TRUE(parsed.request.has_value());
    EXPECT_EQ(parsed.request->department, u"财务部"_s);
    EXPECT_FALSE(parsed.request->daily);
}

struct StatementCase {
    const char* name;
    QString text;
    QStringList parameters;
};

class ExportStatementTest : public testing::TestWithParam<StatementCase> {};

// The values reach the server only as parameters, and SQLite runs the text as one statement.
TEST_P(ExportStatementTest, BindsEveryValueAndStaysOneStatement) {
    const StatementCase& c = GetParam();
    EXPECT_EQ(sql::parameterNames(c.text), c.parameters);
    EXPECT_EQ(sql::splitBatch(c.text), QStringList{c.text});
    const auto translated = sql::translateForSqlite(c.text);
    ASSERT_EQ(translated.size(), 1u);
    EXPECT_TRUE(translated.front().condition.isEmpty());
    EXPECT_FALSE(c.text.contains(u"LIMIT"_s, Qt::CaseInsensitive));
    EXPECT_FALSE(c.text.contains(u"TOP "_s, Qt::CaseInsensitive));
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ExportStatementTest,
    testing::Values(StatementCase{"rows", attendanceRowsStatement(false), {u"fromdate"_s, u"todate"_s}},
                    StatementCase{"rows_by_department",
                                  attendanceRowsStatement(true),
                                  {u"fromdate"_s, u"todate"_s, u"department"_s}},
                    StatementCase{"daily", dailyPunchesStatement(false), {u"fromdate"_s, u"todate"_s}},
                    StatementCase{"daily_by_department",
                                  dailyPunchesStatement(true),
                                  {u"fromdate"_s, u"todate"_s, u"department"_s}}),
    [](const testing::TestParamInfo<StatementCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvelo::reports
