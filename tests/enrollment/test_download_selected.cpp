#include <gtest/gtest.h>

#include "core/errors.h"
#include "enrollment/enrollment_commands.h"
#include "tests/enrollment/enrollment_fixture.h"

namespace orvelo::test {
namespace {

const QString kCaption = QStringLiteral("获取注册信息");
const QString kRunning = QStringLiteral("status: 正在从设备中获取注册信息,请稍等......");

class DownloadSelectedTest : public EnrollmentCommandTest {
protected:
    QList<QVariantMap> rowsOf(const QString& emplid) {
        return db.rows(
            QStringLiteral("select * from equfinger where emplid='%1' order by backupid").arg(emplid));
    }
};

TEST_F(DownloadSelectedTest, SequenceOfCallsStatusAndSummary) {
    terminal.enrollments[{5, 0}] = {0, 0, sampleTemplate(1)};
    terminal.enrollments[{5, 9}] = {0, 5001, {}};
    selection.add(QStringLiteral("00000005"), QStringLiteral("00005"));
    selection.add(QStringLiteral("00000006"), QStringLiteral("00006"));

    btn_GetEntryInfoClick(ctx);

    QStringList expected = {QStringLiteral("FK_ConnectUSB(1)"), kRunning, QStringLiteral("progress: 0 shown"),
                            QStringLiteral("current: 0")};
    expected << enrollReads(1, 5) << QStringLiteral("progress: 50 shown") << QStringLiteral("current: 1");
    expected << enrollReads(1, 6) << QStringLiteral("progress: 100 shown")
             << QStringLiteral("status: 获取完成.")
             << boxEntry(kCaption, QStringLiteral("共获取注册信息2条；其中成功1条；失败1条！"),
                         QStringLiteral("information"))
             // The summary comes before the disconnect; the terminal is never disabled.
             << QStringLiteral("FK_DisConnect(1)") << QStringLiteral("progress: 0 hidden")
             << QStringLiteral("status: ");
    EXPECT_EQ(log.entries, expected);
}

TEST_F(DownloadSelectedTest, StoresEveryDeliveredBackupNumberWith459Lines) {
    terminal.enrollments[{5, 0}] = {3, 0, sampleTemplate(1)};
    terminal.enrollments[{5, 9}] = {3, 5001, {}};
    terminal.enrollments[{5, 10}] = {3, -123, {}};
    // Blanks around the registration number are trimmed; the employee number is taken as it is.
    selection.add(QStringLiteral("00000005 "), QStringLiteral(" 00005 "));

    btn_GetEntryInfoClick(ctx);

    const auto rows = rowsOf(QStringLiteral("00000005 "));
    ASSERT_EQ(rows.size(), 3);
    std::vector<std::int32_t> expectedTemplate = sampleTemplate(1);
    expectedTemplate.push_back(0);  // the 459th value is never filled by the library
    const QString expectedText = [&] {
        QString t;
        for (std::int32_t v : expectedTemplate) t += QString::number(v) + QStringLiteral("\r\n");
        return t;
    }();
    EXPECT_EQ(rows[0].value(QStringLiteral("fingerdata")).toString(), expectedText);
    EXPECT_EQ(rows[1].value(QStringLiteral("fingerdata")).toString(),
              QString(QStringLiteral("0\r\n")).repeated(459));
    EXPECT_EQ(rows[1].value(QStringLiteral("pws")).toString(), QStringLiteral("5001"));
    EXPECT_EQ(rows[2].value(QStringLiteral("pws")).toString(), QStringLiteral("-123"));
    for (const auto& row : rows) {
        EXPECT_EQ(row.value(QStringLiteral("emplid")).toString(), QStringLiteral("00000005 "));
        EXPECT_EQ(row.value(QStringLiteral("cardno")).toString(), QStringLiteral("00005"));
        EXPECT_EQ(row.value(QStringLiteral("privilege")).toInt(), 3);
    }
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共获取注册信息1条；其中成功1条；失败0条！"));
}

TEST_F(DownloadSelectedTest, NothingEnrolledCountsFailedAndKeepsTheStoredRows) {
    db.addEnrollment(QStringLiteral("00000006"), QStringLiteral("00006"), 0, 0, QStringLiteral("0"),
                     QStringLiteral("1\r\n"));
    db.addEnrollment(QStringLiteral("00000005"), QStringLiteral("00005"), 1, 0, QStringLiteral("0"),
                     QStringLiteral("old\r\n"));
    terminal.enrollments[{5, 0}] = {0, 0, sampleTemplate(2)};
    selection.add(QStringLiteral("00000005"), QStringLiteral("00005"));
    selection.add(QStringLiteral("00000006"), QStringLiteral("00006"));

    btn_GetEntryInfoClick(ctx);

    EXPECT_EQ(rowsOf(QStringLiteral("00000006")).size(), 1);
    // Backup 1 was removed from the terminal since: its old row stays, only backup 0 is replaced.
    const auto rows = rowsOf(QStringLiteral("00000005"));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].value(QStringLiteral("fingerdata")).toString(), QStringLiteral("old\r\n"));
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共获取注册信息2条；其中成功1条；失败1条！"));
}

