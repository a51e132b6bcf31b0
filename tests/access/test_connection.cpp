#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "access/connection.h"
#include "core/errors.h"
#include "core/ports.h"
#include "tests/support/scripted_terminal_library.h"

namespace orvelo {
namespace {

using test::CallLog;
using test::ScriptedTerminalLibrary;

class ConnectDeviceTest : public ::testing::Test {
protected:
    bool connect() { return ConnectDevice(panel, settings, terminal); }

    CallLog log;
    ConnectionPanelState panel;
    ConnectionSettings settings;
    ScriptedTerminalLibrary terminal{log};
};

// How the panel is filled, and the one call it must give.
struct LinkCase {
    const char* name;
    std::function<void(ConnectionPanelState&)> fill;
    QString expectedCall;
};

class ConnectDeviceLinkTest : public ConnectDeviceTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(ConnectDeviceLinkTest, MakesTheConnectCallOfTheChosenLink) {
    panel.ipAddress = QStringLiteral("192.168.1.224");
    GetParam().fill(panel);

    EXPECT_TRUE(connect());
    EXPECT_EQ(log.entries, QStringList{GetParam().expectedCall});
}

void junkEverywhereButMachineNo(ConnectionPanelState& p) {
    p.comPort = QStringLiteral("COM");
    p.baudRate = QStringLiteral("fast");
    p.ipAddress.clear();
    p.netPort = QStringLiteral("port");
    p.netPassword = QString();
    p.timeOut = QStringLiteral("5 s");
}

INSTANTIATE_TEST_SUITE_P(
    Links, ConnectDeviceLinkTest,
    ::testing::Values(
        LinkCase{"UsbByDefault", [](ConnectionPanelState&) {}, QStringLiteral("FK_ConnectUSB(1)")},
        LinkCase{"UsbIgnoresJunkInTheOtherFields",
                 [](ConnectionPanelState& p) {
                     junkEverywhereButMachineNo(p);
                     p.machineNo = QStringLiteral("7");
                     p.udpTicked = true;
                 },
                 QStringLiteral("FK_ConnectUSB(7)")},
        LinkCase{"MachineNoWithLeadingBlank",
                 [](ConnectionPanelState& p) { p.machineNo = QStringLiteral(" 1"); },
                 QStringLiteral("FK_ConnectUSB(1)")},
        LinkCase{"MachineNoInHex", [](ConnectionPanelState& p) { p.machineNo = QStringLiteral("$1F"); },
                 QStringLiteral("FK_ConnectUSB(31)")},
        LinkCase{"SerialCom1", [](ConnectionPanelState& p) { p.chooseSerial(); },
                 QStringLiteral("FK_ConnectComm(1,1,38400,null,0)")},
        LinkCase{"SerialCom10",
                 [](ConnectionPanelState& p) {
                     p.chooseSerial();
                     p.comPort = QStringLiteral("COM10");
                     p.baudRate = QStringLiteral("115200");
                 },
                 QStringLiteral("FK_ConnectComm(1,10,115200,null,0)")},
        LinkCase{"SerialOnlyThePositionsCount",
                 [](ConnectionPanelState& p) {
                     p.chooseSerial();
                     p.comPort = QStringLiteral("com3");
                 },
                 QStringLiteral("FK_ConnectComm(1,3,38400,null,0)")},
        LinkCase{"SerialAtMostThreeCharactersFromTheFourth",
                 [](ConnectionPanelState& p) {
                     p.chooseSerial();
                     p.comPort = QStringLiteral("COM1234");
                 },
                 QStringLiteral("FK_ConnectComm(1,123,38400,null,0)")},
        LinkCase{"SerialTypedBaudRateReachesTheLibrary",
                 [](ConnectionPanelState& p) {
                     p.chooseSerial();
                     p.baudRate = QStringLiteral("4800");
                 },
                 QStringLiteral("FK_ConnectComm(1,1,4800,null,0)")},
        LinkCase{"SerialIgnoresJunkNetworkFieldsAndTheUdpTick",
                 [](ConnectionPanelState& p) {
                     p.chooseSerial();
                     p.ipAddress.clear();
                     p.netPort = QStringLiteral("port");
                     p.netPassword = QStringLiteral("pw");
                     p.timeOut = QString();
                     p.udpTicked = true;
                 },
                 QStringLiteral("FK_ConnectComm(1,1,38400,null,0)")},
        LinkCase{"SerialWinsOverTcpIpWhenBothAreChecked",
                 [](ConnectionPanelState& p) {
                     p.chooseSerial();
                     p.tcpIpChecked = true;
                 },
                 QStringLiteral("FK_ConnectComm(1,1,38400,null,0)")},
        LinkCase{"TcpIp",
                 [](ConnectionPanelState& p) {
                     p.chooseTcpIp();
                     p.machineNo = QStringLiteral("2");
                     p.netPort = QStringLiteral("5010");
                     p.timeOut = QStringLiteral("3000");
                     p.netPassword = QStringLiteral("8");
                 },
                 QStringLiteral("FK_ConnectNet(2,\"192.168.1.224\",5010,3000,0,8)")},
        LinkCase{"TcpIpAsUdp",
                 [](ConnectionPanelState& p) {
                     p.chooseTcpIp();
                     p.udpTicked = true;
                 },
                 QStringLiteral("FK_ConnectNet(1,\"192.168.1.224\",5005,5000,1,0)")},
        LinkCase{"TcpIpEmptyAddressGoesAsNullPointer",
                 [](ConnectionPanelState& p) {
                     p.chooseTcpIp();
                     p.ipAddress.clear();
                 },
                 QStringLiteral("FK_ConnectNet(1,null,5005,5000,0,0)")},
        LinkCase{"TcpIpAddressUncheckedAndUnchanged",
                 [](ConnectionPanelState& p) {
                     p.chooseTcpIp();
                     p.ipAddress = QStringLiteral(" not an address ");
                 },
                 QStringLiteral("FK_ConnectNet(1,\" not an address \",5005,5000,0,0)")},
        LinkCase{"TcpIpIgnoresJunkSerialFields",
                 [](ConnectionPanelState& p) {
                     p.chooseTcpIp();
                     p.comPort = QStringLiteral("COM");
                     p.baudRate = QStringLiteral("fast");
                 },
                 QStringLiteral("FK_ConnectNet(1,\"192.168.1.224\",5005,5000,0,0)")}),
    [](const auto& info) { return std::string(info.param.name); });

// A field that does not convert: the error names its text, and no library call is made.
struct ConversionCase {
    const char* name;
    std::function<void(ConnectionPanelState&)> fill;
    QString expectedText;
};

class ConnectDeviceConversionTest : public ConnectDeviceTest,
                                    public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConnectDeviceConversionTest, RaisesBeforeAnyLibraryCall) {
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
        ConversionCase{"MachineNoOnUsb", [](ConnectionPanelState& p) { p.machineNo = QStringLiteral("1a"); },
                       QStringLiteral("'1a' is not a valid integer value")},
        ConversionCase{"EmptyMachineNo", [](ConnectionPanelState& p) { p.machineNo.clear(); },
                       QStringLiteral("'' is not a valid integer value")},
        ConversionCase{"MachineNoBeforeTheLinkFields",
                       [](ConnectionPanelState& p) {
                           p.chooseSerial();
                           p.machineNo = QStringLiteral("one");
                           p.comPort = QStringLiteral("COMx");
                       },
                       QStringLiteral("'one' is not a valid integer value")},
        ConversionCase{"MachineNoOutOfRange",
                       [](ConnectionPanelState& p) { p.machineNo = QStringLiteral("2147483648"); },
                       QStringLiteral("'2147483648' is not a valid integer value")},
        ConversionCase{"ComAloneNamesTheEmptyText",
                       [](ConnectionPanelState& p) {
                           p.chooseSerial();
                           p.comPort = QStringLiteral("COM");
                       },
                       QStringLiteral("'' is not a valid integer value")},
        ConversionCase{"ComPortNamesOnlyItsPositions",
                       [](ConnectionPanelState& p) {
                           p.chooseSerial();
                           p.comPort = QStringLiteral("COM1a2b");
                       },
                       QStringLiteral("'1a2' is not a valid integer value")},
        ConversionCase{"BaudRate",
                       [](ConnectionPanelState& p) {
                           p.chooseSerial();
                           p.baudRate = QStringLiteral("fast");
                       },
                       QStringLiteral("'fast' is not a valid integer value")},
        ConversionCase{"NetPortFirstOfTheNetworkFields",
                       [](ConnectionPanelState& p) {
                           p.chooseTcpIp();
                           p.netPort = QStringLiteral("50O5");
                           p.netPassword = QStringLiteral("pw");
                           p.timeOut = QStringLiteral("5 s");
                       },
                       QStringLiteral("'50O5' is not a valid integer value")},
        ConversionCase{"NetPasswordBeforeTimeOut",
                       [](ConnectionPanelState& p) {
                           p.chooseTcpIp();
                           p.netPassword = QStringLiteral("pw");
                           p.timeOut = QStringLiteral("5 s");
                       },
                       QStringLiteral("'pw' is not a valid integer value")},
        ConversionCase{"TimeOut",
                       [](ConnectionPanelState& p) {
                           p.chooseTcpIp();
                           p.timeOut = QStringLiteral("5 s");
                       },
                       QStringLiteral("'5 s' is not a valid integer value")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectDeviceTest, OnlyAPositiveHandleMeansOpen) {
    const struct {
        std::int32_t handle;
        bool open;
    } cases[] = {{0, false}, {-1, false}, {std::numeric_limits<std::int32_t>::min(), false},
                 {1, true},  {2, true},   {std::numeric_limits<std::int32_t>::max(), true}};
    for (const auto& c : cases) {
        terminal.connectResult = c.handle;
        EXPECT_EQ(connect(), c.open) << c.handle;
        EXPECT_EQ(settings.DeviceHandle, c.handle);
    }
}

TEST_F(ConnectDeviceTest, RefreshesOnlyTheMachineNumberAndTheChosenLinksFields) {
    panel.chooseTcpIp();
    panel.machineNo = QStringLiteral("4");
    panel.ipAddress = QStringLiteral("10.0.0.9");
    panel.netPort = QStringLiteral("6000");
    panel.netPassword = QStringLiteral("5");
    panel.timeOut = QStringLiteral("1000");
    panel.udpTicked = true;
    terminal.connectResult = 3;
    ASSERT_TRUE(connect());

    panel.chooseSerial();
    panel.machineNo = QStringLiteral("6");
    panel.comPort = QStringLiteral("COM2");
    panel.baudRate = QStringLiteral("9600");
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
    panel.machineNo = QStringLiteral("8");
    terminal.connectResult = 12;
    ASSERT_TRUE(connect());
    EXPECT_EQ(settings.MachineNo, 8);
    EXPECT_EQ(settings.ComPort, 2);
    EXPECT_EQ(settings.NetPort, 6000);
    EXPECT_EQ(settings.DeviceHandle, 12);
}

TEST_F(ConnectDeviceTest, AConversionErrorLeavesTheFieldsConvertedBeforeItRefreshed) {
    panel.chooseTcpIp();
    panel.machineNo = QStringLiteral("4");
    panel.ipAddress = QStringLiteral("10.0.0.9");
    panel.netPort = QStringLiteral("6000");
    panel.netPassword = QStringLiteral("5");
    panel.timeOut = QStringLiteral("5 s");
    panel.udpTicked = true;
    EXPECT_THROW(connect(), ConversionError);
    EXPECT_TRUE(log.entries.isEmpty());
    EXPECT_EQ(settings.MachineNo, 4);
    EXPECT_EQ(settings.IpAddress, QByteArray("10.0.0.9"));
    EXPECT_EQ(settings.NetPort, 6000);
    EXPECT_EQ(settings.NetPassword, 5);
    // The failing field and those after it keep their old values.
    EXPECT_EQ(settings.TimeOut, 0);
    EXPECT_EQ(settings.UdpFlag, 0);

    panel.chooseSerial();
    panel.machineNo = QStringLiteral("6");
    panel.comPort = QStringLiteral("COM2");
    panel.baudRate = QStringLiteral("fast");
    EXPECT_THROW(connect(), ConversionError);
    EXPECT_EQ(settings.MachineNo, 6);
    EXPECT_EQ(settings.ComPort, 2);
    EXPECT_EQ(settings.BaudRate, 0);
    EXPECT_EQ(settings.NetPort, 6000);
}

TEST_F(ConnectDeviceTest, AConversionErrorLeavesTheHandleOfTheLastConnect) {
    terminal.connectResult = 5;
    ASSERT_TRUE(connect());
    panel.machineNo = QStringLiteral("x");
    EXPECT_THROW(connect(), ConversionError);
    EXPECT_EQ(settings.DeviceHandle, 5);
}

}  // namespace
}  // namespace orvelo
