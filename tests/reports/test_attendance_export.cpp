// The attendance export on a small database: punches across midnight, two departments, a name
// with a quote and a comma, an employee who has left, punches outside the period. The CSV is
// read back by Python's csv module (strict), never by this test's own parsing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/errors.h"
#include "reports/attendance_export.h"
#include "tests/reports/printers.h"
#include "tests/reports/read_back.h"
#include "tests/support/test_database.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {
namespace {

using readback::orveloctl;
using readback::ProgramRun;
using readback::ReadBack;
using readback::readCsv;
using readback::Records;

const QString kQuotedName = u"O\"Neil, Pat"_s;

class AttendanceExportTest : public testing::Test {
protected:
    void SetUp() override {
        db.addDepartment(u"D1"_s, u"生产部"_s, u"101"_s);
        db.addDepartment(u"D2"_s, u"财务部"_s, u"102"_s);
        db.addActiveEmployee(u"00000001"_s, u"00001"_s, u"张三"_s, u"D1"_s);
        db.addActiveEmployee(u"00000002"_s, u"00002"_s, kQuotedName, u"D2"_s);
        db.addDepartedEmployee(u"00000003"_s, u"00003"_s, u"李四"_s, u"2024-03-01"_s, u"D1"_s);
        db.exec(
            u"insert into systxtset (texttype, textvalue, gb) values ('IsAuto', 2, '上班'), ('IsAuto', 3, '下班')"_s);
        // The night shift of 张三 crosses midnight; the rows are written as the store writes
        // them, with the blank after the date.
        punch(u"00000001"_s, u"2024-02-29 "_s, u"23:59"_s, 2, u"001"_s);  // before the period
        punch(u"00000001"_s, u"2024-03-01 "_s, u"22:05"_s, 2, u"001"_s);
        punch(u"00000001"_s, u"2024-03-02 "_s, u"06:10"_s, 3, u"001"_s);
        punch(u"00000001"_s, u"2024-03-02 "_s, u"17:30"_s, 3, u"002"_s);
        punch(u"00000001"_s, u"2024-03-02 "_s, u"08:00"_s, 2, u"002"_s);
        punch(u"00000002"_s, u"2024-03-02 "_s, u"09:00"_s, 35, u"002"_s);
        punch(u"00000002"_s, u"2024-03-03 "_s, u"18:00"_s, 4, u"002"_s);
        punch(u"00000003"_s, u"2024-03-01 "_s, u"08:00"_s, 2, u"001"_s);
        punch(u"00000001"_s, u"2024-03-04 "_s, u"00:00"_s, 2, u"001"_s);  // after the period
    }

    void punch(const QString& emplid, const QString& date, const QString& time, int code,
               const QString& equno) {
        db.exec(
            u"insert into AtdRecord (EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
            u"OperDate) values ('%1', '0'||substr('%1', 4), '%2', '%3', %4, '%5', 2, 'sa', "
            u"'2024-03-05 09:00:00')"_s.arg(emplid, date, time)
                .arg(code)
                .arg(equno));
    }

    ExportRequest period(bool daily = false, const QString& department = {}) {
        return ExportRequest{QDate(2024, 3, 1), QDate(2024, 3, 3), department, daily};
    }