TEST_F(DownloadSelectedTest, CountsEmployeesAndTruncatesTheProgress) {
    for (int enroll = 1; enroll <= 3; ++enroll) {
        for (int b = 0; b < 3; ++b) terminal.enrollments[{enroll, b}] = {0, 0, sampleTemplate(enroll)};
        selection.add(QStringLiteral("E%1").arg(enroll), QString::number(enroll));
    }

    btn_GetEntryInfoClick(ctx);

    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0, 33, 66, 100}));
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共获取注册信息3条；其中成功3条；失败0条！"));
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 9);
}

TEST_F(DownloadSelectedTest, NoSelectionReadsNothing) {
    btn_GetEntryInfoClick(ctx);
    EXPECT_TRUE(terminal.calls(QStringLiteral("FK_GetEnrollData")).isEmpty());
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共获取注册信息0条；其中成功0条；失败0条！"));
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0}));

    ctx.selection = nullptr;
    btn_GetEntryInfoClick(ctx);
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共获取注册信息0条；其中成功0条；失败0条！"));
}

TEST_F(DownloadSelectedTest, FailedConnectStillDisconnects) {
    terminal.connectResult = -2;
    selection.add(QStringLiteral("E1"), QStringLiteral("1"));

    btn_GetEntryInfoClick(ctx);

    EXPECT_EQ(log.entries,
              (QStringList{QStringLiteral("FK_ConnectUSB(1)"), QStringLiteral("status: 获取完成."),
                           boxEntry(kCaption, QStringLiteral("设备连接失败，请连接好设备后重试！"),
                                    QStringLiteral("warning")),
                           QStringLiteral("FK_DisConnect(-2)"), QStringLiteral("progress: 0 hidden"),
                           QStringLiteral("status: ")}));
}

