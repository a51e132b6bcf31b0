// orveloctl's list and the console selection of the enrollment commands, in process.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/command_table.h"
#include "cli/console_employee_selection.h"
#include "cli/console_operator_view.h"
#include "cli/orveloctl.h"
#include "core/errors.h"
#include "tests/directory/directory_fixture.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {
namespace {

using test::DirectoryFixture;

const QString kEmplid = u"人员编号"_s;

// A command of this test: what an enrollment command would visit, one 人员编号 per line.
const CommandRegistration kVisit{{
    .name = u"test-visit-selection"_s,
    .summary = u"test only"_s,
    .options = ConsoleEmployeeSelection::options(),
    .run =
        [](CommandInvocation& run) {
            ConsoleEmployeeSelection selection(run);
            run.context().selection = &selection;
            EmployeeSelection& chosen = *run.context().selection;
            const int n = chosen.count();
            for (int i = 0; i < n; ++i) {
                chosen.makeCurrent(i);
                run.console().printOutput(chosen.value(kEmplid).toString() + u'\n');
            }
        },
}};

QString readAll(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, qsizetype(n));
    return QString::fromUtf8(bytes);
}

struct Outcome {
    int status = -1;
    QStringList out;  // the lines, without the empty one after the last line end
    QString err;
};

class DirectoryCliTest : public ::testing::Test, public DirectoryFixture {
protected:
    Outcome run(const QStringList& arguments) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome outcome;
        outcome.status =
            runOrveloctl(QStringList{u"orveloctl"_s, u"--app-dir"_s, db.appDir()} + arguments, out, err);
        QString text = readAll(out);
        if (text.endsWith(u'\n')) text.chop(1);
        outcome.out = text.isEmpty() ? QStringList() : text.split(u'\n');
        outcome.err = readAll(err);
        std::fclose(out);
        std::fclose(err);
        return outcome;
    }
    // The 人员编号 of the shown list in its order, as the database gives it.
    QStringList listOrder(bool departed, const QString& keyword = {}) {
        ConsoleEmployeeSelection::Choice choice;
        choice.departed = departed;
        choice.searched = !keyword.isEmpty();
        choice.keyword = keyword;
        ConsoleEmployeeSelection shown(ctx, choice);
        return column(shown.shownList(), kEmplid);
    }
};

TEST_F(DirectoryCliTest, ListPrintsTitlesRowsAndDetailsTabSeparated) {
    const Outcome listed = run({u"list"_s});
    ASSERT_EQ(listed.status, kExitDone) << listed.err.toStdString();
    ASSERT_FALSE(listed.out.isEmpty());
    EXPECT_EQ(listed.out.first(), u"机构名称\t人员编号\t姓名\t登记号码\t性别\t入职日期"_s);
    QStringList rows;
    for (const QString& line : listed.out.mid(1))
        if (!line.startsWith(u'\t')) rows.append(line.section(u'\t', 1, 1));
    EXPECT_EQ(rows, listOrder(false));
    const qsizetype e001 = listed.out.indexOf(u"总部\tE001\t张三\t00001\t男\t2020-01-01"_s);
    ASSERT_GT(e001, 0);
    EXPECT_EQ(sorted(listed.out.mid(e001 + 1, 2)),
              (QStringList{u"\t00001\t卡号\t普通用户"_s, u"\t00001\t指纹0\t普通用户"_s}));
    // An employee whose only enrollment has no privilege text has no detail line.
    const qsizetype e003 = listed.out.indexOf(u"O'Neil Works\tE003\t王五\t00123\t男\t2020-01-01"_s);
    ASSERT_GT(e003, 0);
    EXPECT_TRUE(e003 + 1 == listed.out.size() || !listed.out.at(e003 + 1).startsWith(u'\t'));
}

