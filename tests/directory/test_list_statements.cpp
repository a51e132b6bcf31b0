#include <gtest/gtest.h>

#include "db/sql_translator.h"
#include "directory/list_statements.h"

namespace orvelo {
namespace {

// The texts as the personnel system's other clients send them, blanks included.
const QString kActive = QStringLiteral(
    "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb "
    "性别,he.entrydate 入职日期 "
    "from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s where he.deptid=hd.deptid "
    "and "
    "he.leavedate is null and he.sex=s.textvalue");
const QString kDeparted = QStringLiteral(
    "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb "
    "性别,he.entrydate 入职日期,"
    "he.leavedate 离职日期 from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s  "
    "where "
    "he.deptid=hd.deptid and he.leavedate is not null and he.sex=s.textvalue");
const QString kDetails = QStringLiteral(
    "select ef.cardno 登记号码,s.gb  登记类型,t1.gb 权限 from equfinger ef,(select * from systxtset where "
    "texttype='BackupID') s,(select * from systxtset where  texttype='privilege') t1 where "
    "ef.backupid=s.textvalue "
    "and ef.privilege=t1.textvalue and ef.cardno=:登记号码");
const QString kDepartedLine1 = QStringLiteral(
    "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb "
    "性别,he.entrydate 入职日期,"
    "he.leavedate 离职日期 from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s");

TEST(ListStatements, ListTextsCharacterForCharacter) {
    EXPECT_EQ(activeListSql(), kActive);
    EXPECT_EQ(departedListSql(), kDeparted);
    EXPECT_EQ(enrollmentDetailSql(), kDetails);
}

struct SearchCase {
    const char16_t* keyword;
    const char16_t* literal;  // what stands between like and the next blank
};

class SearchStatements : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchStatements, ActiveTextIsOneLineWithoutBlankAfterLike) {
    const QString keyword = QString::fromUtf16(GetParam().keyword);
    const QString literal = QString::fromUtf16(GetParam().literal);
    EXPECT_EQ(activeSearchSql(keyword), kActive + u" and (hd.deptname like" + literal +
                                            u" or he.emplid like" + literal + u" or he.cardid like" +
                                            literal + u" or he.emplname like" + literal + u" )");
}

TEST_P(SearchStatements, DepartedTextIsTwoLinesWithOneBlankAfterLike) {
    const QString keyword = QString::fromUtf16(GetParam().keyword);
    const QString literal = QString::fromUtf16(GetParam().literal);
    const QStringList lines = departedSearchSql(keyword);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], kDepartedLine1);
    EXPECT_EQ(lines[1],
              u"where he.deptid=hd.deptid and he.leavedate is not null and he.sex=s.textvalue and "
              u"(hd.deptname like " +
                  literal + u" or he.emplid like " + literal + u" or he.cardid like " + literal +
                  u" or he.emplname like " + literal + u" )");
}

INSTANTIATE_TEST_SUITE_P(Keywords, SearchStatements,
                         ::testing::Values(SearchCase{u"abc", u"'%abc%'"},
                                           // Blanks around the keyword stay; wildcards pass as they are.
                                           SearchCase{u" 销售 ", u"'% 销售 %'"},
                                           SearchCase{u"1_3%", u"'%1_3%%'"},
                                           // A quote is doubled, so it cannot end the literal.
                                           SearchCase{u"O'Neil", u"'%O''Neil%'"},
                                           SearchCase{u"x' or 1=1 --", u"'%x'' or 1=1 --%'"}));

TEST(ListStatements, SearchTextOfThePlainKeywordAsWritten) {
    // The whole condition, as the operator's keyword K gives it.
    EXPECT_TRUE(activeSearchSql(QStringLiteral("K"))
                    .endsWith(u"he.sex=s.textvalue and (hd.deptname like'%K%' or he.emplid like'%K%' or "
                              u"he.cardid like'%K%' or he.emplname like'%K%' )"));
    EXPECT_TRUE(departedSearchSql(QStringLiteral("K"))
                    .at(1)
                    .endsWith(u"(hd.deptname like '%K%' or he.emplid like '%K%' or he.cardid like '%K%' or "
                              u"he.emplname like '%K%' )"));
}

// On SQLite the texts go through the translator: each stays one statement, unchanged, and its four
// keyword literals become bound values, the quote of O'Neil undoubled.
TEST(ListStatements, SearchTextsReachSqliteAsOneStatementWithFourKeywordValues) {
    const QString keyword = QStringLiteral("O'Neil");
    for (const QString& text : {activeSearchSql(keyword), departedSearchSql(keyword).join(u"\r\n")}) {
        const std::vector<sql::SqliteStatement> steps = sql::translateForSqlite(text);
        ASSERT_EQ(steps.size(), 1u) << text.toStdString();
        EXPECT_TRUE(steps[0].condition.isEmpty());
        EXPECT_EQ(steps[0].statement, text.trimmed());
        const std::optional<sql::CacheableText> shape = sql::toCacheable(steps[0].statement);
        ASSERT_TRUE(shape.has_value());
        QStringList values;
        for (const sql::BindSource& bind : shape->binds)
            if (!bind.isParameter && bind.literal != u"sex") values.append(bind.literal);
        EXPECT_EQ(values, QStringList(4, QStringLiteral("%O'Neil%"))) << shape->text.toStdString();
        EXPECT_TRUE(shape->text.contains(u"he.emplname like?") || shape->text.contains(u"he.emplname like ?"))
            << shape->text.toStdString();
    }
}

}  // namespace
}  // namespace orvelo
