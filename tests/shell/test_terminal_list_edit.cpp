// Editing terminals.ini from the window: the exact text each edit leaves (comments, blank lines,
// order and line ends kept), the refusals with the reader's own texts, and the file on disk
// replaced whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "core/errors.h"
#include "shell/panel_defaults.h"
#include "shell/terminal_list.h"
#include "shell/terminal_list_edit.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

const QString kPath = u"/apps/orvelo/terminals.ini"_s;

const QString kSite =
    u"; Orvelo terminals\n"
    u"; one section per terminal\n"
    u"\n"
    u"[Gate 1]\n"
    u"machine = 1\n"
    u"link = tcp\n"
    u"; moved in 2025\n"
    u"ip = 10.0.4.21\n"
    u"port = 5005\n"
    u"\n"
    u"; the lobby\n"
    u"[Lobby]\n"
    u"LINK = USB\n"
    u"machine = 2\n"_s;

// The panel a section gives, as the window takes it into the connection panel.
ConnectionPanelState panelOf(const QString& text, const QString& name) {
    const TerminalList list = readTerminalListText(kPath, text);
    const TerminalEntry* entry = list.find(name);
    EXPECT_NE(entry, nullptr) << name.toStdString();
    return entry ? entry->panel : ConnectionPanelState{};
}

ConnectionPanelState serial(const QString& machine, const QString& com, const QString& baud) {
    ConnectionPanelState panel = initialPanelState();
    panel.chooseSerial();
    panel.machineNo = machine;
    panel.comPort = com;
    panel.baudRate = baud;
    return panel;
}

ConnectionPanelState tcp(const QString& machine, const QString& ip) {
    ConnectionPanelState panel = initialPanelState();
    panel.chooseTcpIp();
    panel.machineNo = machine;
    panel.ipAddress = ip;
    return panel;
}

struct EditCase {
    const char* name;
    QString before;
    std::function<QString(const QString&)> edit;
    QString after;
};

class TerminalListEdit : public testing::TestWithParam<EditCase> {};

TEST_P(TerminalListEdit, LeavesExactlyThisText) {
    const EditCase& c = GetParam();
    EXPECT_EQ(c.edit(c.before), c.after);
}

// The same edit on the same file with CR LF line ends gives the same text with CR LF; a file begun
// by an edit has LF.
TEST_P(TerminalListEdit, KeepsCrLfLineEnds) {
    const EditCase& c = GetParam();
    QString before = c.before;
    QString after = c.after;
    before.replace(u"\n"_s, u"\r\n"_s);
    if (!before.isEmpty()) after.replace(u"\n"_s, u"\r\n"_s);
    EXPECT_EQ(c.edit(before), after);
}

