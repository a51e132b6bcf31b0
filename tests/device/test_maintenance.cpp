#include <gtest/gtest.h>

#include <functional>

#include "access/connection.h"
#include "context/command_context.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "db/data_module.h"
#include "device/maintenance.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/link_failing_terminal.h"
#include "tests/support/recording_operator_view.h"
#include "tests/support/scripted_terminal_library.h"

namespace orvelo {
namespace {

using test::CallLog;
using test::FixedClock;
using test::RecordingOperatorView;
using test::ScriptedTerminalLibrary;

using Command = std::function<void(CommandContext&)>;

std::string joined(const QStringList& lines) {
    return lines.join(u'\n').toStdString();
}

// A clock that moves one second further every time it is read.
class TickingClock : public Clock {
public:
    explicit TickingClock(DateTimeValue start) : m_next(start) {}
    DateTimeValue now() const override {
        ++reads;
        const DateTimeValue value = m_next;
        m_next += 1.0 / 86400;
        return value;
    }
    mutable int reads = 0;

private:
    mutable DateTimeValue m_next;
};

class MaintenanceTest : public ::testing::Test {
protected:
    MaintenanceTest() {
        // Machine number and handle differ, so every call shows which of the two it was given.
        panel.machineNo = QStringLiteral("3");
        terminal.connectResult = 9;
    }

    void run(Command command) { command(ctx); }

