#include <gtest/gtest.h>

#include <string>

#include "terminal/text_utils.h"
#include "terminal/usb_log_file.h"

using namespace orvelo::terminal;

TEST(Utf8, ValidatesWellFormedText) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("abc 张三 😀"));
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));          // overlong zero
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xE5\xBC"));          // cut character
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\x80"));
}

TEST(Utf8, PrefixNeverCutsACharacter) {
    struct Case {
        std::string text;
        std::size_t max;
        std::size_t expected;
    };
    const std::string thirteen = "一二三四五六七八九十百千万";  // 39 bytes
    const Case cases[] = {
        {thirteen, 39, 39},
        {thirteen + "亿", 39, 39},
        {"a" + thirteen, 39, 37},
        {"ab" + thirteen, 39, 38},
        {"short", 39, 5},
        {"😀😀", 7, 4},
        {"😀", 3, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8PrefixLength(c.text, c.max), c.expected) << c.text;
}

TEST(ParseInt32, AcceptsOnlyPlainDecimalInRange) {
    EXPECT_EQ(parseInt32("0"), 0);
    EXPECT_EQ(parseInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInt32("2147483647"), INT32_MAX);
    for (const char* bad : {"", "-", "+1", " 1", "1 ", "2147483648", "12345678901", "1e3", "0x10"})
        EXPECT_FALSE(parseInt32(bad)) << bad;
}

TEST(DayCount, KnownDatesAndRoundTrip) {
    EXPECT_EQ(toDays({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    EXPECT_EQ(toDays({1970, 1, 1, 0, 0, 0, 0}), 25569.0);
    EXPECT_EQ(toDays({2005, 3, 7, 12, 0, 0, 0}), 38418.5);
    EXPECT_FALSE(toDays({2023, 2, 29, 0, 0, 0, 0}));
    EXPECT_TRUE(toDays({2024, 2, 29, 23, 59, 59, 999}));
    EXPECT_FALSE(toDays({1899, 12, 31, 0, 0, 0, 0}));
    const CivilDateTime t{2026, 1, 1, 8, 15, 40, 250};
    EXPECT_EQ(fromDays(*toDays(t)), t);
    EXPECT_EQ(formatDateTimeText(*parseDateTimeText("2005-03-07 08:15:40")), "2005-03-07 08:15:40");
    EXPECT_EQ(formatDateTimeText(*toDays({2005, 3, 7, 23, 59, 59, 999})), "2005-03-07 23:59:59");
    for (const char* bad : {"2005-03-07", "2005-3-07 08:15:40", "2005-03-07T08:15:40", "2005-03-07 24:00:00",
                            "2005-13-07 08:15:40", "2005-03-07 08:15:40 "})
        EXPECT_FALSE(parseDateTimeText(bad)) << bad;
}

TEST(DayCount, RangeCheckRejectsWhatCannotBeADate) {
    EXPECT_TRUE(daysInRange(38418.5));
    EXPECT_FALSE(daysInRange(1.0));
    EXPECT_FALSE(daysInRange(3e6));
    EXPECT_FALSE(daysInRange(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(daysInRange(std::numeric_limits<double>::infinity()));
}

TEST(UsbLogFile, FormatsAndParsesBack) {
    UsbLogFile file;
    file.machine = 7;
    file.records = {{123, 1, *parseDateTimeText("2005-03-07 08:15:40")},
                    {-5, 10, *parseDateTimeText("2026-01-01 00:00:00")}};
    const std::string text = formatUsbLogFile(file);
    EXPECT_EQ(text,
              "ORVELO-USB-LOG 1 machine=7 records=2\n"
              "123\t1\t2005-03-07 08:15:40\n"
              "-5\t10\t2026-01-01 00:00:00\n");
    const auto parsed = parseUsbLogFile(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->machine, 7);
    EXPECT_EQ(parsed->records, file.records);
}

TEST(UsbLogFile, AcceptsCrLfAndAnEmptyLog) {
    const auto crlf =
        parseUsbLogFile("ORVELO-USB-LOG 1 machine=1 records=1\r\n1\t2\t2005-03-07 08:15:40\r\n");
    ASSERT_TRUE(crlf);
    EXPECT_EQ(crlf->records.size(), 1u);
    const auto empty = parseUsbLogFile("ORVELO-USB-LOG 1 machine=1 records=0\n");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->records.empty());
}

TEST(UsbLogFile, RefusesAnythingElse) {
    const std::string header = "ORVELO-USB-LOG 1 machine=1 records=1\n";
    const std::string record = "1\t2\t2005-03-07 08:15:40\n";
    const char* const cases[] = {
        "",
        "ORVELO-USB-LOG 1 machine=1 records=0",  // no line end
        "ORVELO-USB-LOG 2 machine=1 records=0\n",
        "orvelo-usb-log 1 machine=1 records=0\n",
        "ORVELO-USB-LOG 1 machine=1\n",
        "ORVELO-USB-LOG 1 machine=x records=0\n",
        "ORVELO-USB-LOG 1 machine=1 records=-1\n",
        "ORVELO-USB-LOG 1 machine=1 records=0 \n",
        "ORVELO-USB-LOG 1 machine=1 records=999999999\n1\t2\t2005-03-07 08:15:40\n",
        "\xEF\xBB\xBFORVELO-USB-LOG 1 machine=1 records=0\n",
    };
    for (const char* c : cases) EXPECT_FALSE(parseUsbLogFile(c)) << c;
    const std::string bodies[] = {
        "",                             // fewer records than the header says
        record + record,                // more
        "1\t2\t2005-03-07 08:15:40",    // last line without its end
        "1 2 2005-03-07 08:15:40\n",    // blanks instead of tabs
        "1\t2\t2005-02-30 08:15:40\n",  // no such day
        "1\t2\t2005-03-07 08:15\n",     // no seconds
        "99999999999\t2\t2005-03-07 08:15:40\n",
        "1\t\t2005-03-07 08:15:40\n",
        "1\t2\t2005-03-07 08:15:40\textra\n",
        "\n",
    };
    for (const auto& body : bodies) EXPECT_FALSE(parseUsbLogFile(header + body)) << body;
}
