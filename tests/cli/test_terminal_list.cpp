// terminals.ini: what a good list gives and the message each fault gives, with its line.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "collection/collection_history.h"
#include "core/terminal_address.h"
#include "core/text.h"
#include "shell/panel_defaults.h"
#include "shell/terminal_list.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

const QString kPath = u"/apps/orvelo/terminals.ini"_s;

QString linkOf(const ConnectionPanelState& panel) {
    const int checked = int(panel.usbChecked) + int(panel.rs232Checked) + int(panel.tcpIpChecked);
    if (checked != 1) return u"several"_s;
    return panel.usbChecked ? u"usb"_s : panel.rs232Checked ? u"serial"_s : u"tcp"_s;
}

TEST(TerminalList, GoodFileGivesEveryTerminalInOrderWithItsTexts) {
    const TerminalList list = readTerminalListText(kPath,
                                                   u"; the gates\n"
                                                   u"[Gate 1]\n"
                                                   u"machine = 7\n"
                                                   u"LINK = TCP\n"
                                                   u"ip = 10.0.4.21\n"
                                                   u"port = 5010\n"
                                                   u"udp = 1\n"
                                                   u"timeout = 800\n"
                                                   u"password = 1234\n"
                                                   u"\n"
                                                   u"[ 二楼 考勤机 ]\r\n"
                                                   u"link=serial\r\n"
                                                   u"com=COM3\r\n"
                                                   u"baud=9600\r\n"
                                                   u"[usb desk]\n"_s);
    ASSERT_EQ(list.entries.size(), 3);
    EXPECT_TRUE(list.fileFound);

    const TerminalEntry& gate = list.entries[0];
    EXPECT_EQ(gate.name, u"Gate 1"_s);
    EXPECT_EQ(gate.line, 2);
    EXPECT_EQ(linkOf(gate.panel), u"tcp"_s);
    EXPECT_EQ(gate.panel.machineNo, u"7"_s);
    EXPECT_EQ(gate.panel.ipAddress, u"10.0.4.21"_s);
    EXPECT_EQ(gate.panel.netPort, u"5010"_s);
    EXPECT_TRUE(gate.panel.udpTicked);
    EXPECT_EQ(gate.panel.timeOut, u"800"_s);
    EXPECT_EQ(gate.panel.netPassword, u"1234"_s);

    const TerminalEntry& floor = list.entries[1];
    EXPECT_EQ(floor.name, u"二楼 考勤机"_s);
    EXPECT_EQ(floor.line, 11);
    EXPECT_EQ(linkOf(floor.panel), u"serial"_s);
    EXPECT_EQ(floor.panel.comPort, u"COM3"_s);
    EXPECT_EQ(floor.panel.baudRate, u"9600"_s);
    EXPECT_FALSE(floor.panel.udpTicked);

    // Absent keys keep the panel's initial texts.
    const ConnectionPanelState initial = initialPanelState();
    const TerminalEntry& desk = list.entries[2];
    EXPECT_EQ(linkOf(desk.panel), linkOf(initial));
    EXPECT_EQ(desk.panel.machineNo, initial.machineNo);
    EXPECT_EQ(desk.panel.ipAddress, initial.ipAddress);
    EXPECT_EQ(desk.panel.netPort, initial.netPort);
    EXPECT_EQ(desk.panel.comPort, initial.comPort);
    EXPECT_EQ(desk.panel.baudRate, initial.baudRate);
    EXPECT_EQ(desk.panel.timeOut, initial.timeOut);
    EXPECT_EQ(desk.panel.netPassword, initial.netPassword);
}

TEST(TerminalList, ValuesAreKeptAsTypedForTheConnectToConvert) {
    const TerminalList list =
        readTerminalListText(kPath, u"[odd]\nmachine = 12x\nport = -1\ntimeout =\nip = not an address\n"_s);
    ASSERT_EQ(list.entries.size(), 1);
    EXPECT_EQ(list.entries[0].panel.machineNo, u"12x"_s);
    EXPECT_EQ(list.entries[0].panel.netPort, u"-1"_s);
    EXPECT_EQ(list.entries[0].panel.timeOut, QString());
    EXPECT_EQ(list.entries[0].panel.ipAddress, u"not an address"_s);
}

