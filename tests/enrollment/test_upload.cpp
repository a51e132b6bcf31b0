#include <gtest/gtest.h>

#include "core/errors.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_statements.h"
#include "tests/enrollment/enrollment_fixture.h"

namespace orvelo::test {
namespace {

const QString kCaption = QStringLiteral("写入指纹及姓名");

class UploadTest : public EnrollmentCommandTest {
protected:
    // A stored enrollment as the downloads write it.
    void store(const QString& emplid, const QString& cardno, int backup, int privilege, int password,
               const std::vector<std::int32_t>& values) {
        db.addEnrollment(emplid, cardno, backup, privilege, QString::number(password), templateText(values));
    }
};

TEST_F(UploadTest, SequenceOfCallsStatusAndSummary) {
    store(QStringLiteral("E12"), QStringLiteral("00012"), 0, 1, 0, sampleTemplate(1));
    store(QStringLiteral("E12"), QStringLiteral("00012"), 9, 1, 5001, std::vector<std::int32_t>(458, 0));
    selection.add(QStringLiteral("E12"), QStringLiteral("00012"), QStringLiteral("张三"));
    QString statusDuringBox;
    view.onMessageBox = [&](const RecordingOperatorView::Box&) { statusDuringBox = view.statusText; };

    btn_WriteEntryInfoClick(ctx);

    EXPECT_EQ(
        log.entries,
        (QStringList{
            QStringLiteral("progress: 0 shown"), QStringLiteral("FK_ConnectUSB(1)"),
            QStringLiteral("FK_EnableDevice(1,0)"), QStringLiteral("current: 0"),
            QStringLiteral("FK_PutEnrollData(1,12,0,1,0)"), QStringLiteral("FK_PutEnrollData(1,12,9,1,5001)"),
            QStringLiteral("FK_SetUserName(1,12,\"张三\")"), QStringLiteral("progress: 100 shown"),
            QStringLiteral("FK_EnableDevice(1,1)"), QStringLiteral("status: 写入注册信息到设备完成！"),
            boxEntry(kCaption, QStringLiteral("共写入注册信息：1条;其中成功：1条，失败：0条！"),
                     QStringLiteral("information")),
            QStringLiteral("FK_DisConnect(1)"), QStringLiteral("progress: 0 hidden"),
            QStringLiteral("status: ")}));
    EXPECT_EQ(statusDuringBox, QStringLiteral("写入注册信息到设备完成！"));
    ASSERT_EQ(terminal.puts.size(), 2u);
    EXPECT_EQ(terminal.puts[0].templateValues, sampleTemplate(1));
    EXPECT_EQ(terminal.names[12], QByteArray("张三"));
}

TEST_F(UploadTest, FourEmployeesOfWhichTheSecondFails) {
    for (int enroll = 1; enroll <= 4; ++enroll)
        selection.add(QStringLiteral("E%1").arg(enroll), QString::number(enroll),
                      QStringLiteral("员工%1").arg(enroll));
    store(QStringLiteral("E2"), QStringLiteral("2"), 0, 0, 0, sampleTemplate(2));
    terminal.refusedPuts.insert({2, 0});
    terminal.refusedNames.insert(2);

    btn_WriteEntryInfoClick(ctx);

    // The progress follows the succeeded employees, not the processed ones.
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0, 25, 25, 50, 75}));
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共写入注册信息：4条;其中成功：3条，失败：1条！"));
}

