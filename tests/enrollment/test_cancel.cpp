// The enrollment commands cancelled part-way (the window's 取消, orveloctl's SIGINT / SIGTERM): each
// stops before its next employee or user, ends as incomplete with a warning box that says so, lets
// the terminal go enabled, and a run after it does the rest.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

#include "core/cancellation.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_statements.h"
#include "enrollment/link_failure.h"
#include "tests/collection/qstring_printer.h"
#include "tests/enrollment/enrollment_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

constexpr int kPeople = 4;
constexpr int kBackups = 2;      // enrollments per person
constexpr int kCancelAfter = 2;  // people dealt with when the operator cancels

// equfinger rows, each (emplid, cardno, backupid) once.
int storedOnce(TestDatabase& db) {
    const int rows = db.rowCount(u"equfinger"_s);
    EXPECT_EQ(rows,
              db.scalar(u"select count(*) from (select distinct emplid, cardno, backupid from equfinger)"_s)
                  .toInt())
        << "an enrollment stored twice";
    return rows;
}

struct CancelCase {
    const char* name;
    std::function<CommandOutcome(CommandContext&)> command;
    // The call-log entry that begins each person's turn: the operator cancels at the
    // kCancelAfter-th of them, while that person is dealt with.
    QString turnBegins;
    bool disablesTerminal;
    // The upload's source: the enrollments of every person stored in the database beforehand.
    bool storedBeforehand;
    // The box of the cancelled run, kCancelAfter of kPeople done (all of them succeeded).
    QString cancelledBox;
    // The enrollments dealt with so far: kBackups for each person done.
    std::function<int(TestDatabase&, const ScriptedTerminalLibrary&)> enrollmentsDone;
};

class CancelledEnrollment : public EnrollmentCommandTest, public testing::WithParamInterface<CancelCase> {
protected:
    void SetUp() override {
        for (int enroll = 1; enroll <= kPeople; ++enroll) {
            const QString emplid = u"E%1"_s.arg(enroll);
            const QString cardid = u"%1"_s.arg(enroll, 5, 10, QChar(u'0'));
            selection.add(emplid, cardid, u"员工%1"_s.arg(enroll));
            terminal.userList.push_back({enroll, 0, 0});
            terminal.names[enroll] = u"员工%1"_s.arg(enroll).toUtf8();
            for (int b = 0; b < kBackups; ++b) {
                terminal.enrollments[{enroll, b}] = {0, 0, sampleTemplate(enroll * 10 + b)};
                if (GetParam().storedBeforehand)
                    db.addEnrollment(emplid, cardid, b, 0, u"0"_s,
                                     templateText(sampleTemplate(enroll * 10 + b)));
            }
        }
        terminal.status[2] = kPeople;
        ctx.cancellation = &cancellation;
    }

    Cancellation cancellation;
};