TEST_F(DownloadSelectedTest, AMachineNumberThatIsNoNumberCallsNothing) {
    panel.machineNo = QStringLiteral("m1");
    EXPECT_THROW(btn_GetEntryInfoClick(ctx), ConversionError);
    EXPECT_TRUE(log.withPrefix(QStringLiteral("FK_")).isEmpty());
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(DownloadSelectedTest, ErrorsStopTheRunButTheConnectionIsClosed) {
    struct Case {
        const char* name;
        QVariant secondCardid;
        bool refuseStore;
    };
    const Case cases[] = {
        {"registration number is no number", QStringLiteral("12a"), false},
        {"registration number is NULL", QVariant(), false},
        {"database refuses the store", QStringLiteral("2"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase fresh;
        log.entries.clear();
        view.boxes.clear();
        CommandContext run{view, panel, settings, terminal, fresh.data(), clock, fresh.appDir(), &selection};
        selection.rows.clear();
        terminal.enrollments.clear();
        terminal.enrollments[{1, 0}] = {0, 0, sampleTemplate(1)};
        terminal.enrollments[{2, 0}] = {0, 0, sampleTemplate(2)};
        selection.add(QStringLiteral("E1"), QStringLiteral("1"));
        selection.add(QStringLiteral("E2"), c.secondCardid);
        selection.add(QStringLiteral("E3"), QStringLiteral("3"));
        if (c.refuseStore)
            fresh.exec(
                QStringLiteral("create trigger refuse_e2 before insert on equfinger when new.emplid = 'E2' "
                               "begin select raise(abort, 'no room'); end"));

        EXPECT_THROW(btn_GetEntryInfoClick(run), Error);

        EXPECT_TRUE(view.boxes.empty());
        EXPECT_EQ(log.indexOf(QStringLiteral("current: 2")), -1);   // the rest is not processed
        EXPECT_EQ(fresh.rowCount(QStringLiteral("equfinger")), 1);  // what was stored before stays
        EXPECT_EQ(log.entries.mid(log.entries.size() - 3),
                  (QStringList{QStringLiteral("FK_DisConnect(1)"), QStringLiteral("progress: 0 hidden"),
                               QStringLiteral("status: ")}));
    }
}

TEST_F(DownloadSelectedTest, PrivilegeAndPasswordOfTheReadAreStored) {
    // The password is 0 at each employee's start; a read that delivers nothing leaves both as they were.
    terminal.enrollments[{1, 10}] = {2, 777, {}};
    terminal.enrollments[{2, 3}] = {0, 0, sampleTemplate(2)};
    selection.add(QStringLiteral("E1"), QStringLiteral("1"));
    selection.add(QStringLiteral("E2"), QStringLiteral("2"));

    btn_GetEntryInfoClick(ctx);

    EXPECT_EQ(db.scalar(QStringLiteral("select pws || '/' || privilege from equfinger where emplid='E1'"))
                  .toString(),
              QStringLiteral("777/2"));
    EXPECT_EQ(db.scalar(QStringLiteral("select pws || '/' || privilege from equfinger where emplid='E2'"))
                  .toString(),
              QStringLiteral("0/0"));
}

// --- a link that fails part-way ---------------------------------------------------------------

struct DownloadSelectedFault {
    const char* name;
    int failingRead;  // the FK_GetEnrollData call that fails (from 1), 0 for none
    std::int32_t failure;
    int employeesRead;
    int stored;
};

class DownloadSelectedFaultTest : public DownloadSelectedTest,
                                  public testing::WithParamInterface<DownloadSelectedFault> {};

TEST_P(DownloadSelectedFaultTest, KeepsWhatWasStoredAndTheNextRunStoresEachOnce) {
    const DownloadSelectedFault& c = GetParam();
    for (int enroll : {5, 6}) {
        terminal.enrollments[{enroll, 0}] = {0, 0, sampleTemplate(enroll)};
        terminal.enrollments[{enroll, 1}] = {0, 0, sampleTemplate(enroll + 10)};
        selection.add(QStringLiteral("0000000%1").arg(enroll), QStringLiteral("0000%1").arg(enroll));
    }
    if (c.failingRead) terminal.failingOperation = QStringLiteral("FK_GetEnrollData");
    terminal.failingCall = c.failingRead;
    terminal.failure = c.failure;

    const CommandOutcome outcome = btn_GetEntryInfoClick(ctx);

    EXPECT_EQ(outcome.read, c.employeesRead);
    EXPECT_EQ(outcome.stored, c.stored);
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), c.stored);
    // This command only reads: the terminal is never disabled.
    EXPECT_TRUE(terminal.calls(QStringLiteral("FK_EnableDevice")).isEmpty());
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_DisConnect")),
              QStringList{QStringLiteral("FK_DisConnect(1)")});
    ASSERT_EQ(view.boxes.size(), 1u);
    if (!c.failingRead) {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        EXPECT_EQ(view.boxes[0].text, QStringLiteral("共获取注册信息2条；其中成功2条；失败0条！"));
    } else {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
        EXPECT_EQ(view.boxes[0].text,
                  QStringLiteral("与设备的连接在获取%1个人的注册信息后中断，其余的注册信息没有获取！"
                                 "请连接好设备后再次执行本命令，获取其余的注册信息。")
                      .arg(c.employeesRead));
        // The walk stopped at the failed read.
        EXPECT_EQ(terminal.calls(QStringLiteral("FK_GetEnrollData")).size(), c.failingRead);
    }

    terminal.forcedResults.clear();
    EXPECT_EQ(btn_GetEntryInfoClick(ctx).stored, 4);
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 4);
    EXPECT_EQ(rowsOf(QStringLiteral("00000006")).size(), 2);
}

INSTANTIATE_TEST_SUITE_P(FaultPoints, DownloadSelectedFaultTest,
                         testing::Values(DownloadSelectedFault{"LinkHolds", 0, 0, 2, 4},
                                         DownloadSelectedFault{"FirstReadLost", 1, -2, 0, 0},
                                         DownloadSelectedFault{"SecondEmployeesSecondReadDamaged", 13, -3, 1,
                                                               3},
                                         DownloadSelectedFault{"LastReadLost", 22, -2, 1, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvelo::test