    test::TestDatabase db;
};

const QStringList kPunchHeader = {u"人员编号"_s, u"姓名"_s,     u"机构名称"_s, u"日期"_s,
                                  u"时间"_s,     u"记录代码"_s, u"记录含义"_s, u"机器号"_s};
const QStringList kDailyHeader = {u"人员编号"_s, u"姓名"_s,     u"机构名称"_s, u"日期"_s,
                                  u"首次打卡"_s, u"末次打卡"_s, u"打卡次数"_s};

const Records kPeriodPunches = {
    kPunchHeader,
    {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-01"_s, u"22:05"_s, u"2"_s, u"上班"_s, u"001"_s},
    {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-02"_s, u"06:10"_s, u"3"_s, u"下班"_s, u"001"_s},
    {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-02"_s, u"08:00"_s, u"2"_s, u"上班"_s, u"002"_s},
    {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-02"_s, u"17:30"_s, u"3"_s, u"下班"_s, u"002"_s},
    {u"00000002"_s, kQuotedName, u"财务部"_s, u"2024-03-02"_s, u"09:00"_s, u"35"_s, QString(), u"002"_s},
    {u"00000002"_s, kQuotedName, u"财务部"_s, u"2024-03-03"_s, u"18:00"_s, u"4"_s, QString(), u"002"_s},
    {u"00000003"_s, u"李四"_s, u"生产部"_s, u"2024-03-01"_s, u"08:00"_s, u"2"_s, u"上班"_s, u"001"_s},
};

TEST_F(AttendanceExportTest, OneLinePerPunchOfThePeriodWithTheCodesMeaning) {
    const QString csv = exportCsv(db.data(), period());
    const ReadBack read = readCsv(csv.toUtf8());
    EXPECT_FALSE(read.bom);
    EXPECT_EQ(read.records, kPeriodPunches);
    // RFC 4180 line ends: every record, the last included, ends with CR LF, and no bare LF.
    EXPECT_EQ(csv.count(u"\r\n"_s), kPeriodPunches.size());
    EXPECT_EQ(csv.count(u'\n'), kPeriodPunches.size());
    EXPECT_TRUE(csv.contains(u"\"O\"\"Neil, Pat\""_s));
}

TEST_F(AttendanceExportTest, DailyGivesFirstAndLastPunchOfEachCalendarDay) {
    const ReadBack read = readCsv(exportCsv(db.data(), period(true)).toUtf8());
    const Records expected = {
        kDailyHeader,
        // The night shift: its evening punch is the day before's only one.
        {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-01"_s, u"22:05"_s, u"22:05"_s, u"1"_s},
        {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-02"_s, u"06:10"_s, u"17:30"_s, u"3"_s},
        {u"00000002"_s, kQuotedName, u"财务部"_s, u"2024-03-02"_s, u"09:00"_s, u"09:00"_s, u"1"_s},
        {u"00000002"_s, kQuotedName, u"财务部"_s, u"2024-03-03"_s, u"18:00"_s, u"18:00"_s, u"1"_s},
        {u"00000003"_s, u"李四"_s, u"生产部"_s, u"2024-03-01"_s, u"08:00"_s, u"08:00"_s, u"1"_s},
    };
    EXPECT_EQ(read.records, expected);
}

TEST_F(AttendanceExportTest, DepartmentMatchesItsKeyNumberOrName) {
    for (const QString& department : {u"D2"_s, u"102"_s, u"财务部"_s}) {
        const ReadBack read = readCsv(exportCsv(db.data(), period(false, department)).toUtf8());
        ASSERT_EQ(read.records.size(), 3) << department.toStdString();
        EXPECT_EQ(read.records.at(1).at(0), u"00000002"_s);
        EXPECT_EQ(read.records.at(2).at(0), u"00000002"_s);
    }
}

TEST_F(AttendanceExportTest, DepartmentWithAQuoteIsBoundNotWrittenIn) {
    db.addDepartment(u"D3"_s, u"O'Brien's"_s, u"103"_s);
    db.addActiveEmployee(u"00000004"_s, u"00004"_s, u"王五"_s, u"D3"_s);
    punch(u"00000004"_s, u"2024-03-01 "_s, u"07:00"_s, 2, u"001"_s);
    const ReadBack read = readCsv(exportCsv(db.data(), period(true, u"O'Brien's"_s)).toUtf8());
    ASSERT_EQ(read.records.size(), 2);
    EXPECT_EQ(read.records.at(1), (QStringList{u"00000004"_s, u"王五"_s, u"O'Brien's"_s, u"2024-03-01"_s,
                                               u"07:00"_s, u"07:00"_s, u"1"_s}));
}

TEST_F(AttendanceExportTest, UnknownDepartmentOrEmptyPeriodGivesTheHeaderOnly) {
    EXPECT_EQ(readCsv(exportCsv(db.data(), period(false, u"无此部门"_s)).toUtf8()).records,
              Records{kPunchHeader});
    const ExportRequest empty{QDate(2023, 1, 1), QDate(2023, 12, 31), {}, true};
    EXPECT_EQ(readCsv(exportCsv(db.data(), empty).toUtf8()).records, Records{kDailyHeader});
}

TEST_F(AttendanceExportTest, PeriodBoundsAreInclusive) {
    const ExportRequest bounds{QDate(2024, 2, 29), QDate(2024, 3, 4), {}, false};
    const Records records = readCsv(exportCsv(db.data(), bounds).toUtf8()).records;
    ASSERT_EQ(records.size(), kPeriodPunches.size() + 2);
    EXPECT_EQ(records.at(1).mid(3, 2), (QStringList{u"2024-02-29"_s, u"23:59"_s}));
    EXPECT_TRUE(records.contains(QStringList{u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-04"_s,
                                             u"00:00"_s, u"2"_s, u"上班"_s, u"001"_s}));
}

TEST_F(AttendanceExportTest, FileStartsWithAByteOrderMarkAndReadsBackTheSame) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"export.csv"_s);
    exportAttendance(db.data(), period(), ExportFormat::Csv, path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const ReadBack read = readCsv(bytes);
    EXPECT_TRUE(read.bom);
    EXPECT_EQ(read.records, kPeriodPunches);
}

TEST_F(AttendanceExportTest, AFolderThatDoesNotExistIsAFileError) {
    QTemporaryDir dir;
    EXPECT_THROW(
        exportAttendance(db.data(), period(), ExportFormat::Csv, dir.filePath(u"missing/export.csv"_s)),
        FileError);
}

TEST_F(AttendanceExportTest, OrveloctlWritesTheCsvOnStdoutWithoutAByteOrderMark) {
    const ProgramRun run = orveloctl(
        {u"--app-dir"_s, db.appDir(), u"export"_s, u"--from"_s, u"2024-03-01"_s, u"--to"_s, u"2024-03-03"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_FALSE(run.out.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(readCsv(run.out).records, kPeriodPunches);
}

TEST_F(AttendanceExportTest, OrveloctlWritesTheDailyFileWithAByteOrderMark) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"daily.csv"_s);
    const ProgramRun run =
        orveloctl({u"--app-dir"_s, db.appDir(), u"export"_s, u"--daily"_s, u"--from=2024-03-02"_s,
                   u"--to=2024-03-02"_s, u"--department"_s, u"101"_s, u"--out"_s, path});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const ReadBack read = readCsv(file.readAll());
    EXPECT_TRUE(read.bom);
    EXPECT_EQ(
        read.records,
        (Records{kDailyHeader,
                 {u"00000001"_s, u"张三"_s, u"生产部"_s, u"2024-03-02"_s, u"06:10"_s, u"17:30"_s, u"3"_s}}));
}

// Usage errors stop orveloctl before the start-up: the database of a fresh folder is not created.
TEST(OrveloctlExportUsage, BadPeriodsExitWith64BeforeTheStartUp) {
    QTemporaryDir dir;
    {
        QFile ini(dir.filePath(u"hv.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
    }
    const QList<QStringList> cases = {
        {u"--from"_s, u"2024-03-02"_s, u"--to"_s, u"2024-03-01"_s},
        {u"--from"_s, u"2024-02-30"_s, u"--to"_s, u"2024-03-01"_s},
        {u"--from"_s, u"01.03.2024"_s, u"--to"_s, u"2024-03-01"_s},
        {u"--to"_s, u"2024-03-01"_s},
        {u"--from"_s, u"2024-03-01"_s, u"--to"_s, u"2024-03-01"_s, u"--department"_s, QString()},
        {u"--from"_s, u"2024-03-01"_s, u"--to"_s, u"2024-03-01"_s, u"--format"_s, u"xlsx"_s},
        {u"--from"_s, u"2024-03-01"_s, u"--to"_s, u"2024-03-01"_s, u"--format=ods"_s, u"--out=a.ods"_s},
    };
    for (const QStringList& options : cases) {
        const ProgramRun run = orveloctl(QStringList{u"--app-dir"_s, dir.path(), u"export"_s} + options);
        EXPECT_EQ(run.status, 64) << options.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(u"orveloctl: export: "_s)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(u"orvelo.db"_s)));
}

}  // namespace
}  // namespace orvelo::reports