const EditCase kEdits[] = {
    {"AddSerialAtTheEnd", kSite,
     [](const QString& text) {
         return addTerminalToText(kPath, text, u" Branch "_s, serial(u"3"_s, u"COM3"_s, u"9600"_s));
     },
     kSite + u"\n[Branch]\nmachine = 3\nlink = serial\ncom = COM3\nbaud = 9600\n"_s},
    {"AddTcpWritesEveryKeyOfItsLink", kSite,
     [](const QString& text) {
         return addTerminalToText(kPath, text, u"Dock"_s, tcp(u"4"_s, u"10.0.4.30"_s));
     },
     kSite +
         u"\n[Dock]\nmachine = 4\nlink = tcp\nip = 10.0.4.30\nport = 5005\nudp = 0\ntimeout = 5000\npassword = 0\n"_s},
    {"AddUsbWritesAnotherLinksKeyOnlyWhenItDiffers", kSite,
     [](const QString& text) {
         ConnectionPanelState panel = initialPanelState();
         panel.machineNo = u"5"_s;
         panel.comPort = u"COM4"_s;
         return addTerminalToText(kPath, text, u"Desk"_s, panel);
     },
     kSite + u"\n[Desk]\nmachine = 5\nlink = usb\ncom = COM4\n"_s},
    {"AddToAnEmptyFile", QString(),
     [](const QString& text) { return addTerminalToText(kPath, text, u"Desk"_s, initialPanelState()); },
     u"[Desk]\nmachine = 1\nlink = usb\n"_s},
    {"AddFollowsTheFilesKeyStyleAndEndsItsLastLine", u"; list\n[A]\nmachine=1"_s,
     [](const QString& text) {
         return addTerminalToText(kPath, text, u"B"_s, serial(u"2"_s, u"COM2"_s, u"38400"_s));
     },
     u"; list\n[A]\nmachine=1\n\n[B]\nmachine=2\nlink=serial\ncom=COM2\nbaud=38400\n"_s},
    {"UpdateChangesValuesInPlaceAndAddsAfterTheLastKey", kSite,
     [](const QString& text) {
         ConnectionPanelState panel = panelOf(text, u"gate 1"_s);
         panel.ipAddress = u"10.0.4.22"_s;
         panel.timeOut = u"800"_s;
         return updateTerminalInText(kPath, text, u"gate 1"_s, panel);
     },
     u"; Orvelo terminals\n; one section per terminal\n\n[Gate 1]\nmachine = 1\nlink = tcp\n; moved in 2025\n"
     u"ip = 10.0.4.22\nport = 5005\ntimeout = 800\n\n; the lobby\n[Lobby]\nLINK = USB\nmachine = 2\n"_s},
    {"UpdateWithTheSamePanelChangesNothing", kSite,
     [](const QString& text) {
         return updateTerminalInText(kPath, text, u"Lobby"_s, panelOf(text, u"Lobby"_s));
     },
     kSite},
    {"UpdateOfTheLastSection", kSite,
     [](const QString& text) {
         ConnectionPanelState panel = panelOf(text, u"Lobby"_s);
         panel.machineNo = u"02"_s;
         return updateTerminalInText(kPath, text, u"LOBBY"_s, panel);
     },
     u"; Orvelo terminals\n; one section per terminal\n\n[Gate 1]\nmachine = 1\nlink = tcp\n; moved in 2025\n"
     u"ip = 10.0.4.21\nport = 5005\n\n; the lobby\n[Lobby]\nLINK = USB\nmachine = 02\n"_s},
    {"UpdateToAnotherLink", kSite,
     [](const QString& text) {
         ConnectionPanelState panel = panelOf(text, u"Gate 1"_s);
         panel.chooseSerial();
         panel.comPort = u"COM2"_s;
         return updateTerminalInText(kPath, text, u"Gate 1"_s, panel);
     },
     u"; Orvelo terminals\n; one section per terminal\n\n[Gate 1]\nmachine = 1\nlink = serial\n; moved in "
     u"2025\n"
     u"ip = 10.0.4.21\nport = 5005\ncom = COM2\n\n; the lobby\n[Lobby]\nLINK = USB\nmachine = 2\n"_s},
    {"RenameRewritesTheHeadingOnly", kSite,
     [](const QString& text) { return renameTerminalInText(kPath, text, u"lobby"_s, u"大厅 东"_s); },
     u"; Orvelo terminals\n; one section per terminal\n\n[Gate 1]\nmachine = 1\nlink = tcp\n; moved in 2025\n"
     u"ip = 10.0.4.21\nport = 5005\n\n; the lobby\n[大厅 东]\nLINK = USB\nmachine = 2\n"_s},
    {"RenameToAnotherCase", kSite,
     [](const QString& text) { return renameTerminalInText(kPath, text, u"Gate 1"_s, u"GATE 1"_s); },
     QString(kSite).replace(u"[Gate 1]"_s, u"[GATE 1]"_s)},
    {"RemoveTakesTheSectionAndOneBlankLine", kSite,
     [](const QString& text) { return removeTerminalFromText(kPath, text, u"Gate 1"_s); },
     u"; Orvelo terminals\n; one section per terminal\n\n; the lobby\n[Lobby]\nLINK = USB\nmachine = 2\n"_s},
    {"RemoveTheLastKeepsTheCommentBeforeIt", kSite,
     [](const QString& text) { return removeTerminalFromText(kPath, text, u"Lobby"_s); },
     u"; Orvelo terminals\n; one section per terminal\n\n[Gate 1]\nmachine = 1\nlink = tcp\n; moved in 2025\n"
     u"ip = 10.0.4.21\nport = 5005\n\n; the lobby\n"_s},
    {"RemoveTheFirstOfTwoWithoutComments", u"[A]\nmachine = 1\n\n[B]\nmachine = 2\n"_s,
     [](const QString& text) { return removeTerminalFromText(kPath, text, u"A"_s); },
     u"[B]\nmachine = 2\n"_s},
    {"RemoveTheOnlyOne", u"[A]\nmachine = 1\n"_s,
     [](const QString& text) { return removeTerminalFromText(kPath, text, u"a"_s); }, QString()},
};