TEST(TerminalList, NamesMatchWithoutRegardToLetterCase) {
    const TerminalList list = readTerminalListText(kPath, u"[Gate North]\nmachine=2\n[lobby]\nmachine=3\n"_s);
    ASSERT_NE(list.find(u"gate north"_s), nullptr);
    EXPECT_EQ(list.find(u"GATE NORTH"_s)->panel.machineNo, u"2"_s);
    ASSERT_NE(list.find(u"Lobby"_s), nullptr);
    EXPECT_EQ(list.find(u"Lobby"_s)->panel.machineNo, u"3"_s);
    EXPECT_EQ(list.find(u"gate"_s), nullptr);
}

struct FaultCase {
    const char* name;
    const char* text;
    int line;
    const char* message;  // what follows "<path>:<line>: "
};

const FaultCase kFaults[] = {
    {"UnknownKey", "[Gate 1]\nmachine=1\nadress=10.0.0.1\n", 3,
     "unknown key 'adress' in [Gate 1] (known: machine, link, com, baud, ip, port, udp, timeout, password)"},
    {"UnknownLink", "[Gate 1]\nlink=wifi\n", 2,
     "key 'link' takes usb, serial or tcp, not 'wifi' in [Gate 1]"},
    {"EmptyLink", "[Gate 1]\nlink=\n", 2, "key 'link' takes usb, serial or tcp, not '' in [Gate 1]"},
    {"RepeatedName", "[Gate 1]\nmachine=1\n\n[gate 1]\nmachine=2\n", 4,
     "the name 'gate 1' is used twice (first on line 1)"},
    {"RepeatedKey", "[Gate 1]\nip=10.0.0.1\nIP=10.0.0.2\n", 3, "key 'IP' given twice in [Gate 1]"},
    {"UdpNotZeroOrOne", "[Gate 1]\nudp=yes\n", 2, "key 'udp' takes 0 or 1, not 'yes' in [Gate 1]"},
    {"KeyBeforeAnySection", "; list\nmachine=1\n[Gate 1]\n", 2,
     "key 'machine' before the first [terminal name]"},
    {"LineWithoutEquals", "[Gate 1]\nip 10.0.0.1\n", 2, "neither [name] nor key = value: 'ip 10.0.0.1'"},
    {"EmptyName", "[Gate 1]\n[  ]\n", 2, "a terminal without a name"},
    {"HeadingNotClosed", "[Gate 1\nmachine=1\n", 1, "a heading is [name], the name without ']': '[Gate 1'"},
    {"TextAfterHeading", "[Gate 1] main\n", 1, "a heading is [name], the name without ']': '[Gate 1] main'"},
};

class TerminalListFault : public testing::TestWithParam<FaultCase> {};

TEST_P(TerminalListFault, NamesTheFileTheLineAndTheKey) {
    const FaultCase& c = GetParam();
    try {
        readTerminalListText(kPath, QString::fromUtf8(c.text));
        FAIL() << "no error for " << c.name;
    } catch (const TerminalListError& error) {
        EXPECT_EQ(error.line(), c.line);
        EXPECT_EQ(error.text(),
                  kPath + u':' + QString::number(c.line) + u": "_s + QString::fromUtf8(c.message));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TerminalListFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST(TerminalList, FileOnDiskIsReadAndAMissingOneIsAnEmptyListNotFound) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString appDir = dir.path() + u'/';
    const QString path = terminalListPath(appDir);
    EXPECT_EQ(path, appDir + u"terminals.ini"_s);

    const TerminalList missing = readTerminalList(path);
    EXPECT_FALSE(missing.fileFound);
    EXPECT_TRUE(missing.entries.isEmpty());
    EXPECT_EQ(missing.path, path);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Gate 1]\r\nlink=tcp\r\nip=127.0.0.1\r\n[Gate 2]\r\nlink=bogus\r\n");
    file.close();
    try {
        readTerminalList(path);
        FAIL() << "the bad link was accepted";
    } catch (const TerminalListError& error) {
        EXPECT_TRUE(error.text().startsWith(path + u":5: "_s)) << error.text().toStdString();
    }

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Gate 1]\r\nlink=tcp\r\nip=127.0.0.1\r\n");
    file.close();
    const TerminalList found = readTerminalList(path);
    EXPECT_TRUE(found.fileFound);
    ASSERT_EQ(found.entries.size(), 1);
    EXPECT_EQ(found.entries[0].panel.ipAddress, u"127.0.0.1"_s);
}

