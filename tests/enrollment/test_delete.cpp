#include <gtest/gtest.h>

#include "core/errors.h"
#include "enrollment/enrollment_commands.h"
#include "tests/enrollment/enrollment_fixture.h"

namespace orvelo::test {
namespace {

const QString kCaption = QStringLiteral("删除注册信息");
const QString kRunningText = QStringLiteral("正在删除设备中的注册信息，请稍等......");

QStringList deletes(int handle, int enroll) {
    QStringList calls;
    for (int b = 0; b <= 10; ++b)
        calls << QStringLiteral("FK_DeleteEnrollData(%1,%2,%3)").arg(handle).arg(enroll).arg(b);
    return calls;
}

using DeleteTest = EnrollmentCommandTest;

TEST_F(DeleteTest, SequenceOfCallsStatusAndSummary) {
    terminal.enrollments[{12, 4}] = {0, 0, sampleTemplate(1)};  // one backup number only
    selection.add(QStringLiteral("E11"), QStringLiteral("11"));
    selection.add(QStringLiteral("E12"), QStringLiteral(" 00012 "));
    db.addEnrollment(QStringLiteral("E12"), QStringLiteral("00012"), 4);
    QString statusDuringBox;
    view.onMessageBox = [&](const RecordingOperatorView::Box&) { statusDuringBox = view.statusText; };

    btn_DelEntryInfoClick(ctx);

    QStringList expected = {QStringLiteral("status: ") + kRunningText, QStringLiteral("progress: 0 shown"),
                            QStringLiteral("FK_ConnectUSB(1)"), QStringLiteral("FK_EnableDevice(1,0)"),
                            QStringLiteral("current: 0")};
    expected << deletes(1, 11) << QStringLiteral("progress: 0 shown") << QStringLiteral("current: 1")
             << deletes(1, 12) << QStringLiteral("progress: 50 shown")
             << QStringLiteral("FK_EnableDevice(1,1)")
             << boxEntry(kCaption, QStringLiteral("共删除注册信息：2；其中成功：1条；失败：1条！"),
                         QStringLiteral("information"))
             << QStringLiteral("FK_DisConnect(1)") << QStringLiteral("progress: 0 hidden")
             << QStringLiteral("status: ");
    EXPECT_EQ(log.entries, expected);
    EXPECT_EQ(statusDuringBox, kRunningText);
    EXPECT_TRUE(terminal.enrollments.empty());
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 1);  // the database keeps its rows
}

TEST_F(DeleteTest, AllElevenCallsAreMadeAfterASuccess) {
    for (int b = 0; b <= 10; ++b) terminal.enrollments[{3, b}] = {0, 0, {}};
    selection.add(QStringLiteral("E3"), QStringLiteral("3"));
    selection.add(QStringLiteral("E4"), QStringLiteral("4"));
    terminal.enrollments[{4, 0}] = {0, 0, {}};
    terminal.enrollments[{5, 0}] = {0, 0, {}};  // not selected

    btn_DelEntryInfoClick(ctx);

    EXPECT_EQ(terminal.calls(QStringLiteral("FK_DeleteEnrollData")).size(), 22);
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0, 50, 100}));
    EXPECT_EQ(terminal.enrollments.size(), 1u);
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共删除注册信息：2；其中成功：2条；失败：0条！"));
}

TEST_F(DeleteTest, ARegistrationNumberThatIsNoNumberIsShownAndPassedOver) {
    terminal.enrollments[{2, 0}] = {0, 0, {}};
    selection.add(QStringLiteral("E1"), QString());
    selection.add(QStringLiteral("E2"), QStringLiteral("2"));

    btn_DelEntryInfoClick(ctx);

    EXPECT_EQ(view.errors, QStringList{QStringLiteral("'' is not a valid integer value.")});
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_DeleteEnrollData")), deletes(1, 2));
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0, 0, 50}));
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共删除注册信息：2；其中成功：1条；失败：1条！"));
    EXPECT_EQ(log.entries.mid(log.entries.size() - 3),
              (QStringList{QStringLiteral("FK_DisConnect(1)"), QStringLiteral("progress: 0 hidden"),
                           QStringLiteral("status: ")}));
}

TEST_F(DeleteTest, EmptySelection) {
    btn_DelEntryInfoClick(ctx);
    EXPECT_EQ(log.withPrefix(QStringLiteral("FK_")),
              (QStringList{QStringLiteral("FK_ConnectUSB(1)"), QStringLiteral("FK_EnableDevice(1,0)"),
                           QStringLiteral("FK_EnableDevice(1,1)"), QStringLiteral("FK_DisConnect(1)")}));
    EXPECT_EQ(view.boxes.back().text, QStringLiteral("共删除注册信息：0；其中成功：0条；失败：0条！"));
}

TEST_F(DeleteTest, FailedConnect) {
    panel.chooseTcpIp();
    panel.ipAddress = QStringLiteral("127.0.0.1");
    terminal.connectResult = 0;
    selection.add(QStringLiteral("E1"), QStringLiteral("1"));

    btn_DelEntryInfoClick(ctx);

    EXPECT_EQ(log.entries,
              (QStringList{QStringLiteral("status: ") + kRunningText, QStringLiteral("progress: 0 shown"),
                           QStringLiteral("FK_ConnectNet(1,\"127.0.0.1\",5005,5000,0,0)"),
                           boxEntry(kCaption, QStringLiteral("设备连接失败，请连接好设备后重试！"),
                                    QStringLiteral("warning")),
                           QStringLiteral("FK_DisConnect(0)"), QStringLiteral("progress: 0 hidden"),
                           QStringLiteral("status: ")}));
}

}  // namespace
}  // namespace orvelo::test
