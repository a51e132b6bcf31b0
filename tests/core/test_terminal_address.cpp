// The one reading of the connection panel's texts: every input the panel accepts or refuses, with
// the value or the error text a connect gives for it, the first failing field first; the key, the
// display name and the description that the listings print.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "core/errors.h"
#include "core/terminal_address.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

using Link = TerminalAddress::Link;
using Field = TerminalAddress::Field;

QString invalid(const QString& text) {
    return u"'"_s + text + u"' is not a valid integer value"_s;
}

// What the reading gives: the numbers of the link's fields (0 for those it does not read or
// that fail), the failures' texts in the order read, the key and the display name.
struct ParseCase {
    const char* name;
    std::function<void(ConnectionPanelState&)> fill;
    Link link;
    std::vector<qint32> numbers;  // machine, COM, baud, port, password, time-out
    QStringList errors;
    QString key;
    QString displayName;
};

void serialPanel(ConnectionPanelState& p) {
    p.chooseSerial();
}

void tcpPanel(ConnectionPanelState& p) {
    p.chooseTcpIp();
    p.ipAddress = u"10.0.4.21"_s;
}

void junkInEveryField(ConnectionPanelState& p) {
    p.comPort = u"COM"_s;
    p.baudRate = u"fast"_s;
    p.ipAddress.clear();
    p.netPort = u"port"_s;
    p.netPassword = QString();
    p.timeOut = u"5 s"_s;
}