// Hostile bytes in a file: each is refused on its line, naming the key or the heading, and the
// message shows no raw control byte.
struct HostileCase {
    const char* name;
    QByteArray bytes;
    int line;
    QString message;  // what follows "<path>:<line>: "
};

const QByteArray kLongValue(3000, 'a');

// The bytes of a literal, NULs included.
template <std::size_t N>
QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

const HostileCase kHostile[] = {
    {"NulInValue", raw("[Gate 1]\nlink = tcp\nip = 127.0.0.1\0evil\n"), 3,
     u"key 'ip' in [Gate 1]: a control character in the value '127.0.0.1\\x00evil'"_s},
    {"NulInSectionName", raw("[Gate\0 1]\nlink = usb\n"), 1,
     u"the heading: a control character in '[Gate\\x00 1]'"_s},
    {"NulInValueBeforeAnyHeading", raw("machine = 1\0\n[Gate 1]\n"), 1,
     u"key 'machine': a control character in the value '1\\x00'"_s},
    {"EscapeSequenceInName", "[\x1b[31mGate\x1b[0m]\nmachine = 1\n", 1,
     u"the heading: a control character in '[\\x1b[31mGate\\x1b[0m]'"_s},
    {"EscapeSequenceInValue", "[Gate 1]\nmachine = 1\x1b]0;owned\x07\n", 2,
     u"key 'machine' in [Gate 1]: a control character in the value '1\\x1b]0;owned\\x07'"_s},
    {"EscapeSequenceInKeyName", "[Gate 1]\n\x1b[2Jip = 10.0.0.1\n", 2,
     u"key '\\x1b[2Jip' in [Gate 1]: a control character in its name"_s},
    {"Del",
     "[Gate 1]\nport = 50\x7f"
     "05\n",
     2, u"key 'port' in [Gate 1]: a control character in the value '50\\x7f05'"_s},
    {"CarriageReturnInsideAValue", "[Gate 1]\r\nip = 10.0.0.1\rport = 6000\r\n", 2,
     u"key 'ip' in [Gate 1]: a control character in the value '10.0.0.1\\x0dport = 6000'"_s},
    {"CarriageReturnInsideAHeading", "[Gate 1]\r[Gate 2]\n", 1,
     u"a heading is [name], the name without ']': '[Gate 1]\\x0d[Gate 2]'"_s},
    {"ControlInAnOtherLine", "[Gate 1]\njunk\x01line\n", 2,
     u"the line: a control character in 'junk\\x01line'"_s},
    {"VeryLongValue", "[Gate 1]\nip = " + kLongValue + "\n", 2,
     u"key 'ip' in [Gate 1]: the line is longer than 2047 characters"_s},
    {"VeryLongHeading", "[" + kLongValue + "]\n", 1,
     u"the heading: the line is longer than 2047 characters"_s},
    {"InvalidUtf8InValue", "[Gate 1]\nlink = tcp\nip = 10.0.0.1\xff\n", 3,
     u"key 'ip' in [Gate 1]: not UTF-8 text"_s},
    {"OverlongNulInValue",
     "[Gate 1]\nip = 127.0.0.1\xc0\x80"
     "evil\n",
     2, u"key 'ip' in [Gate 1]: not UTF-8 text"_s},
    {"CutUtf8InName", "[Gate 1]\n[Gate \xe4\xba]\n", 2, u"the heading: not UTF-8 text"_s},
    {"Gb18030Name", "[\xb6\xfe\xc2\xa5]\nlink = usb\n", 1, u"the heading: not UTF-8 text"_s},
};

class TerminalListHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(TerminalListHostile, IsRefusedOnItsLineWithoutARawControlByte) {
    const HostileCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = terminalListPath(dir.path() + u'/');
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.bytes);
    file.close();
    try {
        readTerminalList(path);
        FAIL() << "accepted";
    } catch (const TerminalListError& error) {
        EXPECT_EQ(error.line(), c.line);
        EXPECT_EQ(error.text(), path + u':' + QString::number(c.line) + u": "_s + c.message);
        EXPECT_FALSE(hasControlCharacter(error.text()));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, TerminalListHostile, testing::ValuesIn(kHostile),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

TEST(TerminalList, BlanksAroundNamesAndValuesAndAByteOrderMarkStayHarmless) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = terminalListPath(dir.path() + u'/');
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xef\xbb\xbf[\xe4\xba\x8c\xe6\xa5\xbc]\r\nlink\t=\ttcp \r\nip = 10.0.0.1\t\r\nmachine = " +
               QByteArray(2047 - 11, '0') + "7\r\n");
    file.close();
    const TerminalList list = readTerminalList(path);
    ASSERT_EQ(list.entries.size(), 1);
    EXPECT_EQ(list.entries[0].name, u"二楼"_s);
    const TerminalAddress address = list.entries[0].address();
    EXPECT_EQ(address.link, TerminalAddress::Link::Tcp);
    EXPECT_EQ(address.host, u"10.0.0.1"_s);
    EXPECT_EQ(address.machineNo, 7);
}

// One terminal has one key and one name whether the window's panel, a terminals.ini section or
// the history file that earlier versions wrote names it.
TEST(TerminalList, KeyAndNameAreTheSameFromThePanelTheListAndTheHistoryFile) {
    const TerminalList list = readTerminalListText(kPath,
                                                   u"[Gate 1]\nlink = tcp\nmachine = 1\nip = 10.0.4.21\n"
                                                   u"[Branch]\nlink = serial\nmachine = 3\ncom = COM3\n"
                                                   u"[Desk]\nlink = usb\nmachine = 2\n"_s);
    ASSERT_EQ(list.entries.size(), 3);

    // The panels as the window reads them with these texts typed.
    ConnectionPanelState gate = initialPanelState();
    gate.chooseTcpIp();
    gate.ipAddress = u"10.0.4.21"_s;
    ConnectionPanelState branch = initialPanelState();
    branch.chooseSerial();
    branch.machineNo = u"3"_s;
    branch.comPort = u"COM3"_s;
    ConnectionPanelState desk = initialPanelState();
    desk.machineNo = u"2"_s;

    const QByteArray earlierFile = R"({
    "terminals": {
        "serial COM3 machine 3": {"by": "window", "read": 1, "refused": 0, "rejected": 0,
                                  "result": "done", "stored": 1, "when": "2026-12-08 08:00:00"},
        "tcp 10.0.4.21:5005 machine 1": {"by": "orveloctl", "read": 5, "refused": 0, "rejected": 0,
                                         "result": "done", "stored": 5, "when": "2026-12-10 02:30:04"},
        "usb machine 2": {"by": "window", "read": 0, "refused": 0, "rejected": 0,
                          "result": "not reachable", "stored": 0, "when": "2026-12-09 17:05:09"}
    },
    "version": 1
})";
    const std::optional<CollectionHistory> history = parseCollectionHistory(earlierFile);
    ASSERT_TRUE(history.has_value());

    const struct {
        const TerminalEntry& entry;
        ConnectionPanelState window;
        QString key;
        QString name;
    } cases[] = {
        {list.entries[0], gate, u"tcp 10.0.4.21:5005 machine 1"_s, u"10.0.4.21:5005"_s},
        {list.entries[1], branch, u"serial COM3 machine 3"_s, u"COM3"_s},
        {list.entries[2], desk, u"usb machine 2"_s, u"USB"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry.name.toStdString());
        const TerminalAddress listed = c.entry.address();
        const TerminalAddress typed = parseTerminalAddress(c.window);
        EXPECT_EQ(listed.key(), c.key);
        EXPECT_EQ(typed.key(), c.key);
        EXPECT_EQ(terminalKey(c.window), c.key);
        EXPECT_EQ(listed.displayName(), c.name);
        EXPECT_EQ(typed.displayName(), c.name);
        EXPECT_EQ(listed.description(), typed.description());
        EXPECT_EQ(history->count(listed.key()), 1u);
    }
}

}  // namespace
}  // namespace orvelo
