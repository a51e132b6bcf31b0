// The export's files: the formula guard of the CSV (exact bytes), the workbook read back with
// Python's zipfile and the sheet XML (cell types, number formats, the frozen header, no formula),
// the daily form in both formats, an empty period, and a file that appears whole or not at all
// (a cancel, a write error midway in orveloctl, the umask's mode).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/errors.h"
#include "reports/attendance_export.h"
#include "reports/xlsx_writer.h"
#include "tests/reports/printers.h"
#include "tests/reports/read_back.h"
#include "tests/support/test_database.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {
namespace {

using readback::orveloctl;
using readback::ProgramRun;
using readback::readCsv;
using readback::readWorkbook;
using readback::Records;

// A name as stored, and its field in the CSV: guarded when it begins with a character that makes
// a spreadsheet start a formula, then quoted as RFC 4180 needs.
struct NameCase {
    QString stored;
    QByteArray field;
};

const QList<NameCase> kNames = {
    {u"Neil, Pat"_s, "\"Neil, Pat\""},
    {u"O\"Neil"_s, "\"O\"\"Neil\""},
    {u"two\nlines"_s, "\"two\nlines\""},
    {u"=1+1"_s, "'=1+1"},
    {u"+86 139"_s, "'+86 139"},
    {u"-5"_s, "'-5"},
    {u"@SUM(A1)"_s, "'@SUM(A1)"},
    {u"\t=1+1"_s, "'\t=1+1"},
    {u"\r=1+1"_s, "\"'\r=1+1\""},
    {u"=HYPERLINK(\"x\",\"y\"), z"_s, "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\"), z\""},
    {u"  张三"_s, "  张三"},
    {u"a=b-c"_s, "a=b-c"},
};

// 人员编号 of the i-th name: 000101, 000102, ... (zeros a spreadsheet must keep).
QString emplid(qsizetype i) {
    return u"0001%1"_s.arg(i + 1, 2, 10, QChar(u'0'));
}

class ExportFilesTest : public testing::Test {
protected:
    void SetUp() override {
        db.addDepartment(u"D1"_s, u"生产部"_s, u"101"_s);
        db.exec(u"insert into systxtset (texttype, textvalue, gb) values ('IsAuto', 2, '上班')"_s);
        for (qsizetype i = 0; i < kNames.size(); ++i) {
            db.addActiveEmployee(emplid(i), u"0%1"_s.arg(i + 1), kNames[i].stored, u"D1"_s);
            punch(emplid(i), u"2024-03-01 "_s, u"08:05"_s);
        }
        punch(emplid(0), u"2024-03-01 "_s, u"17:30"_s);
    }

    void punch(const QString& id, const QString& date, const QString& time) {
        db.exec(
            u"insert into AtdRecord (EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
            u"OperDate) values ('%1', '%1', '%2', '%3', 2, '001', 2, 'sa', '2024-03-05 09:00:00')"_s.arg(
                id, date, time));
    }

    static ExportRequest day(bool daily = false) { return {QDate(2024, 3, 1), QDate(2024, 3, 1), {}, daily}; }

    static QByteArray fileBytes(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    }