INSTANTIATE_TEST_SUITE_P(Edits, TerminalListEdit, testing::ValuesIn(kEdits),
                         [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

// What an edit writes reads back as the panel it was given.
TEST(TerminalListEditRoundTrip, TheListGivesBackThePanelItWasGiven) {
    ConnectionPanelState odd = tcp(u"7"_s, u"10.9.8.7"_s);
    odd.udpTicked = true;
    odd.netPort = u"6000"_s;
    odd.timeOut = u"1500"_s;
    odd.netPassword = u"1234"_s;
    odd.comPort = u"COM9"_s;  // of another link, kept all the same
    const QString added = addTerminalToText(kPath, kSite, u"Odd"_s, odd);
    const ConnectionPanelState back = panelOf(added, u"Odd"_s);
    EXPECT_EQ(terminalListKeys(back), terminalListKeys(odd));

    ConnectionPanelState changed = serial(u"8"_s, u"COM5"_s, u"115200"_s);
    changed.ipAddress = u"10.1.1.1"_s;
    const ConnectionPanelState updated =
        panelOf(updateTerminalInText(kPath, added, u"odd"_s, changed), u"Odd"_s);
    EXPECT_EQ(terminalListKeys(updated), terminalListKeys(changed));
}

struct Refusal {
    const char* name;
    QString before;
    std::function<QString(const QString&)> edit;
    int line;         // 0: a FileError
    QString message;  // what follows "<path>:<line>: ", or the FileError's whole text
};

class TerminalListEditRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(TerminalListEditRefusal, IsRefusedWithTheReadersText) {
    const Refusal& c = GetParam();
    try {
        c.edit(c.before);
        FAIL() << "accepted";
    } catch (const TerminalListError& error) {
        EXPECT_EQ(error.line(), c.line);
        EXPECT_EQ(error.text(), kPath + u':' + QString::number(c.line) + u": "_s + c.message);
    } catch (const FileError& error) {
        EXPECT_EQ(c.line, 0) << error.text().toStdString();
        EXPECT_EQ(error.text(), c.message);
    }
}

const Refusal kRefusals[] = {
    {"AddANameUsedAlready", kSite,
     [](const QString& text) { return addTerminalToText(kPath, text, u"gate 1"_s, initialPanelState()); }, 16,
     u"the name 'gate 1' is used twice (first on line 4)"_s},
    {"AddAnEmptyName", kSite,
     [](const QString& text) { return addTerminalToText(kPath, text, u"  "_s, initialPanelState()); }, 16,
     u"a terminal without a name"_s},
    {"AddANameWithABracket", kSite,
     [](const QString& text) { return addTerminalToText(kPath, text, u"a]b"_s, initialPanelState()); }, 16,
     u"a heading is [name], the name without ']': '[a]b]'"_s},
    {"AddANameWithAnEscapeSequence", kSite,
     [](const QString& text) {
         return addTerminalToText(kPath, text, u"Gate\x1b[31m"_s, initialPanelState());
     },
     16, u"the heading: a control character in '[Gate\\x1b[31m]'"_s},
    {"AddAValueWithALineBreak", kSite,
     [](const QString& text) {
         return addTerminalToText(kPath, text, u"Dock"_s, tcp(u"4"_s, u"10.0.4.30\nport = 1"_s));
     },
     19, u"key 'ip' in [Dock]: a control character in the value '10.0.4.30\\x0aport = 1'"_s},
    {"UpdateWithANul", kSite,
     [](const QString& text) {
         ConnectionPanelState panel = panelOf(text, u"Gate 1"_s);
         panel.ipAddress = u"127.0.0.1"_s + QChar(0) + u"evil"_s;
         return updateTerminalInText(kPath, text, u"Gate 1"_s, panel);
     },
     8, u"key 'ip' in [Gate 1]: a control character in the value '127.0.0.1\\x00evil'"_s},
    {"UpdateWithAnAddedValueTooLong", kSite,
     [](const QString& text) {
         ConnectionPanelState panel = panelOf(text, u"Gate 1"_s);
         panel.netPassword = QString(3000, u'9');
         return updateTerminalInText(kPath, text, u"Gate 1"_s, panel);
     },
     10, u"key 'password' in [Gate 1]: the line is longer than 2047 characters"_s},
    {"RenameToANameUsedAlready", kSite,
     [](const QString& text) { return renameTerminalInText(kPath, text, u"Lobby"_s, u"GATE 1"_s); }, 12,
     u"the name 'GATE 1' is used twice (first on line 4)"_s},
    {"RenameWithALineBreak", kSite,
     [](const QString& text) { return renameTerminalInText(kPath, text, u"Lobby"_s, u"Lobby]\n[x"_s); }, 12,
     u"the heading: a control character in '[Lobby]\\x0a[x]'"_s},
    {"AnExistingFileWithABadLink", u"[A]\nlink = modem\n"_s,
     [](const QString& text) { return addTerminalToText(kPath, text, u"B"_s, initialPanelState()); }, 2,
     u"key 'link' takes usb, serial or tcp, not 'modem' in [A]"_s},
    {"AnExistingFileWithAKeyBeforeAnyHeading", u"machine = 1\n[A]\n"_s,
     [](const QString& text) { return removeTerminalFromText(kPath, text, u"A"_s); }, 1,
     u"key 'machine' before the first [terminal name]"_s},
    {"UpdateOfANameNotListed", kSite,
     [](const QString& text) { return updateTerminalInText(kPath, text, u"Gate 2"_s, initialPanelState()); },
     0, kPath + u": no terminal named 'Gate 2'"_s},
    {"RemoveOfANameNotListed", kSite,
     [](const QString& text) { return removeTerminalFromText(kPath, text, u"Gate"_s); }, 0,
     kPath + u": no terminal named 'Gate'"_s},
};

INSTANTIATE_TEST_SUITE_P(Refusals, TerminalListEditRefusal, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The files of the folder but the list: a temporary file left behind would show here.
QStringList othersIn(const QTemporaryDir& dir) {
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(u"terminals.ini"_s);
    return names;
}

TEST(TerminalListEditFile, TheFirstAdditionCreatesTheFileAndEachEditReplacesIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = terminalListPath(dir.path() + u'/');
    EXPECT_THROW(updateTerminal(path, u"A"_s, initialPanelState()), FileError);
    EXPECT_FALSE(QFile::exists(path));

    const mode_t mask = ::umask(0027);
    TerminalList list = addTerminal(path, u"A"_s, serial(u"1"_s, u"COM3"_s, u"9600"_s));
    ::umask(mask);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "the mode the umask gives";
    EXPECT_EQ(readBytes(path), "[A]\nmachine = 1\nlink = serial\ncom = COM3\nbaud = 9600\n");
    ASSERT_EQ(list.entries.size(), 1);
    EXPECT_TRUE(list.fileFound);
    EXPECT_EQ(list.path, path);

    list = addTerminal(path, u"B"_s, tcp(u"2"_s, u"10.0.0.2"_s));
    EXPECT_EQ(list.entries.size(), 2);
    list = updateTerminal(path, u"b"_s, tcp(u"2"_s, u"10.0.0.3"_s));
    EXPECT_EQ(list.find(u"B"_s)->panel.ipAddress, u"10.0.0.3"_s);
    list = renameTerminal(path, u"A"_s, u"Gate"_s);
    EXPECT_EQ(list.entries.at(0).name, u"Gate"_s);
    list = removeTerminal(path, u"B"_s);
    EXPECT_EQ(readBytes(path), "[Gate]\nmachine = 1\nlink = serial\ncom = COM3\nbaud = 9600\n");
    EXPECT_EQ(list.entries.size(), 1);
    EXPECT_EQ(readTerminalList(path).entries.size(), 1);
    EXPECT_EQ(othersIn(dir), QStringList());
}

// An installation links the application folder's list to /etc/orvelo/terminals.ini: the edit
// replaces that file, and the link stays.
TEST(TerminalListEditFile, ALinkedListIsEditedWhereItLies) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"etc"_s));
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"app"_s));
    const QString real = dir.filePath(u"etc/terminals.ini"_s);
    const QString link = terminalListPath(dir.filePath(u"app"_s) + u'/');
    writeBytes(real, "[A]\nmachine = 1\n");
    ASSERT_TRUE(QFile::link(real, link));
    removeTerminal(link, u"A"_s);
    addTerminal(link, u"B"_s, initialPanelState());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readBytes(real), "[B]\nmachine = 1\nlink = usb\n");
    EXPECT_EQ(QDir(dir.filePath(u"etc"_s)).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"terminals.ini"_s});
}