TEST_F(UploadTest, WhatCountsAsSucceeded) {
    struct Case {
        const char* name;
        bool stored;
        bool putRefused;
        bool nameRefused;
        bool succeeded;
    };
    const Case cases[] = {
        {"no stored row, name accepted", false, false, false, true},
        {"no stored row, name refused", false, false, true, false},
        // Every write must be accepted: a half-written employee is not written.
        {"rows refused, name accepted", true, true, false, false},
        {"row accepted, name refused", true, false, true, false},
        {"all accepted", true, false, false, true},
        {"all refused", true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase fresh;
        CommandContext run{view, panel, settings, terminal, fresh.data(), clock, fresh.appDir(), &selection};
        selection.rows.clear();
        terminal.refusedPuts.clear();
        terminal.refusedNames.clear();
        selection.add(QStringLiteral("E7"), QStringLiteral("00007"), QStringLiteral("七"));
        if (c.stored)
            fresh.addEnrollment(QStringLiteral("E7"), QStringLiteral("00007"), 0, 0, QStringLiteral("0"),
                                templateText(sampleTemplate(7)));
        if (c.putRefused) terminal.refusedPuts.insert({7, 0});
        if (c.nameRefused) terminal.refusedNames.insert(7);

        btn_WriteEntryInfoClick(run);

        EXPECT_EQ(view.boxes.back().text,
                  c.succeeded ? QStringLiteral("共写入注册信息：1条;其中成功：1条，失败：0条！")
                              : QStringLiteral("共写入注册信息：1条;其中成功：0条，失败：1条！"));
    }
}

TEST_F(UploadTest, RowsAreMatchedByTheTrimmedRegistrationTextUnchanged) {
    store(QStringLiteral("E12"), QStringLiteral("00012"), 0, 0, 0, sampleTemplate(1));
    store(QStringLiteral("E12"), QStringLiteral("12"), 1, 0, 0, sampleTemplate(2));     // renumbered since
    store(QStringLiteral("X12"), QStringLiteral("00012"), 2, 0, 0, sampleTemplate(3));  // another employee
    selection.add(QStringLiteral("E12"), QStringLiteral(" 00012"), QStringLiteral("甲"));

    btn_WriteEntryInfoClick(ctx);

    EXPECT_EQ(db.data().qry_1.sql(),
              QStringLiteral("select * from equfinger where emplid='E12' and cardno='00012'\r\n"));
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_PutEnrollData")),
              QStringList{QStringLiteral("FK_PutEnrollData(1,12,0,0,0)")});
}

TEST_F(UploadTest, A459LineTemplateSendsItsFirst458Values) {
    std::vector<std::int32_t> values = sampleTemplate(5, 459);
    values.back() = 424242;
    store(QStringLiteral("E5"), QStringLiteral("00005"), 0, 0, 0, values);
    selection.add(QStringLiteral("E5"), QStringLiteral("00005"), QStringLiteral("五"));

    btn_WriteEntryInfoClick(ctx);

    ASSERT_EQ(terminal.puts.size(), 1u);
    values.pop_back();
    EXPECT_EQ(terminal.puts[0].templateValues, values);
}

TEST_F(UploadTest, UnreadableEmployeesAreShownCountedFailedAndPassedOver) {
    store(QStringLiteral("E2"), QStringLiteral("00002"), 0, 0, 0, sampleTemplate(2));
    db.addEnrollment(QStringLiteral("E2"), QStringLiteral("00002"), 1, 0, QStringLiteral("0"),
                     QStringLiteral("1\r\n2\r\n3\r\n"));
    db.addEnrollment(QStringLiteral("E3"), QStringLiteral("00003"), 0, 0, QStringLiteral("x"),
                     templateText(sampleTemplate(3)));
    selection.add(QStringLiteral("E1"), QStringLiteral("abc"), QStringLiteral("一"));
    selection.add(QStringLiteral("E2"), QStringLiteral("00002"), QStringLiteral("二"));
    selection.add(QStringLiteral("E3"), QStringLiteral("00003"), QStringLiteral("三"));
    selection.add(QStringLiteral("E4"), QStringLiteral("00004"), QStringLiteral("四"));

    btn_WriteEntryInfoClick(ctx);

    EXPECT_EQ(view.errors, (QStringList{QStringLiteral("'abc' is not a valid integer value."),
                                        QStringLiteral("List index out of bounds (3)"),
                                        QStringLiteral("'x' is not a valid integer value.")}));
    // Nothing of an unreadable employee reaches the terminal, not even its name.
    EXPECT_TRUE(terminal.puts.empty());
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_SetUserName")),
              QStringList{QStringLiteral("FK_SetUserName(1,4,\"四\")")});
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0, 0, 0, 0, 25}));
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共写入注册信息：4条;其中成功：1条，失败：3条！"));
    // The error box comes before the next employee's turn.
    EXPECT_LT(log.indexOf(QStringLiteral("error: 'abc' is not a valid integer value.")),
              log.indexOf(QStringLiteral("current: 1")));
}