    CallLog log;
    RecordingOperatorView view{log};
    ConnectionSettings settings;
    // Scripted answers, and a link that fails where a test says so.
    test::LinkFailingTerminal terminal{log};
    DataModule data;
    FixedClock clock = FixedClock::at(QStringLiteral("2024-05-06 07:08:09"));
    CommandContext ctx{view, {}, settings, terminal, data, clock, QString()};
    ConnectionPanelState& panel = ctx.panel;  // the panel as the test sets it
};

// --- the connection test --------------------------------------------------------------------

TEST_F(MaintenanceTest, ConnectionTestEnablesAndDisconnectsWithoutDisablingFirst) {
    panel.chooseTcpIp();
    panel.ipAddress = QStringLiteral("127.0.0.1");
    run(btn_connectdeviceClick);

    EXPECT_EQ(log.entries, (QStringList{
                               QStringLiteral("FK_ConnectNet(3,\"127.0.0.1\",5005,5000,0,0)"),
                               QStringLiteral("FK_EnableDevice(9,1)"),
                               QStringLiteral("FK_DisConnect(9)"),
                               QStringLiteral("box: 测试设备连接 | 设备连接成功! | information"),
                           }))
        << joined(log.entries);
    // The handle outlives the connection it came from.
    EXPECT_EQ(settings.DeviceHandle, 9);
}

// --- a failed connect: each command's own words, and no further library call ----------------

struct FailureCase {
    const char* name;
    Command command;
    QStringList expected;
};

class ConnectFailureTest : public MaintenanceTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ConnectFailureTest, ReportsInItsOwnWordsAndCallsNothingElse) {
    for (const std::int32_t handle : {0, -1}) {
        log.entries.clear();
        terminal.connectResult = handle;
        run(GetParam().command);

        EXPECT_EQ(log.entries, GetParam().expected) << handle << "\n" << joined(log.entries);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ConnectFailureTest,
    ::testing::Values(
        FailureCase{"ConnectionTest",
                    btn_connectdeviceClick,
                    {QStringLiteral("FK_ConnectUSB(3)"),
                     QStringLiteral("box: 测试设备连接 | 设备连接失败,请连接好设备后重试! | information")}},
        FailureCase{"StatusReport",
                    btn_GetDeviceParaClick,
                    {QStringLiteral("mmo_1: 获取3号设备状态："), QStringLiteral("FK_ConnectUSB(3)"),
                     QStringLiteral("mmo_1: "),
                     QStringLiteral("box: 获取设备状态 | 设备连接失败，请连接好设备后重试！ | warning")}},
        FailureCase{"ClockSetting",
                    btn_SetTimeClick,
                    {QStringLiteral("FK_ConnectUSB(3)"),
                     QStringLiteral("box: 同步设备时间连接 | 设备连接失败，请连接好设备后重试！ | warning"),
                     QStringLiteral("mmo_1: ")}},
        FailureCase{
            "RemovingAdministrators",
            btn_DelDeviceAdminClick,
            {QStringLiteral("FK_ConnectUSB(3)"), QStringLiteral("mmo_1: 清除设备管理员...............失败！"),
             QStringLiteral("box: 清除设备管理员 | "
                            "清除管理员失败，可能是设备没有连接好，请连接好设备后重试！ | warning"),
             QStringLiteral("mmo_1: ")}},
        FailureCase{"ClearingAllData",
                    btn_SetDeviceParaClick,
                    {QStringLiteral("FK_ConnectUSB(3)"),
                     QStringLiteral("mmo_1: 清除设备里面全部数据...............失败！"),
                     QStringLiteral(
                         "box: 清除设备全部数据 | 清除设备里面全部数据失败，请连接好设备后重试！ | warning"),
                     QStringLiteral("mmo_1: ")}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- conversion errors: the command stops before any library call ----------------------------

struct ConversionCase {
    const char* name;
    Command command;
    std::function<void(ConnectionPanelState&)> spoil;
    QString errorText;
    QStringList written;  // what the command wrote before it stopped
};

class CommandConversionTest : public MaintenanceTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(CommandConversionTest, StopsWithTheConversionErrorBeforeAnyLibraryCall) {
    GetParam().spoil(panel);
    try {
        run(GetParam().command);
        FAIL() << "no conversion error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), GetParam().errorText);
    }
    EXPECT_EQ(log.entries, GetParam().written) << joined(log.entries);
}

void junkMachineNo(ConnectionPanelState& p) {
    p.machineNo = QStringLiteral("No.1");
}

void junkBaudRate(ConnectionPanelState& p) {
    p.chooseSerial();
    p.baudRate = QStringLiteral("38400bps");
}

const QString kJunkMachineNoText = QStringLiteral("'No.1' is not a valid integer value");
const QString kJunkBaudRateText = QStringLiteral("'38400bps' is not a valid integer value");

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandConversionTest,
    ::testing::Values(
        ConversionCase{
            "ConnectionTestMachineNo", btn_connectdeviceClick, junkMachineNo, kJunkMachineNoText, {}},
        ConversionCase{"StatusReportMachineNoBeforeItsHeader",
                       btn_GetDeviceParaClick,
                       junkMachineNo,
                       kJunkMachineNoText,
                       {}},
        ConversionCase{"StatusReportLinkFieldAfterItsHeader",
                       btn_GetDeviceParaClick,
                       junkBaudRate,
                       kJunkBaudRateText,
                       {QStringLiteral("mmo_1: 获取3号设备状态：")}},
        ConversionCase{"ClockSettingMachineNo", btn_SetTimeClick, junkMachineNo, kJunkMachineNoText, {}},
        ConversionCase{"ClockSettingLinkField", btn_SetTimeClick, junkBaudRate, kJunkBaudRateText, {}},
        ConversionCase{"RemovingAdministratorsMachineNo",
                       btn_DelDeviceAdminClick,
                       junkMachineNo,
                       kJunkMachineNoText,
                       {}},
        ConversionCase{
            "RemovingAdministratorsLinkField", btn_DelDeviceAdminClick, junkBaudRate, kJunkBaudRateText, {}},
        ConversionCase{
            "ClearingAllDataMachineNo", btn_SetDeviceParaClick, junkMachineNo, kJunkMachineNoText, {}},
        ConversionCase{
            "ClearingAllDataLinkField", btn_SetDeviceParaClick, junkBaudRate, kJunkBaudRateText, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the status report ----------------------------------------------------------------------

class StatusReportTest : public MaintenanceTest {
protected:
    StatusReportTest() {
        terminal.status = {{1, 2}, {2, 10}, {3, 15}, {9, 4}, {4, 3}, {5, 6}, {7, 20}, {6, 7}, {8, 100}};
    }
};

TEST_F(StatusReportTest, AsksInOrderAndWritesTheLastLineAfterTheDisconnect) {
    run(btn_GetDeviceParaClick);

    EXPECT_EQ(log.entries, (QStringList{
                               QStringLiteral("mmo_1: 获取3号设备状态："),
                               QStringLiteral("FK_ConnectUSB(3)"),
                               QStringLiteral("FK_EnableDevice(9,0)"),
                               QStringLiteral("FK_GetDeviceStatus(9,1)"),
                               QStringLiteral("mmo_1:   已登记管理员总数：2"),
                               QStringLiteral("FK_GetDeviceStatus(9,2)"),
                               QStringLiteral("mmo_1:   已登记用户总数：10"),
                               QStringLiteral("FK_GetDeviceStatus(9,3)"),
                               QStringLiteral("mmo_1:   已登记指纹总数：15"),
                               QStringLiteral("FK_GetDeviceStatus(9,9)"),
                               QStringLiteral("mmo_1:   已登记卡片总数：4"),
                               QStringLiteral("FK_GetDeviceStatus(9,4)"),
                               QStringLiteral("mmo_1:   已登记密码总数：3"),
                               QStringLiteral("FK_GetDeviceStatus(9,5)"),
                               QStringLiteral("mmo_1:   新管理记录数：6"),
                               QStringLiteral("FK_GetDeviceStatus(9,7)"),
                               QStringLiteral("mmo_1:   管理记录总数：20"),
                               QStringLiteral("FK_GetDeviceStatus(9,6)"),
                               QStringLiteral("mmo_1:   新记录数：7"),
                               QStringLiteral("FK_GetDeviceStatus(9,8)"),
                               QStringLiteral("FK_EnableDevice(9,1)"),
                               QStringLiteral("FK_DisConnect(9)"),
                               QStringLiteral("mmo_1:   全部记录总数：100"),
                               QStringLiteral("mmo_1: "),
                               QStringLiteral("box: 获取设备状态 |   获取设备状态成功！ | information"),
                           }))
        << joined(log.entries);
    EXPECT_EQ(settings.MachineNo, 3);
}

TEST_F(StatusReportTest, LeavesOutTheAdministratorsLineWhenCodeOneFails) {
    terminal.status.erase(1);
    terminal.status.erase(2);
    run(btn_GetDeviceParaClick);

    // Neither call wrote the variable, so the users' line shows its starting value.
    EXPECT_EQ(view.mmo1, (QStringList{
                             QStringLiteral("获取3号设备状态："),
                             QStringLiteral("  已登记用户总数：0"),
                             QStringLiteral("  已登记指纹总数：15"),
                             QStringLiteral("  已登记卡片总数：4"),
                             QStringLiteral("  已登记密码总数：3"),
                             QStringLiteral("  新管理记录数：6"),
                             QStringLiteral("  管理记录总数：20"),
                             QStringLiteral("  新记录数：7"),
                             QStringLiteral("  全部记录总数：100"),
                             QString(),
                         }))
        << joined(view.mmo1);
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_GetDeviceStatus")).size(), 9);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
}

TEST_F(StatusReportTest, AFailedCallShowsThePreviousCodesValue) {
    terminal.status[1] = 5;
    terminal.status.erase(2);
    terminal.status.erase(8);
    run(btn_GetDeviceParaClick);

    ASSERT_EQ(view.mmo1.size(), 11);
    EXPECT_EQ(view.mmo1[1], QStringLiteral("  已登记管理员总数：5"));
    EXPECT_EQ(view.mmo1[2], QStringLiteral("  已登记用户总数：5"));
    EXPECT_EQ(view.mmo1[9], QStringLiteral("  全部记录总数：7"));
}

TEST_F(StatusReportTest, WritesTheMachineNumberAsTyped) {
    panel.machineNo = QStringLiteral(" 1");
    run(btn_GetDeviceParaClick);
    ASSERT_FALSE(view.mmo1.isEmpty());
    EXPECT_EQ(view.mmo1[0], QStringLiteral("获取 1号设备状态："));
    EXPECT_EQ(log.indexOf(QStringLiteral("FK_ConnectUSB(1)")), 1);
}

// An operator view that fails while the report writes its lines.
class FailingView : public RecordingOperatorView {
public:
    using RecordingOperatorView::RecordingOperatorView;
    void appendLog(LogPane pane, const QString& line) override {
        if (line.startsWith(QStringLiteral("  已登记指纹")))
            throw Error(QStringLiteral("pane refused the line"));
        RecordingOperatorView::appendLog(pane, line);
    }
};

TEST_F(StatusReportTest, AnErrorWhileConnectedStillEnablesAndDisconnects) {
    FailingView failing{log};
    CommandContext failingCtx{failing, panel, settings, terminal, data, clock, QString()};
    EXPECT_THROW(btn_GetDeviceParaClick(failingCtx), Error);

    ASSERT_GE(log.entries.size(), 2);
    EXPECT_EQ(log.entries.mid(log.entries.size() - 2),
              (QStringList{QStringLiteral("FK_EnableDevice(9,1)"), QStringLiteral("FK_DisConnect(9)")}))
        << joined(log.entries);
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_GetDeviceStatus")).size(), 3);
}

// --- the clock setting ----------------------------------------------------------------------

TEST_F(MaintenanceTest, ClockSettingSendsThePcTimeAndWritesIt) {
    const auto sent = encodeDateTime({2024, 5, 6, 7, 8, 9, 750});
    ASSERT_TRUE(sent);
    clock.value = *sent;
    run(btn_SetTimeClick);

    EXPECT_EQ(log.entries, (QStringList{
                               QStringLiteral("FK_ConnectUSB(3)"),
                               QStringLiteral("FK_EnableDevice(9,0)"),
                               QStringLiteral("FK_SetDeviceTime(9,2024-05-06 07:08:09)"),
                               QStringLiteral("FK_EnableDevice(9,1)"),
                               QStringLiteral("FK_DisConnect(9)"),
                               QStringLiteral("mmo_1: 设置3号设备时间为：2024-05-06 07:08:09 ...成功！"),
                               QStringLiteral("box: 同步设备时间 | 时间同步成功！ | information"),
                               QStringLiteral("mmo_1: "),
                           }))
        << joined(log.entries);
    // The milliseconds reach the device too.
    EXPECT_EQ(terminal.deviceTime, *sent);
}

TEST_F(MaintenanceTest, ClockSettingWritesTheValueItSentNotALaterOne) {
    TickingClock ticking(*parseDateTimeText(QStringLiteral("2024-12-31 23:59:59")));
    panel.machineNo = QStringLiteral(" 1");
    CommandContext tickingCtx{view, panel, settings, terminal, data, ticking, QString()};
    btn_SetTimeClick(tickingCtx);

    EXPECT_EQ(ticking.reads, 1);
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_SetDeviceTime")),
              QStringList{QStringLiteral("FK_SetDeviceTime(9,2024-12-31 23:59:59)")});
    ASSERT_FALSE(view.mmo1.isEmpty());
    EXPECT_EQ(view.mmo1[0], QStringLiteral("设置 1号设备时间为：2024-12-31 23:59:59 ...成功！"));
}

TEST_F(MaintenanceTest, ClockSettingReportsARefusedTime) {
    terminal.forcedResults[QStringLiteral("FK_SetDeviceTime")] = {0};
    run(btn_SetTimeClick);

    EXPECT_EQ(log.entries.mid(3),
              (QStringList{
                  QStringLiteral("FK_EnableDevice(9,1)"),
                  QStringLiteral("FK_DisConnect(9)"),
                  QStringLiteral("mmo_1: 设置3号设备时间为：2024-05-06 07:08:09 ...失败！"),
                  QStringLiteral("box: 同步设备时间 | 时间同步失败！ | warning"),
                  QStringLiteral("mmo_1: "),
              }))
        << joined(log.entries);
}

// --- removing administrators ----------------------------------------------------------------

TEST_F(MaintenanceTest, RemovingAdministratorsCountsOnlyTheDemotionsTheDeviceAccepted) {
    terminal.userList = {{1, 0, 1}, {2, 0, 0}, {3, 1, 2}, {4, 0, 1}};
    terminal.refusedPrivilegeChanges = {{3, 1}};
    run(btn_DelDeviceAdminClick);

    EXPECT_EQ(log.entries, (QStringList{
                               QStringLiteral("FK_ConnectUSB(3)"),
                               QStringLiteral("FK_EnableDevice(9,0)"),
                               QStringLiteral("FK_ReadAllUserID(3)"),
                               QStringLiteral("FK_GetAllUserID(9)"),
                               QStringLiteral("FK_ModifyPrivilege(9,1,0,0)"),
                               QStringLiteral("FK_GetAllUserID(9)"),
                               QStringLiteral("FK_GetAllUserID(9)"),
                               QStringLiteral("FK_ModifyPrivilege(9,3,1,0)"),
                               QStringLiteral("FK_GetAllUserID(9)"),
                               QStringLiteral("FK_ModifyPrivilege(9,4,0,0)"),
                               QStringLiteral("FK_GetAllUserID(9)"),
                               QStringLiteral("FK_EnableDevice(9,1)"),
                               QStringLiteral("FK_DisConnect(9)"),
                               QStringLiteral("mmo_1: 清除设备管理员    2个...............成功！"),
                               QStringLiteral("box: 清除设备管理员 | 清除管理员成功！ | information"),
                               QStringLiteral("mmo_1: "),
                           }))
        << joined(log.entries);
    EXPECT_EQ(terminal.userList[0].privilege, 0);
    EXPECT_EQ(terminal.userList[2].privilege, 2);
    EXPECT_EQ(terminal.userList[3].privilege, 0);
}

TEST_F(MaintenanceTest, RemovingAdministratorsWithoutAnyToRemoveReportsZero) {
    const struct {
        const char* name;
        std::vector<ScriptedTerminalLibrary::UserEntry> users;
        bool listRefused;
        int fetches;
    } cases[] = {
        {"only ordinary users", {{1, 0, 0}, {2, 6, 0}}, false, 3},
        {"no users", {}, false, 1},
        {"user list refused", {{1, 0, 1}}, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.entries.clear();
        view.mmo1.clear();
        view.boxes.clear();
        terminal.userList = c.users;
        if (c.listRefused) terminal.forcedResults[QStringLiteral("FK_ReadAllUserID")] = {0};
        run(btn_DelDeviceAdminClick);

        EXPECT_EQ(view.mmo1,
                  (QStringList{QStringLiteral("清除设备管理员    0个...............成功！"), QString()}));
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, QStringLiteral("清除管理员成功！"));
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
        EXPECT_EQ(terminal.calls(QStringLiteral("FK_GetAllUserID")).size(), c.fetches);
        EXPECT_TRUE(terminal.calls(QStringLiteral("FK_ModifyPrivilege")).isEmpty());
        EXPECT_EQ(log.entries.mid(log.entries.size() - 5, 2),
                  (QStringList{QStringLiteral("FK_EnableDevice(9,1)"), QStringLiteral("FK_DisConnect(9)")}));
    }
}

// --- clearing all data ----------------------------------------------------------------------

TEST_F(MaintenanceTest, ClearingAllDataAddressesTheMachineNumber) {
    terminal.userList = {{1, 0, 1}};
    run(btn_SetDeviceParaClick);

    EXPECT_EQ(log.entries,
              (QStringList{
                  QStringLiteral("FK_ConnectUSB(3)"),
                  QStringLiteral("FK_EnableDevice(9,0)"),
                  QStringLiteral("FK_ClearKeeperData(3)"),
                  QStringLiteral("FK_EnableDevice(9,1)"),
                  QStringLiteral("FK_DisConnect(9)"),
                  QStringLiteral("mmo_1: 清除设备里面全部数据...............成功！"),
                  QStringLiteral("box: 清除设备全部数据 | 清除设备里面全部数据成功！ | information"),
                  QStringLiteral("mmo_1: "),
              }))
        << joined(log.entries);
    EXPECT_TRUE(terminal.cleared);
    EXPECT_TRUE(terminal.userList.empty());
}

TEST_F(MaintenanceTest, ClearingAllDataReportsFailureUnlessTheTerminalConfirmsIt) {
    // Refused, no such connection, link lost, damaged reply: the data may all still be there.
    for (const std::int32_t result : {0, -1, -2, -3}) {
        SCOPED_TRACE(result);
        log.entries.clear();
        view.mmo1.clear();
        view.boxes.clear();
        terminal.forcedResults[QStringLiteral("FK_ClearKeeperData")] = {result};

        const CommandOutcome outcome = btn_SetDeviceParaClick(ctx);

        EXPECT_EQ(outcome.result, CommandOutcome::Result::Error);
        EXPECT_FALSE(terminal.cleared);
        EXPECT_EQ(log.entries, (QStringList{
                                   QStringLiteral("FK_ConnectUSB(3)"),
                                   QStringLiteral("FK_EnableDevice(9,0)"),
                                   QStringLiteral("FK_ClearKeeperData(3)"),
                                   QStringLiteral("FK_EnableDevice(9,1)"),
                                   QStringLiteral("FK_DisConnect(9)"),
                                   QStringLiteral("mmo_1: 清除设备里面全部数据...............失败！"),
                                   QStringLiteral("box: 清除设备全部数据 | "
                                                  "清除设备里面全部数据失败，请连接好设备后重试！ | warning"),
                                   QStringLiteral("mmo_1: "),
                               }))
            << joined(log.entries);
    }

    log.entries.clear();
    EXPECT_EQ(btn_SetDeviceParaClick(ctx).result, CommandOutcome::Result::Done);
    EXPECT_TRUE(terminal.cleared);
}

TEST_F(MaintenanceTest, ClearingAllDataWithoutConnectionIsNotReachable) {
    terminal.connectResult = 0;
    EXPECT_EQ(btn_SetDeviceParaClick(ctx).result, CommandOutcome::Result::NotReachable);
    EXPECT_EQ(btn_DelDeviceAdminClick(ctx).result, CommandOutcome::Result::NotReachable);
}

// --- removing administrators over a link that fails -----------------------------------------

struct AdminLinkFailure {
    const char* name;
    const char* operation;  // empty: the link holds
    int call;
    std::int32_t failure;
    int demoted;
};

class AdminLinkFailureTest : public MaintenanceTest,
                             public ::testing::WithParamInterface<AdminLinkFailure> {};

TEST_P(AdminLinkFailureTest, EndsIncompleteWithTheDemotionsDoneSoFar) {
    const AdminLinkFailure& c = GetParam();
    terminal.userList = {{1, 0, 1}, {2, 0, 0}, {3, 1, 2}, {4, 0, 1}};
    terminal.failingOperation = QString::fromLatin1(c.operation);
    terminal.failingCall = c.call;
    terminal.failure = c.failure;

    const CommandOutcome outcome = btn_DelDeviceAdminClick(ctx);

    EXPECT_EQ(outcome.stored, c.demoted);
    int stillAdministrators = 0;
    for (const auto& user : terminal.userList) stillAdministrators += user.privilege != 0;
    EXPECT_EQ(stillAdministrators, 3 - c.demoted);
    // However it ended, the terminal was enabled again and the session closed.
    const QStringList calls = log.entries.filter(QStringLiteral("FK_"));
    EXPECT_EQ(calls.mid(calls.size() - 2),
              (QStringList{QStringLiteral("FK_EnableDevice(9,1)"), QStringLiteral("FK_DisConnect(9)")}));
    ASSERT_EQ(view.boxes.size(), 1u);
    if (!*c.operation) {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        EXPECT_EQ(view.mmo1,
                  (QStringList{QStringLiteral("清除设备管理员    3个...............成功！"), QString()}));
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
        return;
    }
    EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
    EXPECT_EQ(view.mmo1,
              (QStringList{QStringLiteral("清除设备管理员...............失败！"),
                           QStringLiteral("与设备的连接在清除%1个管理员后中断，其余的管理员可能没有清除！"
                                          "请连接好设备后再次清除设备管理员。")
                               .arg(c.demoted),
                           QString()}));
    EXPECT_EQ(view.boxes[0].text, QStringLiteral("清除管理员失败，与设备的连接中断，请连接好设备后重试！"));
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
}

INSTANTIATE_TEST_SUITE_P(FaultPoints, AdminLinkFailureTest,
                         ::testing::Values(AdminLinkFailure{"LinkHolds", "", 0, 0, 3},
                                           AdminLinkFailure{"ListRequestLost", "FK_ReadAllUserID", 1, -2, 0},
                                           AdminLinkFailure{"FirstEntryLost", "FK_GetAllUserID", 1, -2, 0},
                                           AdminLinkFailure{"ThirdEntryDamaged", "FK_GetAllUserID", 3, -3, 1},
                                           AdminLinkFailure{"SecondDemotionLost", "FK_ModifyPrivilege", 2, -2,
                                                            1},
                                           AdminLinkFailure{"EndOfListLost", "FK_GetAllUserID", 5, -2, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvelo
