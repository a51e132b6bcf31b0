#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/ini_file.h"

using namespace orvelo;
using namespace Qt::StringLiterals;

namespace {

struct IniCase {
    const char* what;
    const char* text;
    const char* section;
    const char* key;
    const char* expected;  // nullptr: the default
};

const IniCase kIniCases[] = {
    {"plain key", "[database]\ndatabase name=hr\n", "database", "database name", "hr"},
    {"section without regard to case", "[DataBase]\ndatabase name=hr\n", "database", "database name", "hr"},
    {"key without regard to case", "[database]\nDATABASE NAME=hr\n", "database", "Database Name", "hr"},
    {"blanks around the value", "[database]\nserver name =   srv\\inst   \n", "database", "server name",
     "srv\\inst"},
    {"tabs around the value", "[database]\nserver name=\tsrv\t\n", "database", "server name", "srv"},
    {"blanks around the section name", "[ database ]\nlogin mode=win\n", "database", "login mode", "win"},
    {"blanks inside the value stay", "[database]\ndatabase name= my  db \n", "database", "database name",
     "my  db"},
    {"CR LF line ends", "[database]\r\nlogin mode=SQL\r\n", "database", "login mode", "SQL"},
    {"present empty value is empty, not the default", "[database]\nlogin mode=\n", "database", "login mode",
     ""},
    {"present value of blanks is empty", "[database]\nlogin mode=   \n", "database", "login mode", ""},
    {"missing key", "[database]\nserver name=x\n", "database", "login mode", nullptr},
    {"missing section", "[other]\nlogin mode=win\n", "database", "login mode", nullptr},
    {"key of another section", "[other]\nlogin mode=win\n[database]\n", "database", "login mode", nullptr},
    {"key before any section", "login mode=win\n[database]\n", "database", "login mode", nullptr},
    {"comment line", "[database]\n;login mode=win\n", "database", "login mode", nullptr},
    {"indented comment line", "[database]\n   ; login mode=win\n", "database", "login mode", nullptr},
    {"first of two equal keys wins", "[database]\nlogin mode=win\nLogin Mode=sql\n", "database", "login mode",
     "win"},
    {"first of two equal sections wins",
     "[database]\nserver name=a\n[DATABASE]\nserver name=b\nlogin mode=x\n", "database", "login mode",
     nullptr},
    {"line without '=' is no key", "[database]\nlogin mode\n", "database", "login mode", nullptr},
    {"only the first '=' separates", "[database]\ndatabase name=a=b\n", "database", "database name", "a=b"},
    {"commas are plain text", "[database]\nserver name=host,1433\n", "database", "server name", "host,1433"},
    {"quotes are plain text", "[database]\ndatabase name=\"hr\"\n", "database", "database name", "\"hr\""},
    {"semicolon inside a value", "[database]\ndatabase name=a;b\n", "database", "database name", "a;b"},
    {"Chinese value", "[database]\ndatabase name=考勤库\n", "database", "database name", "考勤库"},
    {"empty text", "", "database", "login mode", nullptr},
};

class IniReadTest : public testing::TestWithParam<IniCase> {};

TEST_P(IniReadTest, ReadsAsHvIniIsRead) {
    const IniCase& c = GetParam();
    const IniFile ini = IniFile::fromText(QString::fromUtf8(c.text));
    const QString def = QStringLiteral("<default>");
    const QString expected = c.expected ? QString::fromUtf8(c.expected) : def;
    EXPECT_EQ(ini.readString(QString::fromUtf8(c.section), QString::fromUtf8(c.key), def), expected)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, IniReadTest, testing::ValuesIn(kIniCases));

TEST(IniFile, ValueIsCutTo2047Characters) {
    const QString longValue(3000, u'x');
    const IniFile ini = IniFile::fromText(u"[database]\ndatabase name=" + longValue + u"   \n");
    EXPECT_EQ(ini.readString(u"database"_s, u"database name"_s, {}), QString(2047, u'x'));
    const IniFile exact = IniFile::fromText(u"[database]\ndatabase name=" + QString(2047, u'y') + u"\n");
    EXPECT_EQ(exact.readString(u"database"_s, u"database name"_s, {}).size(), 2047);
}

TEST(IniFile, MissingFileGivesDefaults) {
    QTemporaryDir dir;
    const IniFile ini = IniFile::fromFile(dir.path() + u"/hv.ini");
    EXPECT_EQ(ini.readString(u"database"_s, u"login mode"_s, u"sql"_s), u"sql"_s);
}

TEST(IniFile, ReadsFileEncodings) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/hv.ini";
    const QString text = QStringLiteral("[database]\r\ndatabase name=考勤库\r\n");
    const struct {
        const char* what;
        QByteArray bytes;
    } files[] = {
        {"UTF-8", text.toUtf8()},
        {"UTF-8 with mark", QByteArray("\xEF\xBB\xBF") + text.toUtf8()},
        {"GB18030", QByteArray("[database]\r\ndatabase name=\xBF\xBC\xC7\xDA\xBF\xE2\r\n")},
    };
    for (const auto& f : files) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(f.bytes);
        file.close();
        EXPECT_EQ(IniFile::fromFile(path).readString(u"database"_s, u"database name"_s, {}), u"考勤库"_s)
            << f.what;
    }
}

}  // namespace