    test::TestDatabase db;
    QTemporaryDir out;
};

TEST_F(ExportFilesTest, CsvGuardsFormulaStartsAndKeepsEverythingElseAsStored) {
    const QString path = out.filePath(u"punches.csv"_s);
    const ExportSummary summary = exportAttendance(db.data(), day(), ExportFormat::Csv, path);
    EXPECT_EQ(summary.rows, kNames.size() + 1);
    EXPECT_FALSE(summary.cancelled);

    QByteArray expected = "\xEF\xBB\xBF人员编号,姓名,机构名称,日期,时间,记录代码,记录含义,机器号\r\n";
    for (qsizetype i = 0; i < kNames.size(); ++i) {
        const QByteArray rest = ",生产部,2024-03-01,08:05,2,上班,001\r\n";
        expected += emplid(i).toUtf8() + ',' + kNames[i].field + rest;
        if (i == 0)
            expected +=
                emplid(i).toUtf8() + ',' + kNames[i].field + ",生产部,2024-03-01,17:30,2,上班,001\r\n";
    }
    EXPECT_EQ(fileBytes(path), expected);
    // Python's csv module reads the guarded names back with the apostrophe and nothing else added.
    const Records records = readCsv(fileBytes(path)).records;
    ASSERT_EQ(records.size(), kNames.size() + 2);
    EXPECT_EQ(records.at(5).at(1), u"'=1+1"_s);
    EXPECT_EQ(records.at(10).at(1), u"'\r=1+1"_s);
}

TEST_F(ExportFilesTest, DailyCsvGuardsNamesButNotItsCounts) {
    const Records records = readCsv(exportCsv(db.data(), day(true)).toUtf8()).records;
    ASSERT_EQ(records.size(), kNames.size() + 1);
    EXPECT_EQ(records.at(1), (QStringList{u"000101"_s, u"Neil, Pat"_s, u"生产部"_s, u"2024-03-01"_s,
                                          u"08:05"_s, u"17:30"_s, u"2"_s}));
    EXPECT_EQ(records.at(6), (QStringList{u"000106"_s, u"'-5"_s, u"生产部"_s, u"2024-03-01"_s, u"08:05"_s,
                                          u"08:05"_s, u"1"_s}));
}

// The cell at `ref` of a sheet that read_xlsx.py describes.
QJsonObject cell(const QJsonObject& sheet, const QString& ref) {
    return sheet.value(u"cells"_s).toObject().value(ref).toObject();
}

void expectTextCell(const QJsonObject& sheet, const QString& ref, const QString& text) {
    const QJsonObject c = cell(sheet, ref);
    EXPECT_TRUE(c.value(u"t"_s).toString() == u"inlineStr"_s || c.value(u"t"_s).toString() == u"s"_s)
        << ref.toStdString() << " is of type " << c.value(u"t"_s).toString().toStdString();
    EXPECT_EQ(c.value(u"v"_s).toString(), text) << ref.toStdString();
}

void expectNumberCell(const QJsonObject& sheet, const QString& ref, double value, const QString& format) {
    const QJsonObject c = cell(sheet, ref);
    EXPECT_EQ(c.value(u"t"_s).toString(), QString()) << ref.toStdString() << " is not a number";
    EXPECT_NEAR(c.value(u"v"_s).toString().toDouble(), value, 1e-9) << ref.toStdString();
    EXPECT_EQ(c.value(u"format"_s).toString(), format) << ref.toStdString();
}

void expectNoFormulaAndAFrozenHeader(const QJsonObject& book) {
    for (const QJsonValue& sheet : book.value(u"sheets"_s).toArray()) {
        const QJsonObject cells = sheet.toObject().value(u"cells"_s).toObject();
        for (auto it = cells.begin(); it != cells.end(); ++it)
            EXPECT_FALSE(it.value().toObject().value(u"formula"_s).toBool()) << it.key().toStdString();
        const QJsonObject pane = sheet.toObject().value(u"pane"_s).toObject();
        EXPECT_EQ(pane.value(u"state"_s).toString(), u"frozen"_s);
        EXPECT_EQ(pane.value(u"ySplit"_s).toString(), u"1"_s);
        EXPECT_EQ(pane.value(u"topLeftCell"_s).toString(), u"A2"_s);
    }
}

TEST_F(ExportFilesTest, WorkbookHoldsTextsAsTextDatesAsDatesAndNoFormula) {
    const QString path = out.filePath(u"punches.xlsx"_s);
    EXPECT_EQ(exportAttendance(db.data(), day(), ExportFormat::Xlsx, path).rows, kNames.size() + 1);
    const QJsonObject book = readWorkbook(path);
    const QJsonArray sheets = book.value(u"sheets"_s).toArray();
    ASSERT_EQ(sheets.size(), 1);
    const QJsonObject sheet = sheets.at(0).toObject();
    EXPECT_EQ(sheet.value(u"name"_s).toString(), u"考勤记录"_s);
    EXPECT_EQ(sheet.value(u"rows"_s).toInt(), kNames.size() + 2);
    expectNoFormulaAndAFrozenHeader(book);

    const QStringList header = {u"人员编号"_s, u"姓名"_s,     u"机构名称"_s, u"日期"_s,
                                u"时间"_s,     u"记录代码"_s, u"记录含义"_s, u"机器号"_s};
    for (qsizetype column = 0; column < header.size(); ++column)
        expectTextCell(sheet, QChar(static_cast<char16_t>(u'A' + column)) + u"1"_s, header[column]);
    // Row 2 and 3 are the first name's two punches; the others follow one row each. Names are
    // stored exactly: a string cell is never evaluated, so no apostrophe is added.
    for (qsizetype i = 0; i < kNames.size(); ++i) {
        const QString row = QString::number(i == 0 ? 2 : i + 3);
        expectTextCell(sheet, u"A"_s + row, emplid(i));
        expectTextCell(sheet, u"B"_s + row, kNames[i].stored);
        EXPECT_EQ(cell(sheet, u"A"_s + row).value(u"format"_s).toString(), u"@"_s);
    }
    // 2024-03-01 is Excel's day 45352; 08:05 is 485 minutes of the day's 1440.
    expectNumberCell(sheet, u"D2"_s, 45352, u"yyyy-mm-dd"_s);
    expectNumberCell(sheet, u"E2"_s, 485.0 / 1440, u"hh:mm"_s);
    expectNumberCell(sheet, u"E3"_s, (17 * 60 + 30) / 1440.0, u"hh:mm"_s);
    expectTextCell(sheet, u"F2"_s, u"2"_s);
    expectTextCell(sheet, u"G2"_s, u"上班"_s);
    expectTextCell(sheet, u"H2"_s, u"001"_s);

    // Every column is at least as wide as its title (a Chinese character takes two).
    const QJsonArray cols = sheet.value(u"cols"_s).toArray();
    ASSERT_EQ(cols.size(), header.size());
    for (qsizetype column = 0; column < header.size(); ++column)
        EXPECT_GE(cols.at(column).toObject().value(u"width"_s).toDouble(), 2.0 * header[column].size());
    // 日期 fits yyyy-mm-dd.
    EXPECT_GE(cols.at(3).toObject().value(u"width"_s).toDouble(), 10.0);
}

TEST_F(ExportFilesTest, DailyWorkbookCountsAsNumbersOnItsOwnSheet) {
    const QString path = out.filePath(u"daily.xlsx"_s);
    exportAttendance(db.data(), day(true), ExportFormat::Xlsx, path);
    const QJsonObject book = readWorkbook(path);
    ASSERT_EQ(book.value(u"sheets"_s).toArray().size(), 1);
    const QJsonObject sheet = book.value(u"sheets"_s).toArray().at(0).toObject();
    EXPECT_EQ(sheet.value(u"name"_s).toString(), u"每日汇总"_s);
    EXPECT_EQ(sheet.value(u"rows"_s).toInt(), kNames.size() + 1);
    expectNoFormulaAndAFrozenHeader(book);
    expectTextCell(sheet, u"E1"_s, u"首次打卡"_s);
    expectTextCell(sheet, u"A2"_s, u"000101"_s);
    expectNumberCell(sheet, u"D2"_s, 45352, u"yyyy-mm-dd"_s);
    expectNumberCell(sheet, u"E2"_s, 485.0 / 1440, u"hh:mm"_s);
    expectNumberCell(sheet, u"F2"_s, (17 * 60 + 30) / 1440.0, u"hh:mm"_s);
    expectNumberCell(sheet, u"G2"_s, 2, u"General"_s);
    expectNumberCell(sheet, u"G3"_s, 1, u"General"_s);
}

TEST_F(ExportFilesTest, AnEmptyPeriodGivesTheHeaderOnlyInBothFormats) {
    const ExportRequest none{QDate(2023, 1, 1), QDate(2023, 1, 31), {}, false};
    const QString csv = out.filePath(u"none.csv"_s);
    EXPECT_EQ(exportAttendance(db.data(), none, ExportFormat::Csv, csv).rows, 0);
    EXPECT_EQ(fileBytes(csv), "\xEF\xBB\xBF人员编号,姓名,机构名称,日期,时间,记录代码,记录含义,机器号\r\n");

    const QString xlsx = out.filePath(u"none.xlsx"_s);
    EXPECT_EQ(exportAttendance(db.data(), none, ExportFormat::Xlsx, xlsx).rows, 0);
    const QJsonObject book = readWorkbook(xlsx);
    const QJsonObject sheet = book.value(u"sheets"_s).toArray().at(0).toObject();
    EXPECT_EQ(sheet.value(u"rows"_s).toInt(), 1);
    EXPECT_EQ(sheet.value(u"cells"_s).toObject().size(), 8);
    expectTextCell(sheet, u"H1"_s, u"机器号"_s);
}

TEST_F(ExportFilesTest, ACancelLeavesTheEarlierFileAndNothingElse) {
    for (int i = 0; i < 3000; ++i) punch(emplid(0), u"2024-03-01 "_s, u"09:00"_s);
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Xlsx}) {
        const QString path = out.filePath(u"export."_s + exportFileSuffix(format));
        {
            QFile earlier(path);
            ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier");
        }
        int asked = 0;
        const ExportSummary summary =
            exportAttendance(db.data(), day(), format, path, [&asked] { return ++asked == 3; });
        EXPECT_TRUE(summary.cancelled);
        EXPECT_GT(summary.rows, 0);
        EXPECT_LT(summary.rows, 3000);
        EXPECT_EQ(fileBytes(path), "earlier");
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{u"export."_s + exportFileSuffix(format)});
        QFile::remove(path);
    }
}

