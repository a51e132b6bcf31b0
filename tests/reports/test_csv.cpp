// The CSV writer: which fields are quoted and how, the record's line end, and which texts get the
// formula guard.
#include <gtest/gtest.h>

#include "reports/csv.h"
#include "tests/reports/printers.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {
namespace {

struct FieldCase {
    const char* name;
    QString value;
    QString written;
};

class CsvFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(CsvFieldTest, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(csvField(GetParam().value), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Fields, CsvFieldTest,
                         testing::Values(FieldCase{"plain", u"张三"_s, u"张三"_s},
                                         FieldCase{"empty", QString(), QString()},
                                         FieldCase{"blanks_kept", u" a b "_s, u" a b "_s},
                                         FieldCase{"comma", u"Neil, Pat"_s, u"\"Neil, Pat\""_s},
                                         FieldCase{"quote_doubled", u"O\"Neil"_s, u"\"O\"\"Neil\""_s},
                                         FieldCase{"quote_and_comma", u"\"a\",b"_s, u"\"\"\"a\"\",b\""_s},
                                         FieldCase{"line_feed", u"a\nb"_s, u"\"a\nb\""_s},
                                         FieldCase{"carriage_return", u"a\rb"_s, u"\"a\rb\""_s},
                                         FieldCase{"single_quote_plain", u"O'Neil"_s, u"O'Neil"_s}),
                         [](const testing::TestParamInfo<FieldCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(CsvRecord, JoinsWithCommasAndEndsWithCrLf) {
    EXPECT_EQ(csvRecord({u"a"_s, u"b,c"_s, QString()}), u"a,\"b,c\",\r\n"_s);
    EXPECT_EQ(csvRecord({u"only"_s}), u"only\r\n"_s);
}

struct GuardCase {
    const char* name;
    QString text;
    QString guarded;
};

class GuardedTextTest : public testing::TestWithParam<GuardCase> {};

TEST_P(GuardedTextTest, MarksOnlyWhatASpreadsheetWouldRun) {
    EXPECT_EQ(guardedText(GetParam().text), GetParam().guarded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuardedTextTest,
    testing::Values(
        GuardCase{"equals", u"=1+1"_s, u"'=1+1"_s}, GuardCase{"plus", u"+1"_s, u"'+1"_s},
        GuardCase{"minus", u"-1"_s, u"'-1"_s}, GuardCase{"at", u"@SUM(A1)"_s, u"'@SUM(A1)"_s},
        GuardCase{"tab", u"\t=1+1"_s, u"'\t=1+1"_s}, GuardCase{"carriage_return", u"\r=1+1"_s, u"'\r=1+1"_s},
        GuardCase{"already_guarded", u"'=1"_s, u"'=1"_s}, GuardCase{"inside", u"a=b+c-d@e"_s, u"a=b+c-d@e"_s},
        GuardCase{"blank_first", u" =1"_s, u" =1"_s}, GuardCase{"line_feed_first", u"\n=1"_s, u"\n=1"_s},
        GuardCase{"zeros", u"000123"_s, u"000123"_s}, GuardCase{"empty", QString(), QString()}),
    [](const testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvelo::reports