const std::vector<ParseCase>& parseCases() {
    static const std::vector<ParseCase> cases = {
        // USB: only the machine number is read.
        {"UsbByDefault",
         [](ConnectionPanelState&) {},
         Link::Usb,
         {1, 0, 0, 0, 0, 0},
         {},
         u"usb machine 1"_s,
         u"USB"_s},
        {"UsbIgnoresJunkElsewhereAndTheUdpTick",
         [](ConnectionPanelState& p) {
             junkInEveryField(p);
             p.machineNo = u"7"_s;
             p.udpTicked = true;
         },
         Link::Usb,
         {7, 0, 0, 0, 0, 0},
         {},
         u"usb machine 7"_s,
         u"USB"_s},
        {"MachineWithLeadingBlanks",
         [](ConnectionPanelState& p) { p.machineNo = u"  1"_s; },
         Link::Usb,
         {1, 0, 0, 0, 0, 0},
         {},
         u"usb machine 1"_s,
         u"USB"_s},
        {"MachineWithLeadingZero",
         [](ConnectionPanelState& p) { p.machineNo = u"01"_s; },
         Link::Usb,
         {1, 0, 0, 0, 0, 0},
         {},
         u"usb machine 1"_s,
         u"USB"_s},
        {"MachineInHexWithDollar",
         [](ConnectionPanelState& p) { p.machineNo = u"$1F"_s; },
         Link::Usb,
         {31, 0, 0, 0, 0, 0},
         {},
         u"usb machine 31"_s,
         u"USB"_s},
        {"MachineInHexWith0x",
         [](ConnectionPanelState& p) { p.machineNo = u"0X1f"_s; },
         Link::Usb,
         {31, 0, 0, 0, 0, 0},
         {},
         u"usb machine 31"_s,
         u"USB"_s},
        {"MachineSigned",
         [](ConnectionPanelState& p) { p.machineNo = u"-2147483648"_s; },
         Link::Usb,
         {std::numeric_limits<qint32>::min(), 0, 0, 0, 0, 0},
         {},
         u"usb machine -2147483648"_s,
         u"USB"_s},
        {"MachineEmpty",
         [](ConnectionPanelState& p) { p.machineNo.clear(); },
         Link::Usb,
         {0, 0, 0, 0, 0, 0},
         {invalid(u""_s)},
         u"usb machine "_s,
         u"USB"_s},
        {"MachineLetters",
         [](ConnectionPanelState& p) { p.machineNo = u" a7 "_s; },
         Link::Usb,
         {0, 0, 0, 0, 0, 0},
         {invalid(u" a7 "_s)},
         u"usb machine a7"_s,
         u"USB"_s},
        {"MachineTrailingBlank",
         [](ConnectionPanelState& p) { p.machineNo = u"1 "_s; },
         Link::Usb,
         {0, 0, 0, 0, 0, 0},
         {invalid(u"1 "_s)},
         u"usb machine 1"_s,
         u"USB"_s},
        {"MachineOverflow",
         [](ConnectionPanelState& p) { p.machineNo = u"2147483648"_s; },
         Link::Usb,
         {0, 0, 0, 0, 0, 0},
         {invalid(u"2147483648"_s)},
         u"usb machine 2147483648"_s,
         u"USB"_s},
        {"MachineLoneHexPrefix",
         [](ConnectionPanelState& p) { p.machineNo = u"x"_s; },
         Link::Usb,
         {0, 0, 0, 0, 0, 0},
         {invalid(u"x"_s)},
         u"usb machine x"_s,
         u"USB"_s},

        // RS232/485: the characters 4 to 6 of the COM port, then the baud rate.
        {"SerialCom1",
         serialPanel,
         Link::Serial,
         {1, 1, 38400, 0, 0, 0},
         {},
         u"serial COM1 machine 1"_s,
         u"COM1"_s},
        {"SerialCom10",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"COM10"_s;
             p.baudRate = u"115200"_s;
         },
         Link::Serial,
         {1, 10, 115200, 0, 0, 0},
         {},
         u"serial COM10 machine 1"_s,
         u"COM10"_s},
        {"SerialLowerCase",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"com3"_s;
         },
         Link::Serial,
         {1, 3, 38400, 0, 0, 0},
         {},
         u"serial COM3 machine 1"_s,
         u"com3"_s},
        {"SerialAtMostThreeCharacters",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"COM1234"_s;
         },
         Link::Serial,
         {1, 123, 38400, 0, 0, 0},
         {},
         u"serial COM123 machine 1"_s,
         u"COM1234"_s},
        {"SerialComAlone",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"COM"_s;
         },
         Link::Serial,
         {1, 0, 38400, 0, 0, 0},
         {invalid(u""_s)},
         u"serial COM machine 1"_s,
         u"COM"_s},
        {"SerialShorterThanFour",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"co"_s;
         },
         Link::Serial,
         {1, 0, 38400, 0, 0, 0},
         {invalid(u""_s)},
         u"serial CO machine 1"_s,
         u"co"_s},
        {"SerialPortWithTrailingBlank",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"COM3 "_s;
         },
         Link::Serial,
         {1, 0, 38400, 0, 0, 0},
         {invalid(u"3 "_s)},
         u"serial COM3 machine 1"_s,
         u"COM3 "_s},
        {"SerialPortLetters",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.comPort = u"COM1a2b"_s;
         },
         Link::Serial,
         {1, 0, 38400, 0, 0, 0},
         {invalid(u"1a2"_s)},
         u"serial COM1A2B machine 1"_s,
         u"COM1a2b"_s},
        {"SerialBaudLetters",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.baudRate = u"fast"_s;
         },
         Link::Serial,
         {1, 1, 0, 0, 0, 0},
         {invalid(u"fast"_s)},
         u"serial COM1 machine 1"_s,
         u"COM1"_s},
        {"SerialEveryFieldBadMachineFirst",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.machineNo = u"one"_s;
             p.comPort = u"COMx"_s;
             p.baudRate = QString();
         },
         Link::Serial,
         {0, 0, 0, 0, 0, 0},
         {invalid(u"one"_s), invalid(u"x"_s), invalid(u""_s)},
         u"serial COMX machine one"_s,
         u"COMx"_s},
        {"SerialIgnoresNetworkJunkAndTheUdpTick",
         [](ConnectionPanelState& p) {
             junkInEveryField(p);
             p.chooseSerial();
             p.comPort = u"COM2"_s;
             p.baudRate = u"9600"_s;
             p.udpTicked = true;
         },
         Link::Serial,
         {1, 2, 9600, 0, 0, 0},
         {},
         u"serial COM2 machine 1"_s,
         u"COM2"_s},
        {"SerialWinsOverTcpWhenBothAreChecked",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.rs232Checked = true;
         },
         Link::Serial,
         {1, 1, 38400, 0, 0, 0},
         {},
         u"serial COM1 machine 1"_s,
         u"COM1"_s},

        // TCP/IP: the address as typed, then port, password and time-out.
        {"Tcp",
         tcpPanel,
         Link::Tcp,
         {1, 0, 0, 5005, 0, 5000},
         {},
         u"tcp 10.0.4.21:5005 machine 1"_s,
         u"10.0.4.21:5005"_s},
        {"TcpTypedNumbers",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.machineNo = u"2"_s;
             p.netPort = u"5010"_s;
             p.netPassword = u"8"_s;
             p.timeOut = u"3000"_s;
         },
         Link::Tcp,
         {2, 0, 0, 5010, 8, 3000},
         {},
         u"tcp 10.0.4.21:5010 machine 2"_s,
         u"10.0.4.21:5010"_s},
        {"UdpTickMakesUdpOfTheSameTerminal",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.udpTicked = true;
         },
         Link::Udp,
         {1, 0, 0, 5005, 0, 5000},
         {},
         u"tcp 10.0.4.21:5005 machine 1"_s,
         u"10.0.4.21:5005"_s},
        {"TcpNumbersAsThePanelReadsThem",
         [](ConnectionPanelState& p) {
             p.chooseTcpIp();
             p.machineNo = u" 01"_s;
             p.ipAddress = u" Host.Example "_s;
             p.netPort = u"$138D"_s;
         },
         Link::Tcp,
         {1, 0, 0, 5005, 0, 5000},
         {},
         u"tcp host.example:5005 machine 1"_s,
         u" Host.Example :$138D"_s},
        {"TcpEmptyAddress",
         [](ConnectionPanelState& p) {
             p.chooseTcpIp();
             p.ipAddress.clear();
         },
         Link::Tcp,
         {1, 0, 0, 5005, 0, 5000},
         {},
         u"tcp :5005 machine 1"_s,
         u":5005"_s},
        {"TcpIgnoresSerialJunk",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.comPort = u"COM"_s;
             p.baudRate = u"fast"_s;
         },
         Link::Tcp,
         {1, 0, 0, 5005, 0, 5000},
         {},
         u"tcp 10.0.4.21:5005 machine 1"_s,
         u"10.0.4.21:5005"_s},
        {"TcpEveryNetworkFieldBadInOrder",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.netPort = u"50O5"_s;
             p.netPassword = u"pw"_s;
             p.timeOut = u"5 s"_s;
         },
         Link::Tcp,
         {1, 0, 0, 0, 0, 0},
         {invalid(u"50O5"_s), invalid(u"pw"_s), invalid(u"5 s"_s)},
         u"tcp 10.0.4.21:50O5 machine 1"_s,
         u"10.0.4.21:50O5"_s},
        {"TcpPasswordBeforeTimeOut",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.netPassword = u"pw"_s;
             p.timeOut = u""_s;
         },
         Link::Tcp,
         {1, 0, 0, 5005, 0, 0},
         {invalid(u"pw"_s), invalid(u""_s)},
         u"tcp 10.0.4.21:5005 machine 1"_s,
         u"10.0.4.21:5005"_s},
        {"TcpBadMachineStillKeysByThePort",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.machineNo = u"a7"_s;
             p.netPort = u"$138D"_s;
         },
         Link::Tcp,
         {0, 0, 0, 5005, 0, 5000},
         {invalid(u"a7"_s)},
         u"tcp 10.0.4.21:5005 machine a7"_s,
         u"10.0.4.21:$138D"_s},
        {"TcpPortOverflow",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.netPort = u"99999999999"_s;
         },
         Link::Tcp,
         {1, 0, 0, 0, 0, 5000},
         {invalid(u"99999999999"_s)},
         u"tcp 10.0.4.21:99999999999 machine 1"_s,
         u"10.0.4.21:99999999999"_s},
    };
    return cases;
}

