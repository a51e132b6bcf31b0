#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/errors.h"
#include "enrollment/enrollment_statements.h"

namespace orvelo {
namespace {

TEST(TemplateText, EveryValueIsFollowedByCrLf) {
    const std::vector<std::int32_t> values = {12, -3, 0};
    const QByteArray bytes = templateText(values).toLatin1();
    EXPECT_EQ(bytes, QByteArray::fromHex("31320D0A2D330D0A300D0A"));
}

TEST(TemplateText, ExtremeValuesKeepTheirSign) {
    const std::vector<std::int32_t> values = {-2147483647 - 1, 2147483647, -1, 7};
    EXPECT_EQ(templateText(values), QStringLiteral("-2147483648\r\n2147483647\r\n-1\r\n7\r\n"));
}

TEST(TemplateText, ZerosGiveThreeBytesEach) {
    EXPECT_EQ(templateText(std::vector<std::int32_t>(458, 0)).size(), 1374);
    EXPECT_EQ(templateText(std::vector<std::int32_t>(459, 0)).size(), 1377);
    EXPECT_TRUE(templateText({}).isEmpty());
}

TEST(EnrollmentStoreStatements, MatchTheExample) {
    EXPECT_EQ(
        enrollmentDeleteLine(QStringLiteral("00000123"), 123, 0),
        QStringLiteral("delete  from  equfinger   where emplid='00000123'and cardno='00123'and backupid=0"));
    EXPECT_EQ(enrollmentInsertLine(QStringLiteral("00000123"), 123, 0, 0, 0),
              QStringLiteral("insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values("
                             "'00000123','00123',0,0,'0',:fpdata)"));
}

TEST(EnrollmentStoreStatements, NumbersAndQuotes) {
    struct Case {
        const char* employee;
        std::int32_t enroll, backup, privilege, password;
        const char* deleteLine;
        const char* insertLine;
    };
    const Case cases[] = {
        {"E1", 7, 10, -1, -5, "delete  from  equfinger   where emplid='E1'and cardno='00007'and backupid=10",
         "insert equfinger "
         "(emplid,cardno,backupid,privilege,pws,fingerdata)values('E1','00007',10,-1,'-5',:fpdata)"},
        {"00123456", 123456, 9, 3, 5001,
         "delete  from  equfinger   where emplid='00123456'and cardno='123456'and backupid=9",
         "insert equfinger "
         "(emplid,cardno,backupid,privilege,pws,fingerdata)values('00123456','123456',9,3,'5001',"
         ":fpdata)"},
        // Trailing blanks stay; a quote is doubled, so it cannot end the literal.
        {"O'Hara  ", 1, 0, 0, 0,
         "delete  from  equfinger   where emplid='O''Hara  'and cardno='00001'and backupid=0",
         "insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values('O''Hara  "
         "','00001',0,0,'0',"
         ":fpdata)"},
    };
    for (const Case& c : cases) {
        const QString employee = QString::fromUtf8(c.employee);
        EXPECT_EQ(enrollmentDeleteLine(employee, c.enroll, c.backup), QString::fromUtf8(c.deleteLine));
        EXPECT_EQ(enrollmentInsertLine(employee, c.enroll, c.backup, c.privilege, c.password),
                  QString::fromUtf8(c.insertLine));
    }
}

TEST(DownloadAllStatements, MatchTheExample) {
    const QString now = QStringLiteral("2024-05-06 07:08:09");
    EXPECT_EQ(defaultDepartmentStatement(),
              QStringLiteral("if not exists (select * from hrdept where deptid='01') insert hrdept "
                             "(deptid,deptno,deptname) values('01','01','01')"));
    EXPECT_EQ(employeeLookupStatement(123), QStringLiteral("select * from hremployee where cardid='00123'"));
    EXPECT_EQ(
        newEmployeeLine(123, QStringLiteral("00000123"), now, now),
        QStringLiteral("INSERT INTO hremployee(EmplID,workid, Cardid,deptid,emplname,sex,married,identityid,"
                       "password,teamid,shiftid,weekendid,entrydate,leaveyn,remark,lastoperid,lastoperdate)"
                       "VALUES ('00000123','000123','00123','01','00000123',0,0,'','','','','','2024-05-06',"
                       "0,'','sa','2024-05-06 07:08:09')"));
    EXPECT_EQ(
        newCardLine(123, now),
        QStringLiteral("insert into equcard(cardno,emplid,cardtype,cardstatus,operdate,operid,personverify)"
                       "values('00123','00000123','C001','1','2024-05-06 07:08:09','sa','')"));
    EXPECT_EQ(employeeNameUpdateStatement(QStringLiteral("00000123"), 123),
              QStringLiteral("update hremployee set emplname='00000123' where cardid='00123'"));
}

TEST(DownloadAllStatements, FormatsPadAndNeverCut) {
    const QString now = QStringLiteral("2024-05-06 07:08:09");
    const QString line =
        newEmployeeLine(123456, QStringLiteral("张三"), QStringLiteral("2024-05-06 23:59:59"), now);
    EXPECT_TRUE(
        line.endsWith(QStringLiteral("VALUES ('00123456','123456','123456','01','张三',0,0,'','','','',"
                                     "'','2024-05-06',0,'','sa','2024-05-06 07:08:09')")))
        << line.toStdString();
    EXPECT_EQ(
        newCardLine(123456, now),
        QStringLiteral("insert into equcard(cardno,emplid,cardtype,cardstatus,operdate,operid,personverify)"
                       "values('123456','00123456','C001','1','2024-05-06 07:08:09','sa','')"));
    EXPECT_EQ(employeeNameUpdateStatement(QStringLiteral("D'Arcy"), 5),
              QStringLiteral("update hremployee set emplname='D''Arcy' where cardid='00005'"));
}

TEST(UploadStatement, MatchesTheRegistrationTextUnchanged) {
    EXPECT_EQ(storedEnrollmentsStatement(QStringLiteral("00000012 "), QStringLiteral("00012")),
              QStringLiteral("select * from equfinger where emplid='00000012 ' and cardno='00012'"));
    EXPECT_EQ(storedEnrollmentsStatement(QStringLiteral("a'b"), QStringLiteral("1'2")),
              QStringLiteral("select * from equfinger where emplid='a''b' and cardno='1''2'"));
}

TEST(ReadTemplateText, TakesTheFirstLinesOnly) {
    std::vector<std::int32_t> values(459);
    for (int i = 0; i < 459; ++i) values[std::size_t(i)] = (i % 2 ? -1 : 1) * (i * 1000 + 1);
    std::array<std::int32_t, 458> buffer{};
    readTemplateText(templateText(values), buffer);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), values.begin()));
}