TEST_F(ExportFilesTest, TheFileTakesTheUmasksMode) {
    const mode_t previous = ::umask(027);
    const QString path = out.filePath(u"mode.xlsx"_s);
    exportAttendance(db.data(), day(), ExportFormat::Xlsx, path);
    const QString csv = out.filePath(u"mode.csv"_s);
    exportAttendance(db.data(), day(), ExportFormat::Csv, csv);
    ::umask(previous);
    for (const QString& file : {path, csv}) {
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0640u) << file.toStdString();
    }
}

// A write error midway (the file size limit of the process, as a full disk would): orveloctl
// reports it as an error (exit status 2) and leaves no file, neither at the name nor beside it.
TEST_F(ExportFilesTest, AWriteErrorMidwayLeavesNoFile) {
    db.exec(
        u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
        u"insert into AtdRecord (EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo) "
        u"select '000101', '01', '2024-03-01 ', printf('%02d:%02d', i / 60 % 24, i % 60), 2, '001' from n"_s);
    for (const QString& name : {u"big.csv"_s, u"big.xlsx"_s}) {
        const QString path = out.filePath(name);
        // bash's ulimit -f counts KiB; the ignored SIGXFSZ lets write(2) fail with EFBIG instead.
        const QString command = u"trap '' XFSZ; ulimit -f 256; exec \"$0\" \"$@\""_s;
        QProcess process;
        process.start(u"bash"_s,
                      {u"-c"_s, command, QStringLiteral(ORVELOCTL_PATH), u"--app-dir"_s, db.appDir(),
                       u"export"_s, u"--from=2024-03-01"_s, u"--to=2024-03-01"_s, u"--out"_s, path});
        ASSERT_TRUE(process.waitForFinished(120000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 2) << name.toStdString() << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(u"无法写入文件 "_s + path)) << err.toStdString();
        EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << name.toStdString();
    }
}