TEST_F(DirectoryCliTest, ListOfTheDepartedNarrowedByAKeyword) {
    const Outcome listed = run({u"list"_s, u"--departed"_s, u"--keyword"_s, u"Sales"_s});
    ASSERT_EQ(listed.status, kExitDone) << listed.err.toStdString();
    EXPECT_EQ(listed.out, (QStringList{u"机构名称\t人员编号\t姓名\t登记号码\t性别\t入职日期\t离职日期"_s,
                                       u"East Sales\tD001\t钱一\t00101\t男\t2020-01-01\t2023-06-30"_s,
                                       u"\t00101\t密码\t超级管理员"_s}));
    // The name is searched too; a keyword of blanks lists everyone, as no keyword does.
    const Outcome byName = run({u"list"_s, u"--keyword"_s, u"Bob"_s});
    EXPECT_EQ(byName.out, (QStringList{u"机构名称\t人员编号\t姓名\t登记号码\t性别\t入职日期"_s,
                                       u"总部\tE004\tSalesman Bob\t00004\t男\t2020-01-01"_s}));
    const Outcome none = run({u"list"_s, u"--keyword"_s, u"nobody"_s});
    EXPECT_EQ(none.out, QStringList{u"机构名称\t人员编号\t姓名\t登记号码\t性别\t入职日期"_s});
    EXPECT_EQ(run({u"list"_s, u"--departed"_s, u"--keyword"_s, u"  "_s}).out,
              run({u"list"_s, u"--departed"_s}).out);
}

TEST_F(DirectoryCliTest, EmplidSelectsInListOrderAndNamesTheUnmatched) {
    const QStringList order = listOrder(false);
    // Given backwards, with blanks, one twice and one unknown.
    const QString ids = order.at(3) + u" , "_s + order.at(0) + u",X9,"_s + order.at(3);
    const Outcome visited = run({u"test-visit-selection"_s, u"--emplid"_s, ids});
    ASSERT_EQ(visited.status, kExitDone) << visited.err.toStdString();
    EXPECT_EQ(visited.out, (QStringList{order.at(0), order.at(3)}));
    EXPECT_TRUE(visited.err.contains(u"'X9'"_s)) << visited.err.toStdString();
    EXPECT_FALSE(visited.err.contains(order.at(0)));
}

TEST_F(DirectoryCliTest, AllSelectsEveryRowOfTheShownListAndNeitherSelectsNone) {
    EXPECT_EQ(run({u"test-visit-selection"_s, u"--all"_s}).out, listOrder(false));
    EXPECT_EQ(run({u"test-visit-selection"_s, u"--departed"_s, u"--all"_s}).out, listOrder(true));
    EXPECT_EQ(run({u"test-visit-selection"_s, u"--keyword"_s, u"Sales"_s, u"--all"_s}).out,
              listOrder(false, u"Sales"_s));
    const Outcome none = run({u"test-visit-selection"_s});
    EXPECT_EQ(none.status, kExitDone);
    EXPECT_TRUE(none.out.isEmpty());
    // Active employees are not in the departed list.
    const Outcome departed = run({u"test-visit-selection"_s, u"--departed"_s, u"--emplid"_s, u"E001,D002"_s});
    EXPECT_EQ(departed.out, QStringList{u"D002"_s});
    EXPECT_TRUE(departed.err.contains(u"'E001'"_s));
    EXPECT_EQ(run({u"test-visit-selection"_s, u"--all"_s, u"--emplid"_s, u"E001"_s}).status, kExitError);
}

TEST_F(DirectoryCliTest, TheEmployeeIdIsMatchedTrimmed) {
    db.addActiveEmployee(u"E010  "_s, u"00010"_s, u"尾空格"_s);
    ConsoleEmployeeSelection::Choice choice;
    choice.emplids = {u"E010"_s};
    ConsoleEmployeeSelection selection(ctx, choice);
    EXPECT_TRUE(selection.unmatched().isEmpty());
    ASSERT_EQ(selection.count(), 1);
    selection.makeCurrent(0);
    EXPECT_EQ(selection.value(u"姓名"_s).toString(), u"尾空格"_s);
    // The details follow the employee being worked on.
    EXPECT_EQ(data.qry_3.currentRow(), rowOf(data.qry_3, selection.value(kEmplid).toString()));
}

}  // namespace
}  // namespace orvelo::cli