TEST(ReadTemplateText, LineEnds) {
    struct Case {
        const char* text;
        std::vector<std::int32_t> expected;
    };
    const Case cases[] = {
        {"1\r\n-2\r\n3", {1, -2, 3}},  // no line end after the last
        {"1\n-2\n3\n", {1, -2, 3}},    // LF only
        {"1\r-2\r3\r", {1, -2, 3}},    // CR only
        {"1\r\n2\r\n3\r\n4\r\n", {1, 2, 3}},
        {" 5\r\n$10\r\n+7\r\n", {5, 16, 7}},  // the other forms a typed number may take
    };
    for (const Case& c : cases) {
        std::vector<std::int32_t> buffer(c.expected.size(), 99);
        readTemplateText(QString::fromUtf8(c.text), buffer);
        EXPECT_EQ(buffer, c.expected) << c.text;
    }
}

TEST(ReadTemplateText, UnreadableTexts) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"1\r\n2\r\n", "List index out of bounds (2)"},
        {"", "List index out of bounds (0)"},
        {"1\r\n\r\n3\r\n", "'' is not a valid integer value"},  // an empty line in the middle
        {"1\r\nabc\r\n3\r\n", "'abc' is not a valid integer value"},
        {"1\r\n2147483648\r\n3\r\n", "'2147483648' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        std::vector<std::int32_t> buffer(3);
        try {
            readTemplateText(QString::fromUtf8(c.text), buffer);
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.text(), QString::fromUtf8(c.error));
        }
    }
}

}  // namespace
}  // namespace orvelo
