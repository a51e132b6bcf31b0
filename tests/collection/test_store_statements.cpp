// The texts the attendance record store sends, built by its pure functions.
#include <gtest/gtest.h>

#include <vector>

#include "collection/attendance_statements.h"
#include "collection/collection_texts.h"
#include "core/datetime.h"

namespace orvelo {
namespace {

using namespace Qt::StringLiterals;

DateTimeValue at(const QString& text) {
    const auto value = parseDateTimeText(text);
    EXPECT_TRUE(value.has_value()) << text.toStdString();
    return value.value_or(0);
}

TEST(StoreStatements, WorkedExample) {
    const LogRecord record{123, at(u"2005-03-07 08:15:40"_s), 2, 1};
    const QString test =
        u"SELECT * fROM atdrecord WHERE ((emplid = '000123' )AND (recdate = '2005-03-07' )ANd (rectime = '08:15'))"_s;
    EXPECT_EQ(employeeLookupSql(123), u"select emplid from HrEmployee where cardid='00123'"_s);
    EXPECT_EQ(duplicateTestSql(u"000123"_s, record.RecordTime), test);
    EXPECT_EQ(
        attendanceWriteSql(u"000123"_s, record, at(u"2005-03-07 09:00:12"_s)),
        test +
            u" INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
            u"OperDate)VALUES ('000123','000123','2005-03-07 ','08:15',2,'001',2,'sa','2005-03-07 09:00:12')"_s);
}

TEST(StoreStatements, EnrollNumbersKeepAllTheirDigits) {
    struct Case {
        std::int32_t enroll;
        QString cardid;  // as looked up
        QString cardNo;  // as written
    };
    const std::vector<Case> cases = {
        {123, u"00123"_s, u"000123"_s},
        {123456, u"123456"_s, u"123456"_s},
        {0, u"00000"_s, u"000000"_s},
        {99999, u"99999"_s, u"099999"_s},
        {2147483647, u"2147483647"_s, u"2147483647"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.enroll);
        EXPECT_EQ(employeeLookupSql(c.enroll),
                  u"select emplid from HrEmployee where cardid='"_s + c.cardid + u"'"_s);
        const LogRecord record{c.enroll, at(u"2005-03-07 08:15:40"_s), 2, 1};
        EXPECT_TRUE(
            attendanceWriteSql(u"E1"_s, record, 0).contains(u"VALUES ('E1','"_s + c.cardNo + u"',"_s));
    }
}

TEST(StoreStatements, EmployeeNumberTrimmedInTheTestOnly) {
    const LogRecord record{7, at(u"2005-03-07 08:15:40"_s), 3, 12};
    const QString write = attendanceWriteSql(u" 000123  "_s, record, at(u"2005-03-07 09:00:12"_s));
    EXPECT_TRUE(write.startsWith(u"SELECT * fROM atdrecord WHERE ((emplid = '000123' )AND"_s))
        << write.toStdString();
    EXPECT_TRUE(write.contains(u"VALUES (' 000123  ','000007','2005-03-07 ','08:15',3,'012',2,'sa',"_s))
        << write.toStdString();
    // Control characters count as blanks for the trim.
    EXPECT_TRUE(duplicateTestSql(u"\t000123\r\n"_s, record.RecordTime).contains(u"(emplid = '000123' )"_s));
}

TEST(StoreStatements, QuoteInEmployeeNumberIsDoubled) {
    const LogRecord record{5, at(u"2005-03-07 08:15:40"_s), 2, 1};
    EXPECT_TRUE(duplicateTestSql(u"O'Brien"_s, record.RecordTime).contains(u"(emplid = 'O''Brien' )"_s));
    EXPECT_TRUE(attendanceWriteSql(u"O'Brien"_s, record, 0).contains(u"VALUES ('O''Brien','000005',"_s));
}

TEST(StoreStatements, DateAndMinuteCutFromTheDateTimeText) {
    struct Case {
        QString time;
        QString recDate;  // written, with its trailing blank
        QString recTime;
    };
    const std::vector<Case> cases = {
        {u"2005-03-07 00:00:00"_s, u"2005-03-07 "_s, u"00:00"_s},  // midnight keeps its time part
        {u"2005-03-07 23:59:59"_s, u"2005-03-07 "_s, u"23:59"_s},  // seconds are dropped, not rounded
        {u"2024-02-29 12:05:30"_s, u"2024-02-29 "_s, u"12:05"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time.toStdString());
        const LogRecord record{1, at(c.time), 4, 0};
        const QString trimmedDate = c.recDate.trimmed();
        EXPECT_EQ(duplicateTestSql(u"E"_s, record.RecordTime),
                  u"SELECT * fROM atdrecord WHERE ((emplid = 'E' )AND (recdate = '"_s + trimmedDate +
                      u"' )ANd (rectime = '"_s + c.recTime + u"'))"_s);
        EXPECT_TRUE(attendanceWriteSql(u"E"_s, record, 0)
                        .contains(u"VALUES ('E','000001','"_s + c.recDate + u"','"_s + c.recTime +
                                  u"',4,'000',2,"_s));
    }
}

TEST(StoreStatements, OperDateIsTheMomentGiven) {
    const LogRecord record{1, at(u"2005-03-07 08:15:40"_s), 0, 1};
    EXPECT_TRUE(attendanceWriteSql(u"E"_s, record, at(u"2031-12-31 23:59:58"_s))
                    .endsWith(u",'sa','2031-12-31 23:59:58')"_s));
}

TEST(MapModeCode, Table) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> mapped = {{1, 2}, {2, 3},  {3, 1},  {4, 35},
                                                                       {5, 4}, {6, 35}, {7, 33}, {10, 11}};
    for (const auto& [mode, code] : mapped) {
        EXPECT_EQ(MapModeCode(mode, 99), code) << "mode " << mode;
    }
    for (const std::int32_t unlisted : {0, 8, 9, 11, 12, 255, -1, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(MapModeCode(unlisted, 33), 33) << "mode " << unlisted;
        EXPECT_EQ(MapModeCode(unlisted, 0), 0) << "mode " << unlisted;
    }
}

TEST(MapModeCode, SequencesCarryThePreviousCode) {
    struct Case {
        std::vector<std::int32_t> modes;
        std::vector<std::int32_t> codes;
    };
    const std::vector<Case> cases = {
        {{1, 9, 7}, {2, 2, 33}}, {{8}, {0}}, {{9, 0, 3}, {0, 0, 1}}, {{10, 11, 4, -5}, {11, 11, 35, 35}},
        {{1, 2, 3}, {2, 3, 1}},
    };
    for (const Case& c : cases) {
        std::int32_t code = 0;
        std::vector<std::int32_t> got;
        for (const std::int32_t mode : c.modes) got.push_back(code = MapModeCode(mode, code));
        EXPECT_EQ(got, c.codes);
    }
}

TEST(SummaryTexts, ExactWording) {
    EXPECT_EQ(collectionSummaryText(3, 1),
              u"共采集数据记录3条；其中有效数据记录1条，重复或无效数据记录2条。"_s);
    EXPECT_EQ(collectionSummaryText(0, 0),
              u"共采集数据记录0条；其中有效数据记录0条，重复或无效数据记录0条。"_s);
    EXPECT_EQ(collectionSummaryText(100000, 99999),
              u"共采集数据记录100000条；其中有效数据记录99999条，重复或无效数据记录1条。"_s);
    EXPECT_EQ(rawImportLogSummaryText(3, 2),
              u"共导入原始记录数据3条；其中有效数据2条，重复或无效数据1条。"_s);
    EXPECT_EQ(rawImportBoxSummaryText(3, 2),
              u"共导入原始数据记录3条；其中有效数据2条，重复或无效数据1条。"_s);
    EXPECT_EQ(collectionSuccessLine(), u"数据采集成功！"_s);
    EXPECT_EQ(rawImportSuccessLine(), u"原始记录数据导入成功！"_s);
    EXPECT_EQ(collectionCaption(), u"数据采集"_s);
    EXPECT_EQ(rawImportCaption(), u"原始数据导入"_s);
}

}  // namespace
}  // namespace orvelo