class TerminalAddressParse : public testing::TestWithParam<ParseCase> {};

TEST_P(TerminalAddressParse, GivesThePanelsValuesOrItsErrorsInOrder) {
    const ParseCase& c = GetParam();
    ConnectionPanelState panel;
    c.fill(panel);
    const TerminalAddress address = parseTerminalAddress(panel);

    EXPECT_EQ(address.link, c.link);
    EXPECT_EQ((std::vector<qint32>{address.machineNo, address.comPort, address.baudRate, address.port,
                                   address.password, address.timeOut}),
              c.numbers);
    EXPECT_EQ(address.host, address.isNetwork() ? panel.ipAddress : QString());
    QStringList errors;
    for (const TerminalAddress::Failure& failure : address.failures) errors << failure.error;
    EXPECT_EQ(errors, c.errors);
    if (c.errors.isEmpty()) {
        EXPECT_NO_THROW(address.throwConversionError());
        EXPECT_EQ(address.fieldsBeforeFailure(), address.fields());
    } else {
        try {
            address.throwConversionError();
            ADD_FAILURE() << "no conversion error";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.text(), c.errors.front());
        }
    }
    EXPECT_EQ(address.key(), c.key);
    EXPECT_EQ(address.displayName(), c.displayName);
    // The way back gives the very texts it was read from.
    EXPECT_EQ(parseTerminalAddress(address.typed).key(), address.key());
    EXPECT_EQ(address.typed.machineNo, panel.machineNo);
    EXPECT_EQ(address.typed.comPort, panel.comPort);
}

