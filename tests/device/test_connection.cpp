#include "core/errors.h"
#include "device/connection.h"
#include "tests/support/fake_connection_panel.h"
#include "tests/support/scripted_terminal_library.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace orvelo {
namespace {

using test::CallLog;
using test::FakeConnectionPanel;
using test::ScriptedTerminalLibrary;

class ConnectDeviceTest : public ::testing::Test {
protected:
    bool connect() { return ConnectDevice(panel, settings, terminal); }

    CallLog log;
    FakeConnectionPanel panel;
    ConnectionSettings settings;
    ScriptedTerminalLibrary terminal{log};
};

// How the panel is filled, and the one call it must give.
struct LinkCase {
    const char* name;
    std::function<void(FakeConnectionPanel&)> fill;
    QString expectedCall;
};

class ConnectDeviceLinkTest : public ConnectDeviceTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(ConnectDeviceLinkTest, MakesTheConnectCallOfTheChosenLink)
{
    panel.panel.ipAddress = QStringLiteral("192.168.1.224");
    GetParam().fill(panel);

    EXPECT_TRUE(connect());
    EXPECT_EQ(log.entries, QStringList{GetParam().expectedCall});
}

void junkEverywhereButMachineNo(FakeConnectionPanel& p)
{
    p.panel.comPort = QStringLiteral("COM");
    p.panel.baudRate = QStringLiteral("fast");
    p.panel.ipAddress.clear();
    p.panel.netPort = QStringLiteral("port");
    p.panel.netPassword = QString();
    p.panel.timeOut = QStringLiteral("5 s");
}

INSTANTIATE_TEST_SUITE_P(
    Links, ConnectDeviceLinkTest,
    ::testing::Values(
        LinkCase{"UsbByDefault", [](FakeConnectionPanel&) {}, QStringLiteral("FK_ConnectUSB(1)")},
        LinkCase{"UsbIgnoresJunkInTheOtherFields",
                 [](FakeConnectionPanel& p) {
                     junkEverywhereButMachineNo(p);
                     p.panel.machineNo = QStringLiteral("7");
                     p.panel.udpTicked = true;
                 },
                 QStringLiteral("FK_ConnectUSB(7)")},
        LinkCase{"MachineNoWithLeadingBlank",
                 [](FakeConnectionPanel& p) { p.panel.machineNo = QStringLiteral(" 1"); },
                 QStringLiteral("FK_ConnectUSB(1)")},
        LinkCase{"MachineNoInHex", [](FakeConnectionPanel& p) { p.panel.machineNo = QStringLiteral("$1F"); },
                 QStringLiteral("FK_ConnectUSB(31)")},
        LinkCase{"SerialCom1",
                 [](FakeConnectionPanel& p) { p.chooseSerial(); },
                 QStringLiteral("FK_ConnectComm(1,1,38400,null,0)")},
        LinkCase{"SerialCom10",
                 [](FakeConnectionPanel& p) {
                     p.chooseSerial();
                     p.panel.comPort = QStringLiteral("COM10");
                     p.panel.baudRate = QStringLiteral("115200");
                 },
                 QStringLiteral("FK_ConnectComm(1,10,115200,null,0)")},
        LinkCase{"SerialOnlyThePositionsCount",
                 [](FakeConnectionPanel& p) {
                     p.chooseSerial();
                     p.panel.comPort = QStringLiteral("com3");
                 },
                 QStringLiteral("FK_ConnectComm(1,3,38400,null,0)")},
        LinkCase{"SerialAtMostThreeCharactersFromTheFourth",
                 [](FakeConnectionPanel& p) {
                     p.chooseSerial();
                     p.panel.comPort = QStringLiteral("COM1234");
                 },
                 QStringLiteral("FK_ConnectComm(1,123,38400,null,0)")},
        LinkCase{"SerialTypedBaudRateReachesTheLibrary",
                 [](FakeConnectionPanel& p) {
                     p.chooseSerial();
                     p.panel.baudRate = QStringLiteral("4800");
                 },
                 QStringLiteral("FK_ConnectComm(1,1,4800,null,0)")},
        LinkCase{"SerialIgnoresJunkNetworkFieldsAndTheUdpTick",
                 [](FakeConnectionPanel& p) {
                     p.chooseSerial();
                     p.panel.ipAddress.clear();
                     p.panel.netPort = QStringLiteral("port");
                     p.panel.netPassword = QStringLiteral("pw");
                     p.panel.timeOut = QString();
                     p.panel.udpTicked = true;
                 },
                 QStringLiteral("FK_ConnectComm(1,1,38400,null,0)")},
        LinkCase{"SerialWinsOverTcpIpWhenBothAreChecked",
                 [](FakeConnectionPanel& p) {
                     p.chooseSerial();
                     p.panel.tcpIpChecked = true;
                 },
                 QStringLiteral("FK_ConnectComm(1,1,38400,null,0)")},
        LinkCase{"TcpIp",
                 [](FakeConnectionPanel& p) {
                     p.chooseTcpIp();
                     p.panel.machineNo = QStringLiteral("2");
                     p.panel.netPort = QStringLiteral("5010");
                     p.panel.timeOut = QStringLiteral("3000");
                     p.panel.netPassword = QStringLiteral("8");
                 },
                 QStringLiteral("FK_ConnectNet(2,\"192.168.1.224\",5010,3000,0,8)")},
        LinkCase{"TcpIpAsUdp",
                 [](FakeConnectionPanel& p) {
                     p.chooseTcpIp();
                     p.panel.udpTicked = true;
                 },
                 QStringLiteral("FK_ConnectNet(1,\"192.168.1.224\",5005,5000,1,0)")},
        LinkCase{"TcpIpEmptyAddressGoesAsNullPointer",
                 [](FakeConnectionPanel& p) {
                     p.chooseTcpIp();
                     p.panel.ipAddress.clear();
                 },
                 QStringLiteral("FK_ConnectNet(1,null,5005,5000,0,0)")},
        LinkCase{"TcpIpAddressUncheckedAndUnchanged",
                 [](FakeConnectionPanel& p) {
                     p.chooseTcpIp();
                     p.panel.ipAddress = QStringLiteral(" not an address ");
                 },
                 QStringLiteral("FK_ConnectNet(1,\" not an address \",5005,5000,0,0)")},
        LinkCase{"TcpIpIgnoresJunkSerialFields",
                 [](FakeConnectionPanel& p) {
                     p.chooseTcpIp();
                     p.panel.comPort = QStringLiteral("COM");
                     p.panel.baudRate = QStringLiteral("fast");
                 },
                 QStringLiteral("FK_ConnectNet(1,\"192.168.1.224\",5005,5000,0,0)")}),
    [](const auto& info) { return std::string(info.param.name); });

// A field that does not convert: the error names its text, and no library call is made.
struct ConversionCase {
    const char* name;
    std::function<void(FakeConnectionPanel&)> fill;
    QString expectedText;
};

class ConnectDeviceConversionTest : public ConnectDeviceTest,
                                    public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConnectDeviceConversionTest, RaisesBeforeAnyLibraryCall)
{
    GetParam().fill(panel);
    try {
        connect();
        FAIL() << "no conversion error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), GetParam().expectedText);
    }
    EXPECT_TRUE(log.entries.isEmpty()) << log.entries.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ConnectDeviceConversionTest,
    ::testing::Values(
        ConversionCase{"MachineNoOnUsb", [](FakeConnectionPanel& p) { p.panel.machineNo = QStringLiteral("1a"); },
                       QStringLiteral("'1a' is not a valid integer value")},
        ConversionCase{"EmptyMachineNo", [](FakeConnectionPanel& p) { p.panel.machineNo.clear(); },
                       QStringLiteral("'' is not a valid integer value")},
        ConversionCase{"MachineNoBeforeTheLinkFields",
                       [](FakeConnectionPanel& p) {
                           p.chooseSerial();
                           p.panel.machineNo = QStringLiteral("one");
                           p.panel.comPort = QStringLiteral("COMx");
                       },
                       QStringLiteral("'one' is not a valid integer value")},
        ConversionCase{"MachineNoOutOfRange",
                       [](FakeConnectionPanel& p) { p.panel.machineNo = QStringLiteral("2147483648"); },
                       QStringLiteral("'2147483648' is not a valid integer value")},
        ConversionCase{"ComAloneNamesTheEmptyText",
                       [](FakeConnectionPanel& p) {
                           p.chooseSerial();
                           p.panel.comPort = QStringLiteral("COM");
                       },
                       QStringLiteral("'' is not a valid integer value")},
        ConversionCase{"ComPortNamesOnlyItsPositions",
                       [](FakeConnectionPanel& p) {
                           p.chooseSerial();
                           p.panel.comPort = QStringLiteral("COM1a2b");
                       },
                       QStringLiteral("'1a2' is not a valid integer value")},
        ConversionCase{"BaudRate",
                       [](FakeConnectionPanel& p) {
                           p.chooseSerial();
                           p.panel.baudRate = QStringLiteral("fast");
                       },
                       QStringLiteral("'fast' is not a valid integer value")},
        ConversionCase{"NetPortFirstOfTheNetworkFields",
                       [](FakeConnectionPanel& p) {
                           p.chooseTcpIp();
                           p.panel.netPort = QStringLiteral("50O5");
                           p.panel.netPassword = QStringLiteral("pw");
                           p.panel.timeOut = QStringLiteral("5 s");
                       },
                       QStringLiteral("'50O5' is not a valid integer value")},
        ConversionCase{"NetPasswordBeforeTimeOut",
                       [](FakeConnectionPanel& p) {
                           p.chooseTcpIp();
                           p.panel.netPassword = QStringLiteral("pw");
                           p.panel.timeOut = QStringLiteral("5 s");
                       },
                       QStringLiteral("'pw' is not a valid integer value")},
        ConversionCase{"TimeOut",
                       [](FakeConnectionPanel& p) {
                           p.chooseTcpIp();
                           p.panel.timeOut = QStringLiteral("5 s");
                       },
                       QStringLiteral("'5 s' is not a valid integer value")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectDeviceTest, OnlyAPositiveHandleMeansOpen)
{
    const struct {
        std::int32_t handle;
        bool open;
    } cases[] = {{0, false},
                 {-1, false},
                 {std::numeric_limits<std::int32_t>::min(), false},
                 {1, true},
                 {2, true},
                 {std::numeric_limits<std::int32_t>::max(), true}};
    for (const auto& c : cases) {
        terminal.connectResult = c.handle;
        EXPECT_EQ(connect(), c.open) << c.handle;
        EXPECT_EQ(settings.DeviceHandle, c.handle);
    }
}

TEST_F(ConnectDeviceTest, RefreshesOnlyTheMachineNumberAndTheChosenLinksFields)
{
    panel.chooseTcpIp();
    panel.panel.machineNo = QStringLiteral("4");
    panel.panel.ipAddress = QStringLiteral("10.0.0.9");
    panel.panel.netPort = QStringLiteral("6000");
    panel.panel.netPassword = QStringLiteral("5");
    panel.panel.timeOut = QStringLiteral("1000");
    panel.panel.udpTicked = true;
    terminal.connectResult = 3;
    ASSERT_TRUE(connect());

    panel.chooseSerial();
    panel.panel.machineNo = QStringLiteral("6");
    panel.panel.comPort = QStringLiteral("COM2");
    panel.panel.baudRate = QStringLiteral("9600");
    terminal.connectResult = 0;
    EXPECT_FALSE(connect());

    EXPECT_EQ(settings.MachineNo, 6);
    EXPECT_EQ(settings.ComPort, 2);
    EXPECT_EQ(settings.BaudRate, 9600);
    // The network fields keep what the TCP/IP connect stored.
    EXPECT_EQ(settings.IpAddress, QByteArray("10.0.0.9"));
    EXPECT_EQ(settings.NetPort, 6000);
    EXPECT_EQ(settings.NetPassword, 5);
    EXPECT_EQ(settings.TimeOut, 1000);
    EXPECT_EQ(settings.UdpFlag, 1);
    // A failed connect replaces the handle too.
    EXPECT_EQ(settings.DeviceHandle, 0);

    panel.chooseUsb();
    panel.panel.machineNo = QStringLiteral("8");
    terminal.connectResult = 12;
    ASSERT_TRUE(connect());
    EXPECT_EQ(settings.MachineNo, 8);
    EXPECT_EQ(settings.ComPort, 2);
    EXPECT_EQ(settings.NetPort, 6000);
    EXPECT_EQ(settings.DeviceHandle, 12);
}

TEST_F(ConnectDeviceTest, AConversionErrorLeavesTheHandleOfTheLastConnect)
{
    terminal.connectResult = 5;
    ASSERT_TRUE(connect());
    panel.panel.machineNo = QStringLiteral("x");
    EXPECT_THROW(connect(), ConversionError);
    EXPECT_EQ(settings.DeviceHandle, 5);
}

}  // namespace
}  // namespace orvelo
