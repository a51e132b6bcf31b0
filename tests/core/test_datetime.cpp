#include <gtest/gtest.h>

#include "core/datetime.h"

using namespace orvelo;

namespace {

struct TextCase {
    DateTimeParts parts;
    const char* text;
};

// Test names show the text, not the bytes of the case.
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.text;
}

class DateTimeTextRoundTrip : public testing::TestWithParam<TextCase> {};

TEST_P(DateTimeTextRoundTrip, BothWays) {
    const auto value = encodeDateTime(GetParam().parts);
    ASSERT_TRUE(value);
    EXPECT_EQ(dateTimeText(*value), QString::fromUtf8(GetParam().text));
    const auto parsed = parseDateTimeText(QString::fromUtf8(GetParam().text));
    ASSERT_TRUE(parsed);
    DateTimeParts expected = GetParam().parts;
    expected.msec = 0;
    EXPECT_EQ(decodeDateTime(*parsed), expected);
}

INSTANTIATE_TEST_SUITE_P(Values, DateTimeTextRoundTrip,
                         testing::Values(TextCase{{1899, 12, 30, 0, 0, 0, 0}, "1899-12-30 00:00:00"},
                                         TextCase{{2005, 3, 7, 8, 15, 40, 0}, "2005-03-07 08:15:40"},
                                         TextCase{{2005, 3, 7, 0, 0, 0, 0}, "2005-03-07 00:00:00"},
                                         TextCase{{2024, 2, 29, 23, 59, 59, 0}, "2024-02-29 23:59:59"},
                                         TextCase{{2026, 3, 29, 2, 30, 0, 0}, "2026-03-29 02:30:00"},
                                         TextCase{{1800, 1, 1, 6, 0, 0, 0}, "1800-01-01 06:00:00"}));

TEST(DateTimeValue, CountsDaysSince18991230) {
    EXPECT_DOUBLE_EQ(*encodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(*encodeDateTime({1900, 1, 1, 12, 0, 0, 0}), 2.5);
    EXPECT_DOUBLE_EQ(*encodeDateTime({2005, 3, 7, 6, 0, 0, 0}), 38418.25);
    EXPECT_DOUBLE_EQ(*encodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    EXPECT_EQ(decodeDateTime(-1.25), (DateTimeParts{1899, 12, 29, 6, 0, 0, 0}));
}

TEST(DateTimeValue, RoundsToTheNearestMillisecondWithCarry) {
    const double day = *encodeDateTime({2005, 3, 7, 0, 0, 0, 0});
    const double almostMidnight = day + 1.0 - 0.0004 / 86400.0;  // 0.4 ms before the next day
    EXPECT_EQ(decodeDateTime(almostMidnight), (DateTimeParts{2005, 3, 8, 0, 0, 0, 0}));
    EXPECT_EQ(dateTimeText(almostMidnight), QStringLiteral("2005-03-08 00:00:00"));
    const double almostSecond = day + (59.9996) / 86400.0;
    EXPECT_EQ(decodeDateTime(almostSecond), (DateTimeParts{2005, 3, 7, 0, 1, 0, 0}));
    const double withMs = *encodeDateTime({2005, 3, 7, 8, 15, 40, 123});
    EXPECT_EQ(decodeDateTime(withMs), (DateTimeParts{2005, 3, 7, 8, 15, 40, 123}));
    EXPECT_EQ(dateTimeText(withMs), QStringLiteral("2005-03-07 08:15:40"));
}

TEST(DateTimeText, ParsesMinutesFormWithZeroSeconds) {
    const auto value = parseDateTimeText(QStringLiteral("2005-03-07 23:59"));
    ASSERT_TRUE(value);
    EXPECT_EQ(dateTimeText(*value), QStringLiteral("2005-03-07 23:59:00"));
}

TEST(DateTimeText, RejectsMalformedOrImpossibleValues) {
    for (const char* text :
         {"", "2005-03-07", "2005-3-07 08:15:40", "2005-02-30 08:15:40", "2005-03-07 24:00:00",
          "2005-03-07 08:60:00", "2005-03-07 08:15:60", "2005/03/07 08:15:40", "2005-03-07T08:15:40",
          "2005-03-07 08:1a", " 2005-03-07 08:15", "2005-03-07 08:15:4"})
        EXPECT_FALSE(parseDateTimeText(QString::fromUtf8(text))) << text;
}

TEST(SystemClock, IsNearTheWallClock) {
    const DateTimeValue now = SystemClock().now();
    EXPECT_GT(now, *encodeDateTime({2020, 1, 1, 0, 0, 0, 0}));
    EXPECT_LT(now, *encodeDateTime({2200, 1, 1, 0, 0, 0, 0}));
}

}  // namespace