TEST_F(ExportFilesTest, OrveloctlWritesAWorkbookForAnXlsxNameOrFormat) {
    const QString named = out.filePath(u"daily.XLSX"_s);
    ProgramRun run = orveloctl({u"--app-dir"_s, db.appDir(), u"export"_s, u"--daily"_s,
                                u"--from=2024-03-01"_s, u"--to=2024-03-01"_s, u"--out"_s, named});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(readWorkbook(named).value(u"sheets"_s).toArray().at(0).toObject().value(u"name"_s).toString(),
              u"每日汇总"_s);

    // --format wins over the name: a CSV in a file named .xlsx, a workbook in one named .txt.
    const QString csvNamedXlsx = out.filePath(u"really-csv.xlsx"_s);
    run = orveloctl({u"--app-dir"_s, db.appDir(), u"export"_s, u"--format"_s, u"csv"_s,
                     u"--from=2024-03-01"_s, u"--to=2024-03-01"_s, u"--out"_s, csvNamedXlsx});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(readCsv(fileBytes(csvNamedXlsx)).records.size(), kNames.size() + 2);
    const QString workbookNamedTxt = out.filePath(u"book.txt"_s);
    run = orveloctl({u"--app-dir"_s, db.appDir(), u"export"_s, u"--format=xlsx"_s, u"--from=2024-03-01"_s,
                     u"--to=2024-03-01"_s, u"--out"_s, workbookNamedTxt});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(readWorkbook(workbookNamedTxt).value(u"sheets"_s).toArray().size(), 1);
}

