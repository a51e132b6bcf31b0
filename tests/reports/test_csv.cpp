// The CSV writer: which fields are quoted and how, and the record's line end.
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

}  // namespace
}  // namespace orvelo::reports