TEST_F(UploadTest, ADatabaseErrorStopsTheRunAndReleasesTheTerminal) {
    selection.add(QStringLiteral("E1"), QStringLiteral("1"), QStringLiteral("一"));
    selection.add(QStringLiteral("E2"), QStringLiteral("2"), QStringLiteral("二"));
    db.exec(QStringLiteral("drop table equfinger"));

    EXPECT_THROW(btn_WriteEntryInfoClick(ctx), DatabaseError);

    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(view.errors.isEmpty());  // the caller's guard shows it, once
    EXPECT_EQ(log.indexOf(QStringLiteral("current: 1")), -1);
    EXPECT_EQ(log.entries.mid(log.entries.size() - 4),
              (QStringList{QStringLiteral("FK_EnableDevice(1,1)"), QStringLiteral("FK_DisConnect(1)"),
                           QStringLiteral("progress: 0 hidden"), QStringLiteral("status: ")}));
}

TEST_F(UploadTest, EmptySelectionConnectsDisablesAndEnables) {
    btn_WriteEntryInfoClick(ctx);

    EXPECT_EQ(log.withPrefix(QStringLiteral("FK_")),
              (QStringList{QStringLiteral("FK_ConnectUSB(1)"), QStringLiteral("FK_EnableDevice(1,0)"),
                           QStringLiteral("FK_EnableDevice(1,1)"), QStringLiteral("FK_DisConnect(1)")}));
    EXPECT_TRUE(db.data().qry_1.sql().isEmpty());
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共写入注册信息：0条;其中成功：0条，失败：0条！"));
}

TEST_F(UploadTest, FailedConnect) {
    terminal.connectResult = 0;
    selection.add(QStringLiteral("E1"), QStringLiteral("1"), QStringLiteral("一"));

    btn_WriteEntryInfoClick(ctx);

    EXPECT_EQ(log.entries,
              (QStringList{QStringLiteral("progress: 0 shown"), QStringLiteral("FK_ConnectUSB(1)"),
                           boxEntry(kCaption, QStringLiteral("设备连接失败，请连接好设备后重试！"),
                                    QStringLiteral("warning")),
                           QStringLiteral("FK_DisConnect(0)"), QStringLiteral("progress: 0 hidden"),
                           QStringLiteral("status: ")}));
}

TEST_F(UploadTest, AnEmptyNameGoesAsANullText) {
    selection.add(QStringLiteral("E1"), QStringLiteral("1"), QVariant());
    btn_WriteEntryInfoClick(ctx);
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_SetUserName")),
              QStringList{QStringLiteral("FK_SetUserName(1,1,null)")});
}

// --- a link that fails part-way ---------------------------------------------------------------

struct UploadFault {
    const char* name;
    const char* operation;  // empty: the link holds
    int call;
    std::int32_t failure;
    int written;  // employees written whole before the failure
};

class UploadFaultTest : public UploadTest, public testing::WithParamInterface<UploadFault> {};

TEST_P(UploadFaultTest, StopsAtTheFailureAndTheNextRunWritesEveryone) {
    const UploadFault& c = GetParam();
    for (int enroll = 1; enroll <= 3; ++enroll) {
        const QString emplid = QStringLiteral("E%1").arg(enroll);
        selection.add(emplid, QString::number(enroll), QStringLiteral("员工%1").arg(enroll));
        store(emplid, QString::number(enroll), 0, 0, 0, sampleTemplate(enroll));
        store(emplid, QString::number(enroll), 1, 0, 0, sampleTemplate(enroll + 10));
    }
    terminal.failingOperation = QString::fromLatin1(c.operation);
    terminal.failingCall = c.call;
    terminal.failure = c.failure;

    const CommandOutcome outcome = btn_WriteEntryInfoClick(ctx);

    EXPECT_EQ(outcome.stored, c.written);
    EXPECT_EQ(outcome.rejected, 0);
    const QStringList enables = terminal.calls(QStringLiteral("FK_EnableDevice"));
    ASSERT_FALSE(enables.isEmpty());
    EXPECT_EQ(enables.last(), QStringLiteral("FK_EnableDevice(1,1)"));
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_DisConnect")),
              QStringList{QStringLiteral("FK_DisConnect(1)")});
    ASSERT_EQ(view.boxes.size(), 1u);
    if (!*c.operation) {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        EXPECT_EQ(view.boxes[0].text, QStringLiteral("共写入注册信息：3条;其中成功：3条，失败：0条！"));
    } else {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
        EXPECT_EQ(outcome.read, c.written);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
        EXPECT_EQ(view.boxes[0].text,
                  QStringLiteral("与设备的连接在写入%1个人的注册信息后中断，其余的人员没有写入！"
                                 "请连接好设备后再次执行本命令，写入其余的人员。")
                      .arg(c.written));
        // Nothing was tried after the failure but the terminal's release.
        const QStringList calls = log.entries.filter(QStringLiteral("FK_"));
        qsizetype failed = calls.size() - 1;
        while (failed >= 0 && !calls[failed].startsWith(QStringLiteral("FK_PutEnrollData")) &&
               !calls[failed].startsWith(QStringLiteral("FK_SetUserName")))
            --failed;
        EXPECT_EQ(calls.mid(failed + 1).join(u' '), QStringLiteral("FK_EnableDevice(1,1) FK_DisConnect(1)"));
    }

    terminal.forcedResults.clear();
    view.boxes.clear();
    EXPECT_EQ(btn_WriteEntryInfoClick(ctx).stored, 3);
    for (int enroll = 1; enroll <= 3; ++enroll) {
        EXPECT_EQ(terminal.names[enroll], QStringLiteral("员工%1").arg(enroll).toUtf8());
        EXPECT_EQ(terminal.enrollments.at({enroll, 1}).templateValues, sampleTemplate(enroll + 10));
    }
}

