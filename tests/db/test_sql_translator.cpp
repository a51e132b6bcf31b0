// The shape of a statement, as text: which literals are values (and leave the text as bound
// values) and which belong to the statement itself.
#include <gtest/gtest.h>

#include "db/sql_translator.h"

using namespace Qt::StringLiterals;

namespace orvelo::sql {
namespace {

// A bind as "p:name" for a parameter, "v:value" for a literal value.
QStringList bindTexts(const CacheableText& shape) {
    QStringList out;
    for (const BindSource& b : shape.binds)
        out.append(b.isParameter ? u"p:"_s + b.parameter : u"v:"_s + b.literal);
    return out;
}

TEST(SqlTranslator, ShapesOfStatements) {
    const struct {
        QString text;
        QString shape;
        QStringList binds;
    } cases[] = {
        {u"select emplid from HrEmployee where cardid='00123'"_s,
         u"select emplid from HrEmployee where cardid=?"_s,
         {u"v:00123"_s}},
        // A quote inside a value is doubled in the text and single in the bound value.
        {u"delete from t where a='O''Neil' and b=:x"_s,
         u"delete from t where a=? and b=?"_s,
         {u"v:O'Neil"_s, u"p:x"_s}},
        // A literal that names a column, or stands after a word other than LIKE, stays.
        {u"select 'a' as c from t where n like 'x%'"_s,
         u"select 'a' as c from t where n like ?"_s,
         {u"v:x%"_s}},
        {u"insert t (a,b) values ('1','2')"_s, u"insert t (a,b) values (?,?)"_s, {u"v:1"_s, u"v:2"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const auto shape = toCacheable(c.text);
        ASSERT_TRUE(shape.has_value());
        EXPECT_EQ(shape->text, c.shape);
        EXPECT_EQ(bindTexts(*shape), c.binds);
    }
}

TEST(SqlTranslator, OnlyDataStatementsHaveAShape) {
    for (const QString& text : {u"create table t (a text default 'x')"_s, u"if exists (select 1) delete t"_s,
                                u"-- only a comment"_s, QString()})
        EXPECT_FALSE(toCacheable(text).has_value()) << text.toStdString();
}

TEST(SqlTranslator, MarksCountedOutsideLiteralsAndComments) {
    EXPECT_EQ(countMarks(u"select ? , '?' from t where a=? -- ?"_s), 2u);
    EXPECT_EQ(countMarks(u"select 1"_s), 0u);
}

TEST(SqlTranslator, ScriptSplitsOnlyAtSemicolons) {
    EXPECT_EQ(splitScript(u"create table a (x int);\ninsert into a values (1)\nselect 1;;"_s),
              (QStringList{u"create table a (x int)"_s, u"insert into a values (1)\nselect 1"_s}));
}

}  // namespace
}  // namespace orvelo::sql