INSTANTIATE_TEST_SUITE_P(Panels, TerminalAddressParse, testing::ValuesIn(parseCases()),
                         [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(TerminalAddress, TheFieldsBeforeTheFirstFailureAreWhatAConnectStores) {
    struct Case {
        const char* what;
        std::function<void(ConnectionPanelState&)> fill;
        QList<Field> before;
    };
    const std::vector<Case> cases = {
        {"usb", [](ConnectionPanelState&) {}, {Field::MachineNo}},
        {"usb, bad machine", [](ConnectionPanelState& p) { p.machineNo = u"?"_s; }, {}},
        {"serial", serialPanel, {Field::MachineNo, Field::ComPort, Field::BaudRate}},
        {"serial, bad baud",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.baudRate = u"?"_s;
         },
         {Field::MachineNo, Field::ComPort}},
        {"tcp",
         tcpPanel,
         {Field::MachineNo, Field::Host, Field::Port, Field::Password, Field::TimeOut, Field::Udp}},
        {"tcp, bad port",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.netPort = u"?"_s;
         },
         {Field::MachineNo, Field::Host}},
        {"udp, bad time-out",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.udpTicked = true;
             p.timeOut = u"?"_s;
         },
         {Field::MachineNo, Field::Host, Field::Port, Field::Password}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConnectionPanelState panel;
        c.fill(panel);
        EXPECT_EQ(parseTerminalAddress(panel).fieldsBeforeFailure(), c.before);
    }
}

TEST(TerminalAddress, DescriptionIsTheChosenLinksOptionsAsTyped) {
    struct Case {
        const char* what;
        std::function<void(ConnectionPanelState&)> fill;
        QString description;
    };
    const std::vector<Case> cases = {
        {"usb", [](ConnectionPanelState& p) { p.machineNo = u"2"_s; }, u"--link usb --machine 2"_s},
        {"serial",
         [](ConnectionPanelState& p) {
             p.chooseSerial();
             p.machineNo = u"3"_s;
             p.comPort = u"COM3"_s;
         },
         u"--link serial --machine 3 --com COM3 --baud 38400"_s},
        {"tcp", tcpPanel, u"--link tcp --machine 1 --ip 10.0.4.21 --port 5005 --timeout 5000 --password 0"_s},
        {"udp",
         [](ConnectionPanelState& p) {
             tcpPanel(p);
             p.udpTicked = true;
         },
         u"--link tcp --machine 1 --ip 10.0.4.21 --port 5005 --udp --timeout 5000 --password 0"_s},
        {"texts that need quotes",
         [](ConnectionPanelState& p) {
             p.chooseTcpIp();
             p.machineNo = u"12x"_s;
             p.ipAddress = u"not an address"_s;
             p.netPort = u"it's"_s;
             p.timeOut.clear();
         },
         u"--link tcp --machine 12x --ip 'not an address' --port 'it'\\''s' --timeout '' --password 0"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConnectionPanelState panel;
        c.fill(panel);
        EXPECT_EQ(parseTerminalAddress(panel).description(), c.description);
    }
}

}  // namespace
// Commands that need the machine number before they connect (the status report's header, the
// raw record lines, the USB-disk import) get its error alone: a link field that does not convert
// is the connect's to report, later.
TEST(TerminalAddress, TheMachineNumberAloneThrowsOnlyItsOwnError) {
    ConnectionPanelState panel;
    tcpPanel(panel);
    panel.machineNo = u"7"_s;
    panel.netPort = u"?"_s;
    EXPECT_EQ(parseTerminalAddress(panel).convertedMachineNo(), 7);

    panel.machineNo = u"1?"_s;
    const TerminalAddress address = parseTerminalAddress(panel);
    try {
        address.convertedMachineNo();
        ADD_FAILURE() << "a machine number that does not convert was accepted";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.text(), address.failures.front().error);
        EXPECT_TRUE(error.text().contains(u"1?"_s)) << error.text().toStdString();
    }
}

}  // namespace orvelo