INSTANTIATE_TEST_SUITE_P(FaultPoints, UploadFaultTest,
                         testing::Values(UploadFault{"LinkHolds", "", 0, 0, 3},
                                         UploadFault{"FirstEnrollmentLost", "FK_PutEnrollData", 1, -2, 0},
                                         UploadFault{"SecondNameLost", "FK_SetUserName", 2, -2, 1},
                                         UploadFault{"LastEnrollmentDamaged", "FK_PutEnrollData", 6, -3, 2},
                                         UploadFault{"LastNameLost", "FK_SetUserName", 3, -2, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UploadTest, ANameTheTerminalCannotKeepPassesTheEmployeeOverWithAReason) {
    const QString thirteen = QStringLiteral("欧阳一二三四五六七八九十丙");  // 39 bytes of UTF-8
    const struct {
        const char* name;
        QString employeeName;
        const char* reason;  // null: written
    } cases[] = {
        {"13 CJK characters fill the field", thirteen, nullptr},
        {"39 ASCII characters", QString(39, u'a'), nullptr},
        {"40 ASCII characters", QString(40, u'a'), "长度超过设备的39个字节"},
        {"14 CJK characters", thirteen + u'乙', "长度超过设备的39个字节"},
        {"a tab", QStringLiteral("张\t三"), "含有控制字符"},
        {"a line break", QStringLiteral("张三\n"), "含有控制字符"},
        {"a carriage return", QStringLiteral("\r张三"), "含有控制字符"},
        {"a DEL", QStringLiteral("张三\x7f"), "含有控制字符"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase fresh;
        CommandContext run{view, panel, settings, terminal, fresh.data(), clock, fresh.appDir(), &selection};
        selection.rows.clear();
        terminal.puts.clear();
        terminal.names.clear();
        view.mmo1.clear();
        view.boxes.clear();
        selection.add(QStringLiteral("E7"), QStringLiteral("00007"), c.employeeName);
        selection.add(QStringLiteral("E8"), QStringLiteral("00008"), QStringLiteral("八"));
        fresh.addEnrollment(QStringLiteral("E7"), QStringLiteral("00007"), 0, 0, QStringLiteral("0"),
                            templateText(sampleTemplate(7)));

        const CommandOutcome outcome = btn_WriteEntryInfoClick(run);

        // The other employee goes all the same.
        EXPECT_EQ(terminal.names[8], QByteArray("八"));
        if (!c.reason) {
            EXPECT_EQ(outcome.stored, 2);
            EXPECT_EQ(terminal.names[7], c.employeeName.toUtf8());
            EXPECT_TRUE(view.mmo1.isEmpty());
            continue;
        }
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        EXPECT_EQ(outcome.stored, 1);
        EXPECT_EQ(outcome.rejected, 1);
        // Nothing of the employee reached the terminal: no enrollment without its name.
        EXPECT_EQ(terminal.names.count(7), 0u);
        EXPECT_TRUE(terminal.puts.empty());
        EXPECT_EQ(view.mmo1,
                  QStringList{QStringLiteral("人员E7（登记号码00007）的姓名") + QString::fromUtf8(c.reason) +
                              QStringLiteral("，设备无法保存，该人员没有写入设备！")});
        EXPECT_EQ(view.boxes.back().text, QStringLiteral("共写入注册信息：2条;其中成功：1条，失败：1条！"));
    }
}

}  // namespace
}  // namespace orvelo::test