TEST(TerminalListEditFile, ABadFileIsRefusedAndNeverRewritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = terminalListPath(dir.path() + u'/');
    const QByteArray bad[] = {
        "; gates\n[Gate 1]\nlink = modem\n",
        "[Gate 1]\nlink = tcp\nip = 10.0.0.1\xff\n",  // not UTF-8
        "[Gate 1]\n[gate 1]\n",
    };
    const int lines[] = {3, 3, 2};
    for (int i = 0; i < 3; ++i) {
        writeBytes(path, bad[i]);
        const std::function<void()> edits[] = {
            [&] { addTerminal(path, u"New"_s, initialPanelState()); },
            [&] { updateTerminal(path, u"Gate 1"_s, initialPanelState()); },
            [&] { renameTerminal(path, u"Gate 1"_s, u"Gate 2"_s); },
            [&] { removeTerminal(path, u"Gate 1"_s); },
        };
        for (const auto& edit : edits) {
            try {
                edit();
                ADD_FAILURE() << "accepted file " << i;
            } catch (const TerminalListError& error) {
                EXPECT_EQ(error.line(), lines[i]) << error.text().toStdString();
                EXPECT_TRUE(error.text().startsWith(path + u':')) << error.text().toStdString();
            }
            EXPECT_EQ(readBytes(path), bad[i]);
        }
    }
    EXPECT_EQ(othersIn(dir), QStringList());
}

TEST(TerminalListEditFile, ARefusedEditLeavesTheFileAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = terminalListPath(dir.path() + u'/');
    const QByteArray before = "\xEF\xBB\xBF; with a byte-order mark\r\n[A]\r\nmachine=1\r\n";
    writeBytes(path, before);
    EXPECT_THROW(addTerminal(path, u"a"_s, initialPanelState()), TerminalListError);
    EXPECT_THROW(renameTerminal(path, u"A"_s, QString()), TerminalListError);
    EXPECT_EQ(readBytes(path), before);
    // An edit that goes through keeps the mark and the line ends.
    addTerminal(path, u"B"_s, initialPanelState());
    EXPECT_EQ(readBytes(path), before + "\r\n[B]\r\nmachine=1\r\nlink=usb\r\n");
}

}  // namespace
}  // namespace orvelo
