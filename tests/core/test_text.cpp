#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/text.h"

using namespace orvelo;

namespace {

struct IntCase {
    const char* text;
    qint32 value;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class StrToIntAccepts : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntAccepts, Value) {
    EXPECT_EQ(strToInt(QString::fromUtf8(GetParam().text)), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToIntAccepts,
                         testing::Values(IntCase{"1", 1}, IntCase{" 1", 1}, IntCase{"   42", 42},
                                         IntCase{"-7", -7}, IntCase{"+7", 7}, IntCase{"007", 7},
                                         IntCase{"$1F", 31}, IntCase{"0x1f", 31}, IntCase{"0X1F", 31},
                                         IntCase{"x10", 16}, IntCase{"X10", 16}, IntCase{"-$10", -16},
                                         IntCase{"2147483647", 2147483647},
                                         IntCase{"-2147483648", -2147483647 - 1},
                                         IntCase{"$7FFFFFFF", 2147483647}, IntCase{"0", 0}));

class StrToIntRejects : public testing::TestWithParam<const char*> {};

TEST_P(StrToIntRejects, WithTheTextInTheMessage) {
    const QString text = QString::fromUtf8(GetParam());
    try {
        strToInt(text);
        FAIL() << "accepted " << GetParam();
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), u'\'' + text + QStringLiteral("' is not a valid integer value"));
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToIntRejects,
                         testing::Values("", " ", "1 ", "abc", "1a", "--1", "+-1", "2147483648",
                                         "-2147483649", "$", "0x", "x", "$80000000", "1.5", "\t1", "１",
                                         "99999999999999999999"));

TEST(TrimBlanks, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(trimBlanks(QStringLiteral("  ab c \t\r\n")), QStringLiteral("ab c"));
    EXPECT_EQ(trimBlanks(QString::fromUtf8("\u3000张三\u3000")), QString::fromUtf8("\u3000张三\u3000"));
    EXPECT_EQ(trimBlanks(QStringLiteral("   ")), QString());
    EXPECT_EQ(trimBlanks(QStringLiteral("2005-03-07 ")), QStringLiteral("2005-03-07"));
}

TEST(ZeroPad, PadsNeverCuts) {
    EXPECT_EQ(zeroPad(7, 5), QStringLiteral("00007"));
    EXPECT_EQ(zeroPad(123456, 5), QStringLiteral("123456"));
    EXPECT_EQ(zeroPad(1, 3), QStringLiteral("001"));
    EXPECT_EQ(zeroPad(1000, 3), QStringLiteral("1000"));
    EXPECT_EQ(zeroPad(123, 8), QStringLiteral("00000123"));
    EXPECT_EQ(zeroPad(123, 6), QStringLiteral("000123"));
    EXPECT_EQ(zeroPad(-7, 5), QStringLiteral("-00007"));
    EXPECT_EQ(zeroPad(0, 5), QStringLiteral("00000"));
}

TEST(BlankPad, RightAlignsNeverCuts) {
    EXPECT_EQ(blankPad(0, 5), QStringLiteral("    0"));
    EXPECT_EQ(blankPad(2, 5), QStringLiteral("    2"));
    EXPECT_EQ(blankPad(123456, 5), QStringLiteral("123456"));
}

TEST(SqlQuoted, DoublesSingleQuotes) {
    EXPECT_EQ(sqlQuoted(QStringLiteral("00123")), QStringLiteral("'00123'"));
    EXPECT_EQ(sqlQuoted(QStringLiteral("O'Brien")), QStringLiteral("'O''Brien'"));
    EXPECT_EQ(sqlQuoted(QString()), QStringLiteral("''"));
    EXPECT_EQ(sqlQuoted(QStringLiteral("'")), QStringLiteral("''''"));
}

TEST(DefaultErrorText, AppendsFullStopAfterCharactersSortingAfterIt) {
    EXPECT_EQ(defaultErrorText(QStringLiteral("'x' is not a valid integer value")),
              QStringLiteral("'x' is not a valid integer value."));
    EXPECT_EQ(defaultErrorText(QStringLiteral("value 1")), QStringLiteral("value 1."));
    EXPECT_EQ(defaultErrorText(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(defaultErrorText(QStringLiteral("stop!")), QStringLiteral("stop!"));
    EXPECT_EQ(defaultErrorText(QStringLiteral("a-")), QStringLiteral("a-"));
    EXPECT_EQ(defaultErrorText(QString::fromUtf8("失败！")), QString::fromUtf8("失败！."));
    EXPECT_EQ(defaultErrorText(QString()), QString());
}

TEST(ControlCharacters, AreFoundAndEscapedEveryOtherCharacterKept) {
    struct Case {
        QString text;
        bool control;
        QString escaped;
    };
    const Case cases[] = {
        {QStringLiteral("127.0.0.1"), false, QStringLiteral("127.0.0.1")},
        {QString::fromUtf8("二楼 考勤机"), false, QString::fromUtf8("二楼 考勤机")},
        {QStringLiteral("a\\x00b"), false, QStringLiteral("a\\x00b")},  // a backslash is no control
        {QString(), false, QString()},
        {QString::fromUtf16(u"127.0.0.1\0evil", 14), true, QStringLiteral("127.0.0.1\\x00evil")},
        {QString::fromUtf16(u"\0", 1), true, QStringLiteral("\\x00")},
        {QStringLiteral("\x1b[31mred\x1b[0m"), true, QStringLiteral("\\x1b[31mred\\x1b[0m")},
        {QStringLiteral("tab\there\r\n"), true, QStringLiteral("tab\\x09here\\x0d\\x0a")},
        {QStringLiteral("del\x7f"), true, QStringLiteral("del\\x7f")},
        {QString::fromUtf16(u"next\u0085line"), true, QStringLiteral("next\\x85line")},
        {QString::fromUtf16(u"nbsp\u00a0"), false, QString::fromUtf16(u"nbsp\u00a0")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.escaped.toStdString());
        EXPECT_EQ(hasControlCharacter(c.text), c.control);
        EXPECT_EQ(escapeControlCharacters(c.text), c.escaped);
        EXPECT_FALSE(hasControlCharacter(escapeControlCharacters(c.text)));
    }
}

}  // namespace