TEST_F(ExportFilesTest, DepartmentsForTheDialogComeByNumber) {
    db.addDepartment(u"D3"_s, u"财务部"_s, u"100"_s);
    db.addDepartment(u"D2"_s, u"=后勤"_s, u"102"_s);
    const std::vector<Department> departments = listDepartments(db.data());
    std::vector<std::tuple<QString, QString, QString>> seen;
    for (const Department& d : departments)
        if (d.key != u"01"_s) seen.emplace_back(d.key, d.number, d.name);
    const std::vector<std::tuple<QString, QString, QString>> expected = {
        {u"D3"_s, u"100"_s, u"财务部"_s}, {u"D1"_s, u"101"_s, u"生产部"_s}, {u"D2"_s, u"102"_s, u"=后勤"_s}};
    EXPECT_EQ(seen, expected);
    // A key from the list picks its department.
    ExportRequest request = day();
    request.department = departments.back().key;
    EXPECT_EQ(readCsv(exportCsv(db.data(), request).toUtf8()).records.size(), 1);
    request.department = u"D1"_s;
    EXPECT_EQ(readCsv(exportCsv(db.data(), request).toUtf8()).records.size(), kNames.size() + 2);
}

// A workbook whose rows outgrow a sheet goes on on a sheet named after it, header again; shown with
// sheets of three rows instead of Excel's 1,048,576.
TEST(XlsxWriterTest, AFullSheetIsFollowedByAnotherWithTheHeader) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"rows.xlsx"_s);
    {
        XlsxWriter writer(path, 3);
        writer.begin({{u"人员编号"_s, CellKind::Text}, {u"打卡次数"_s, CellKind::Count}}, u"每日汇总"_s);
        for (int i = 1; i <= 5; ++i) {
            const std::vector<QString> cells = {u"00%1"_s.arg(i), QString::number(i)};
            writer.row(cells);
        }
        writer.finish();
    }
    const QJsonArray sheets = readWorkbook(path).value(u"sheets"_s).toArray();
    ASSERT_EQ(sheets.size(), 3);
    const QStringList names = {u"每日汇总"_s, u"每日汇总 2"_s, u"每日汇总 3"_s};
    for (qsizetype i = 0; i < 3; ++i) {
        const QJsonObject sheet = sheets.at(i).toObject();
        EXPECT_EQ(sheet.value(u"name"_s).toString(), names[i]);
        expectTextCell(sheet, u"A1"_s, u"人员编号"_s);
    }
    expectTextCell(sheets.at(0).toObject(), u"A3"_s, u"002"_s);
    expectTextCell(sheets.at(1).toObject(), u"A2"_s, u"003"_s);
    expectNumberCell(sheets.at(2).toObject(), u"B2"_s, 5, u"General"_s);
    EXPECT_EQ(sheets.at(2).toObject().value(u"rows"_s).toInt(), 2);
}

}  // namespace
}  // namespace orvelo::reports