TEST_P(CancelledEnrollment, StopsBeforeTheNextPersonAndARunAfterItDoesTheRest) {
    const CancelCase& c = GetParam();
    int turns = 0;
    log.onAdd = [&](const QString& entry) {
        if (entry.startsWith(c.turnBegins) && ++turns == kCancelAfter) cancellation.request();
    };

    const CommandOutcome cancelled = c.command(ctx);

    EXPECT_EQ(cancelled.result, CommandOutcome::Result::Incomplete);
    EXPECT_EQ(cancelled.read, kCancelAfter);
    EXPECT_EQ(turns, kCancelAfter) << "a person's turn began after the cancellation";
    EXPECT_EQ(c.enrollmentsDone(db, terminal), kCancelAfter * kBackups);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, c.cancelledBox);
    EXPECT_TRUE(view.boxes[0].text.contains(u"已取消"_s));
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
    // The terminal is enabled again (the one command that reads without disabling it leaves it
    // alone), before the box, and let go after it.
    const qsizetype box = log.indexOf(u"box: "_s, true);
    if (c.disablesTerminal) {
        EXPECT_EQ(terminal.calls(u"FK_EnableDevice"_s),
                  (QStringList{u"FK_EnableDevice(1,0)"_s, u"FK_EnableDevice(1,1)"_s}));
        EXPECT_LT(log.indexOf(u"FK_EnableDevice(1,1)"_s), box);
    } else {
        EXPECT_TRUE(terminal.calls(u"FK_EnableDevice"_s).isEmpty());
    }
    EXPECT_GT(log.indexOf(u"FK_DisConnect(1)"_s), box);

    // Ready for the next command: it does everything, the rest included.
    log.onAdd = nullptr;
    cancellation.reset();
    view.boxes.clear();
    const CommandOutcome again = c.command(ctx);

    EXPECT_EQ(again.result, CommandOutcome::Result::Done);
    EXPECT_EQ(again.read, kPeople);
    EXPECT_EQ(c.enrollmentsDone(db, terminal), kPeople * kBackups);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_FALSE(view.boxes[0].text.contains(u"已取消"_s));
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CancelledEnrollment,
    testing::Values(
        CancelCase{"GetEntryInfo", [](CommandContext& ctx) { return btn_GetEntryInfoClick(ctx); },
                   u"current: "_s, false, false,
                   downloadCancelledLine(2, 4) + u"\n共获取注册信息2条；其中成功2条；失败0条！"_s,
                   [](TestDatabase& db, const ScriptedTerminalLibrary&) { return storedOnce(db); }},
        CancelCase{"GetAllEntryInfo", [](CommandContext& ctx) { return btn_GetAllEntryInfoClick(ctx); },
                   u"FK_GetUserName("_s, true, false, downloadAllCancelledLine(2, 4),
                   [](TestDatabase& db, const ScriptedTerminalLibrary&) {
                       // Every person downloaded is an employee, with its card.
                       EXPECT_EQ(db.rowCount(u"hremployee"_s) * kBackups, db.rowCount(u"equfinger"_s));
                       EXPECT_EQ(db.rowCount(u"equcard"_s), db.rowCount(u"hremployee"_s));
                       return storedOnce(db);
                   }},
        CancelCase{"WriteEntryInfo", [](CommandContext& ctx) { return btn_WriteEntryInfoClick(ctx); },
                   u"current: "_s, true, true,
                   uploadCancelledLine(2, 4) + u"\n共写入注册信息：2条;其中成功：2条，失败：0条！"_s,
                   [](TestDatabase&, const ScriptedTerminalLibrary& terminal) {
                       std::set<std::pair<int, int>> written;
                       for (const auto& put : terminal.puts)
                           written.insert({put.enrollNumber, put.backupNumber});
                       return int(written.size());
                   }},
        CancelCase{"DelEntryInfo", [](CommandContext& ctx) { return btn_DelEntryInfoClick(ctx); },
                   u"current: "_s, true, false,
                   deleteCancelledLine(2, 4) + u"\n共删除注册信息：2；其中成功：2条；失败：0条！"_s,
                   [](TestDatabase&, const ScriptedTerminalLibrary& terminal) {
                       return kPeople * kBackups - int(terminal.enrollments.size());
                   }}),
    [](const testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST(CancelledEnrollmentTexts, SayWhereTheCommandStoppedAndThatARunAfterItDoesTheRest) {
    EXPECT_EQ(downloadCancelledLine(2, 5),
              u"获取注册信息已取消，在获取2个人（共5个人）的注册信息后停止，其余人员的注册信息没有获取！"
              u"再次执行本命令可获取其余的注册信息。"_s);
    EXPECT_EQ(
        downloadAllCancelledLine(3, 7),
        u"获取全部注册信息已取消，在获取3个人（设备共有7个人）的注册信息后停止，其余人员的注册信息没有获取！"
        u"再次执行本命令可获取其余的注册信息。"_s);
    // A terminal that did not count its users.
    EXPECT_EQ(downloadAllCancelledLine(3, -1),
              u"获取全部注册信息已取消，在获取3个人的注册信息后停止，其余人员的注册信息没有获取！"
              u"再次执行本命令可获取其余的注册信息。"_s);
    EXPECT_EQ(uploadCancelledLine(1, 2),
              u"写入指纹及姓名已取消，在写入1个人（共2个人）后停止，其余的人员没有写入！"
              u"再次执行本命令可写入其余的人员。"_s);
    EXPECT_EQ(
        deleteCancelledLine(0, 9),
        u"删除注册信息已取消，在删除0个人（共9个人）的注册信息后停止，其余人员的注册信息没有从设备删除！"
        u"再次执行本命令可删除其余的注册信息。"_s);
}

}  // namespace
}  // namespace orvelo::test
