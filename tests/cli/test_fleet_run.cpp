// orveloctl on many terminals: the runs one after the other with their headings, the summary
// table and its JSON form, the exit status and the --yes rule. End to end against emulated
// terminals on 127.0.0.1 (one of them down), and in process with commands of this test's own
// whose result the terminal's machine number chooses.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/command_table.h"
#include "cli/fleet_run.h"
#include "cli/orveloctl.h"
#include "core/errors.h"
#include "shell/app_folder_lock.h"
#include "tests/cli/orveloctl_run.h"
#include "tests/collection/qstring_printer.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_database.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {
namespace {

using test::EmulatorProcess;
using test::TestDatabase;
using Result = CommandOutcome::Result;

using test::ProgramRun;
using test::runInProcess;
using test::writeFile;

ProgramRun runProgram(const QStringList& arguments) {
    return test::runProgram(EmulatorProcess::binFolder() + u"/orveloctl"_s, arguments, 300000);
}

// The rows of the summary table after "== summary ==", each split at runs of two or more blanks
// (names and results may hold one).
QList<QStringList> summaryRows(const QString& out) {
    const qsizetype at = out.indexOf(u"== summary ==\n"_s);
    if (at < 0) return {};
    QList<QStringList> rows;
    const QStringList lines = out.mid(at).split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) rows.append(lines[i].split(QRegularExpression(u" {2,}"_s)));
    return rows;
}

// The headings "== NAME ==" in the order printed.
QStringList headings(const QString& text) {
    QStringList names;
    const QRegularExpression heading(u"^== (.*) ==$"_s, QRegularExpression::MultilineOption);
    for (auto it = heading.globalMatch(text); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (name != u"summary"_s) names << name;
    }
    return names;
}

QJsonObject logRecord(int enroll, const QString& time) {
    return {{u"enroll"_s, enroll}, {u"mode"_s, 1}, {u"time"_s, time}};
}

// Three terminals in terminals.ini: "gate a" (machine 1: enroll numbers 1, 2, 3, of which only 1
// is an employee), "lobby" (down: its port was an emulator's that has stopped) and "Gate B"
// (machine 2: enroll 1 twice and the unknown 4).
class FleetEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_states.isValid());
        db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
        gateA = &start(1, {logRecord(1, u"2024-05-06 08:01:10"_s), logRecord(2, u"2024-05-06 08:02:20"_s),
                           logRecord(3, u"2024-05-06 08:03:30"_s)});
        EmulatorProcess& lobby = start(3, {logRecord(1, u"2024-05-06 09:00:00"_s)});
        downPort = lobby.tcpPort();
        lobby.stop();
        gateB = &start(2, {logRecord(1, u"2024-05-07 08:00:00"_s), logRecord(1, u"2024-05-07 17:30:00"_s),
                           logRecord(4, u"2024-05-07 08:05:00"_s)});
        writeFile(db.appDir() + u"terminals.ini"_s,
                  u"; the site's terminals\r\n"
                  u"[gate a]\r\nmachine=1\r\nlink=tcp\r\nip=127.0.0.1\r\nport=%1\r\ntimeout=3000\r\n\r\n"
                  u"[lobby]\r\nmachine=3\r\nlink=tcp\r\nip=127.0.0.1\r\nport=%2\r\ntimeout=3000\r\n\r\n"
                  u"[Gate B]\r\nmachine=2\r\nlink=tcp\r\nip=127.0.0.1\r\nport=%3\r\ntimeout=3000\r\n"_s
                      .arg(gateA->tcpPort())
                      .arg(downPort)
                      .arg(gateB->tcpPort())
                      .toUtf8());
    }

    EmulatorProcess& start(int machine, const QJsonArray& logs) {
        const QString state = m_states.filePath(u"terminal-%1.json"_s.arg(machine));
        EmulatorProcess::writeState(
            state,
            QJsonObject{
                {u"machine"_s, machine}, {u"password"_s, 0}, {u"users"_s, QJsonArray{}}, {u"logs"_s, logs}});
        m_terminals.push_back(std::make_unique<EmulatorProcess>(state));
        EmulatorProcess::Options options;
        options.machine = machine;
        m_terminals.back()->start(options);
        return *m_terminals.back();
    }

    ProgramRun orveloctl(const QStringList& arguments) {
        return runProgram(QStringList{u"--app-dir"_s, db.appDir()} + arguments);
    }

    // "machine:records" for every machine number (EquNo, three digits) in AtdRecord.
    QString storedPerMachine() {
        return db
            .scalar(
                u"SELECT group_concat(EquNo || ':' || n, ' ') FROM "
                u"(SELECT EquNo, count(*) AS n FROM AtdRecord GROUP BY EquNo ORDER BY EquNo)"_s)
            .toString();
    }

    int logsLeftOn(const EmulatorProcess& terminal) {
        return static_cast<int>(terminal.dump().value(u"logs"_s).toArray().size());
    }

    TestDatabase db;
    QTemporaryDir m_states;
    std::vector<std::unique_ptr<EmulatorProcess>> m_terminals;
    EmulatorProcess* gateA = nullptr;
    EmulatorProcess* gateB = nullptr;
    int downPort = 0;
};

TEST_F(FleetEndToEnd, AllTerminalsRunInTheFilesOrderAndTheDownOneStopsNoOther) {
    const ProgramRun run = orveloctl({u"--all-terminals"_s, u"collect"_s});

    EXPECT_EQ(run.status, kExitNotReached) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(headings(run.out), (QStringList{u"gate a"_s, u"lobby"_s, u"Gate B"_s}));
    // Each run's own lines stand under its heading.
    const qsizetype a = run.out.indexOf(u"== gate a =="_s);
    const qsizetype lobby = run.out.indexOf(u"== lobby =="_s);
    const qsizetype b = run.out.indexOf(u"== Gate B =="_s);
    const qsizetype summary = run.out.indexOf(u"== summary =="_s);
    ASSERT_TRUE(a >= 0 && a < lobby && lobby < b && b < summary) << run.out.toStdString();
    EXPECT_TRUE(run.out.mid(a, lobby - a).contains(u"共采集数据记录3条；其中有效数据记录1条"_s))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.mid(b, summary - b).contains(u"共采集数据记录3条；其中有效数据记录2条"_s))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.mid(lobby, b - lobby).contains(u"共采集数据记录"_s));

    const QList<QStringList> rows = summaryRows(run.out);
    ASSERT_EQ(rows.size(), 4) << run.out.toStdString();
    EXPECT_EQ(rows[0], (QStringList{u"terminal"_s, u"result"_s, u"read"_s, u"stored"_s, u"rejected"_s,
                                    u"refused"_s, u"seconds"_s}));
    EXPECT_EQ(rows[1].mid(0, 6), (QStringList{u"gate a"_s, u"done"_s, u"3"_s, u"1"_s, u"2"_s, u"0"_s}));
    EXPECT_EQ(rows[2].mid(0, 6),
              (QStringList{u"lobby"_s, u"not reachable"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s}));
    EXPECT_EQ(rows[3].mid(0, 6), (QStringList{u"Gate B"_s, u"done"_s, u"3"_s, u"2"_s, u"1"_s, u"0"_s}));
    for (const QStringList& row : rows.mid(1))
        EXPECT_TRUE(QRegularExpression(u"^\\d+\\.\\d$"_s).match(row.value(6)).hasMatch())
            << row.join(u'|').toStdString();

    EXPECT_EQ(storedPerMachine(), u"001:1 002:2"_s);
    EXPECT_EQ(logsLeftOn(*gateA), 3);  // collected, not erased
}

TEST_F(FleetEndToEnd, JsonIsTheOnlyTextOnStdoutAndTheRunsGoToStderr) {
    const ProgramRun run = orveloctl({u"--all-terminals"_s, u"--json"_s, u"collect"_s});

    EXPECT_EQ(run.status, kExitNotReached) << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const QJsonObject root = document.object();
    EXPECT_EQ(root.value(u"command"_s).toString(), u"collect"_s);
    EXPECT_EQ(root.value(u"exit"_s).toInt(-1), kExitNotReached);
    const QJsonArray terminals = root.value(u"terminals"_s).toArray();
    ASSERT_EQ(terminals.size(), 3);

    struct Expected {
        const char16_t* name;
        const char16_t* result;
        int read, stored, rejected, exit;
    };
    const Expected expected[] = {{u"gate a", u"done", 3, 1, 2, 0},
                                 {u"lobby", u"not-reachable", 0, 0, 0, 1},
                                 {u"Gate B", u"done", 3, 2, 1, 0}};
    for (qsizetype i = 0; i < 3; ++i) {
        const QJsonObject row = terminals[i].toObject();
        const Expected& e = expected[i];
        EXPECT_EQ(row.value(u"name"_s).toString(), QString::fromUtf16(e.name));
        EXPECT_EQ(row.value(u"result"_s).toString(), QString::fromUtf16(e.result));
        EXPECT_EQ(row.value(u"read"_s).toInt(-1), e.read);
        EXPECT_EQ(row.value(u"stored"_s).toInt(-1), e.stored);
        EXPECT_EQ(row.value(u"rejected"_s).toInt(-1), e.rejected);
        EXPECT_EQ(row.value(u"refused"_s).toInt(-1), 0);
        EXPECT_EQ(row.value(u"exit"_s).toInt(-1), e.exit);
        EXPECT_TRUE(row.value(u"seconds"_s).isDouble());
        EXPECT_GE(row.value(u"seconds"_s).toDouble(-1), 0.0);
    }
    EXPECT_EQ(headings(run.err), (QStringList{u"gate a"_s, u"lobby"_s, u"Gate B"_s}));
    EXPECT_TRUE(run.err.contains(u"共采集数据记录3条；其中有效数据记录2条"_s)) << run.err.toStdString();
    EXPECT_EQ(storedPerMachine(), u"001:1 002:2"_s);
}

TEST_F(FleetEndToEnd, NamedTerminalsRunInTheOrderGivenWithoutRegardToCase) {
    const ProgramRun run =
        orveloctl({u"--terminal"_s, u"GATE B"_s, u"--terminal"_s, u"Gate A"_s, u"collect"_s});

    EXPECT_EQ(run.status, kExitDone) << run.out.toStdString() << run.err.toStdString();
    // The headings carry the names as the file writes them.
    EXPECT_EQ(headings(run.out), (QStringList{u"Gate B"_s, u"gate a"_s}));
    const QList<QStringList> rows = summaryRows(run.out);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[1].value(0), u"Gate B"_s);
    EXPECT_EQ(rows[2].value(0), u"gate a"_s);
    EXPECT_EQ(storedPerMachine(), u"001:1 002:2"_s);
}

TEST_F(FleetEndToEnd, OneTerminalRunsAsAlwaysAndOptionsGivenWinOverItsSection) {
    // lobby's own port is down; --port and --machine on the command line send it to gate B.
    const ProgramRun run =
        orveloctl({u"--terminal"_s, u"lobby"_s, u"--port"_s, QString::number(gateB->tcpPort()),
                   u"--machine"_s, u"2"_s, u"collect"_s});

    EXPECT_EQ(run.status, kExitDone) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(headings(run.out).isEmpty()) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(u"== summary =="_s));
    EXPECT_TRUE(run.out.contains(u"共采集数据记录3条；其中有效数据记录2条"_s)) << run.out.toStdString();
    EXPECT_EQ(storedPerMachine(), u"002:2"_s);

    // Without the override the section's dead port is used.
    const ProgramRun down = orveloctl({u"--terminal"_s, u"lobby"_s, u"collect"_s});
    EXPECT_EQ(down.status, kExitNotReached) << down.out.toStdString();
}

struct YesCase {
    const char* name;
    QStringList arguments;
    int status;
};

class YesRule : public testing::TestWithParam<YesCase> {};

// Before any terminal is reached: the terminals listed do not exist, so a fault of the rule would
// show as a not-reached run rather than as the usage error.
TEST_P(YesRule, UsersChangingCommandsOnSeveralTerminalsNeedYes) {
    TestDatabase db;
    writeFile(db.appDir() + u"terminals.ini"_s,
              "[one]\nlink=tcp\nip=127.0.0.1\nport=1\ntimeout=500\n"
              "[two]\nlink=tcp\nip=127.0.0.1\nport=1\ntimeout=500\n");
    const ProgramRun run = runInProcess(QStringList{u"--app-dir"_s, db.appDir()} + GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status) << run.out.toStdString() << run.err.toStdString();
    if (GetParam().status == kExitUsage) {
        EXPECT_TRUE(
            run.err.contains(u"changes the terminals' users or erases them: give --yes to run it on 2 "
                             u"terminals"_s))
            << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YesRule,
    testing::Values(
        YesCase{"ClearDataOnAll", {u"--all-terminals"_s, u"clear-data"_s}, kExitUsage},
        YesCase{"ClearAdminsOnAll", {u"--all-terminals"_s, u"clear-admins"_s}, kExitUsage},
        YesCase{"UploadOnTwoNamed",
                {u"--terminal"_s, u"one"_s, u"--terminal"_s, u"two"_s, u"enroll-upload"_s, u"--all"_s},
                kExitUsage},
        YesCase{"DeleteOnAll", {u"--all-terminals"_s, u"enroll-delete"_s, u"--all"_s}, kExitUsage},
        YesCase{"SameNameTwice",
                {u"--terminal"_s, u"one"_s, u"--terminal"_s, u"ONE"_s, u"clear-data"_s},
                kExitUsage},
        YesCase{
            "ClearDataOnAllWithYes", {u"--all-terminals"_s, u"--yes"_s, u"clear-data"_s}, kExitNotReached},
        YesCase{"ClearDataOnOne", {u"--terminal"_s, u"one"_s, u"clear-data"_s}, kExitNotReached},
        YesCase{"StatusOnAllNeedsNoYes", {u"--all-terminals"_s, u"status"_s}, kExitNotReached}),
    [](const testing::TestParamInfo<YesCase>& info) { return info.param.name; });

TEST_F(FleetEndToEnd, ClearDataWithYesErasesEveryReachableTerminal) {
    ASSERT_EQ(logsLeftOn(*gateA), 3);
    const ProgramRun refused = orveloctl({u"--all-terminals"_s, u"clear-data"_s});
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_EQ(logsLeftOn(*gateA), 3);
    EXPECT_EQ(logsLeftOn(*gateB), 3);

    const ProgramRun run = orveloctl({u"--all-terminals"_s, u"--yes"_s, u"clear-data"_s});
    EXPECT_EQ(run.status, kExitNotReached) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(logsLeftOn(*gateA), 0);
    EXPECT_EQ(logsLeftOn(*gateB), 0);
}

// The selection's faults, before the database is opened.
struct SelectionCase {
    const char* name;
    const char* file;  // nullptr: no terminals.ini
    QStringList arguments;
    int status;
    const char16_t* message;  // in stderr, after the application folder
};

class Selection : public testing::TestWithParam<SelectionCase> {};

TEST_P(Selection, FaultsAreReportedWithTheirStatus) {
    QTemporaryDir dir;  // no hv.ini: reaching the start-up would give status 3
    ASSERT_TRUE(dir.isValid());
    const QString appDir = dir.path() + u'/';
    if (GetParam().file) writeFile(appDir + u"terminals.ini"_s, GetParam().file);
    const ProgramRun run = runInProcess(QStringList{u"--app-dir"_s, appDir} + GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf16(GetParam().message).replace(u"<dir>"_s, appDir)))
        << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Selection,
    testing::Values(SelectionCase{"MissingFileForANamedTerminal",
                                  nullptr,
                                  {u"--terminal"_s, u"gate"_s, u"status"_s},
                                  kExitError,
                                  u"orveloctl: <dir>terminals.ini: no such file (the list of terminals)"},
                    SelectionCase{"MissingFileForAll",
                                  nullptr,
                                  {u"--all-terminals"_s, u"status"_s},
                                  kExitError,
                                  u"<dir>terminals.ini: no such file"},
                    SelectionCase{"EmptyFileForAll",
                                  "; nothing yet\n",
                                  {u"--all-terminals"_s, u"status"_s},
                                  kExitError,
                                  u"<dir>terminals.ini: no terminal listed"},
                    SelectionCase{"UnknownName",
                                  "[gate]\n",
                                  {u"--terminal"_s, u"door"_s, u"status"_s},
                                  kExitError,
                                  u"<dir>terminals.ini: no terminal named 'door'"},
                    SelectionCase{
                        "BadFile",
                        "[gate]\nlink=tcp\n[door]\nlink=wlan\n",
                        {u"--terminal"_s, u"gate"_s, u"status"_s},
                        kExitError,
                        u"<dir>terminals.ini:4: key 'link' takes usb, serial or tcp, not 'wlan' in [door]"},
                    SelectionCase{"BothSelections",
                                  "[gate]\n",
                                  {u"--terminal"_s, u"gate"_s, u"--all-terminals"_s, u"status"_s},
                                  kExitUsage,
                                  u"--terminal and --all-terminals exclude each other"},
                    SelectionCase{"JsonWithoutList",
                                  nullptr,
                                  {u"--json"_s, u"status"_s},
                                  kExitUsage,
                                  u"--json needs --terminal or --all-terminals"},
                    SelectionCase{"BadLinkOverride",
                                  "[gate]\n",
                                  {u"--terminal"_s, u"gate"_s, u"--link"_s, u"lan"_s, u"status"_s},
                                  kExitUsage,
                                  u"--link takes usb, serial or tcp, not 'lan'"}),
    [](const testing::TestParamInfo<SelectionCase>& info) { return info.param.name; });

// A command of this test: what it comes to follows the machine number of the terminal it runs on.
const CommandRegistration kByMachine{{
    .name = u"test-by-machine"_s,
    .summary = u"done, thrown, warned or no outcome, as the machine number says"_s,
    .run =
        [](CommandInvocation& run) {
            const QString machine = run.context().panel.machineNo;
            run.context().view.appendLog(LogPane::Mmo1,
                                         u"on "_s + machine + u" at "_s + run.context().panel.ipAddress);
            if (machine == u"1"_s) {
                CommandOutcome outcome;
                outcome.read = 5, outcome.stored = 3, outcome.rejected = 1, outcome.refusedByDatabase = 1;
                run.setOutcome(outcome);
            } else if (machine == u"2"_s) {
                throw ConversionError(u"'x' is not a valid integer value"_s);
            } else if (machine == u"3"_s) {
                run.context().view.messageBox(u"时间同步失败！"_s, u"同步设备时间"_s, BoxIcon::Warning);
            } else if (machine == u"4"_s) {
                CommandOutcome outcome;
                outcome.result = Result::Incomplete;
                outcome.read = 7, outcome.stored = 7;
                run.setOutcome(outcome);
            }
        },
}};

TEST(FleetInProcess, EveryRunIsCountedOnItsOwnAndAnErrorStopsOnlyItsTerminal) {
    TestDatabase db;
    writeFile(db.appDir() + u"terminals.ini"_s,
              "[thrown]\nmachine=2\nip=10.0.0.2\n[counted]\nmachine=1\nip=10.0.0.1\n"
              "[warned]\nmachine=3\n[incomplete]\nmachine=4\n[plain]\nmachine=9\n");
    const ProgramRun run =
        runInProcess({u"--app-dir"_s, db.appDir(), u"--all-terminals"_s, u"test-by-machine"_s});

    EXPECT_EQ(run.status, kExitError);
    EXPECT_EQ(headings(run.out),
              (QStringList{u"thrown"_s, u"counted"_s, u"warned"_s, u"incomplete"_s, u"plain"_s}));
    EXPECT_TRUE(run.out.contains(u"== counted ==\non 1 at 10.0.0.1\n"_s)) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(u"'x' is not a valid integer value"_s)) << run.err.toStdString();
    const QList<QStringList> rows = summaryRows(run.out);
    ASSERT_EQ(rows.size(), 6) << run.out.toStdString();
    EXPECT_EQ(rows[1].mid(0, 6), (QStringList{u"thrown"_s, u"error"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s}));
    EXPECT_EQ(rows[2].mid(0, 6), (QStringList{u"counted"_s, u"done"_s, u"5"_s, u"3"_s, u"1"_s, u"1"_s}));
    EXPECT_EQ(rows[3].mid(0, 2), (QStringList{u"warned"_s, u"incomplete"_s}));
    EXPECT_EQ(rows[4].mid(0, 4), (QStringList{u"incomplete"_s, u"incomplete"_s, u"7"_s, u"7"_s}));
    EXPECT_EQ(rows[5].mid(0, 2), (QStringList{u"plain"_s, u"done"_s}));

    const ProgramRun json =
        runInProcess({u"--app-dir"_s, db.appDir(), u"--all-terminals"_s, u"--json"_s, u"test-by-machine"_s});
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QStringList exits;
    for (const QJsonValue& row : root.value(u"terminals"_s).toArray())
        exits << row.toObject().value(u"name"_s).toString() + u'=' +
                     QString::number(row.toObject().value(u"exit"_s).toInt(-1));
    EXPECT_EQ(exits,
              (QStringList{u"thrown=2"_s, u"counted=0"_s, u"warned=1"_s, u"incomplete=1"_s, u"plain=0"_s}));
    EXPECT_EQ(root.value(u"exit"_s).toInt(-1), kExitError);
    EXPECT_EQ(json.status, kExitError);
}

// A command of this test that holds the folder's lock: it says whether another holder would find
// the folder taken while it runs.
const CommandRegistration kLocked{{
    .name = u"test-locked"_s,
    .summary = u"tells whether the application folder is locked while it runs"_s,
    .run =
        [](CommandInvocation& run) {
            const bool taken = !AppFolderLock(run.context().appDir).tryLock();
            run.context().view.appendLog(LogPane::Mmo1, taken ? u"folder locked"_s : u"folder free"_s);
        },
    .holdsFolderLock = true,
}};

TEST(FleetInProcess, EachRunTakesTheFoldersLockOrSaysItIsBusy) {
    TestDatabase db;
    writeFile(db.appDir() + u"terminals.ini"_s, "[one]\nmachine=1\n[two]\nmachine=2\n");
    const QStringList arguments = {u"--app-dir"_s, db.appDir(), u"--all-terminals"_s};

    const ProgramRun free = runInProcess(arguments + QStringList{u"test-locked"_s});
    EXPECT_EQ(free.status, kExitDone) << free.err.toStdString();
    EXPECT_EQ(free.out.count(u"folder locked\n"_s), 2) << free.out.toStdString();
    EXPECT_TRUE(AppFolderLock(db.appDir()).tryLock()) << "a run kept the lock";

    AppFolderLock other(db.appDir());
    ASSERT_TRUE(other.tryLock());
    const ProgramRun busy = runInProcess(arguments + QStringList{u"--wait"_s, u"0"_s, u"test-locked"_s});
    EXPECT_EQ(busy.status, kExitNotReached);
    EXPECT_FALSE(busy.out.contains(u"folder"_s))
        << "the command ran without the lock: " << busy.out.toStdString();
    EXPECT_EQ(busy.err.count(other.path()), 2) << busy.err.toStdString();
    const QList<QStringList> rows = summaryRows(busy.out);
    ASSERT_EQ(rows.size(), 3) << busy.out.toStdString();
    EXPECT_EQ(rows[1].mid(0, 2), (QStringList{u"one"_s, u"incomplete"_s}));
    EXPECT_EQ(rows[2].mid(0, 2), (QStringList{u"two"_s, u"incomplete"_s}));

    // Commands that hold no lock run regardless.
    EXPECT_EQ(runInProcess(arguments + QStringList{u"test-by-machine"_s}).out.count(u"on "_s), 2);

    const ProgramRun badWait =
        runInProcess(arguments + QStringList{u"--wait"_s, u"soon"_s, u"test-locked"_s});
    EXPECT_EQ(badWait.status, kExitUsage);
    EXPECT_TRUE(badWait.err.contains(u"--wait takes a number of seconds, not 'soon'"_s))
        << badWait.err.toStdString();
}

// A command of this test standing for a long terminal command: on machine 2 the operator's
// SIGTERM comes while it runs, and it ends as the commands do when asked to stop.
const CommandRegistration kStoppedOnTwo{{
    .name = u"test-stopped-on-two"_s,
    .summary = u"SIGTERM comes while it runs on machine 2"_s,
    .run =
        [](CommandInvocation& run) {
            run.context().view.appendLog(LogPane::Mmo1, u"ran on "_s + run.context().panel.machineNo);
            if (run.context().panel.machineNo == u"2"_s) ::raise(SIGTERM);
            CommandOutcome outcome;
            outcome.read = 1;
            if (run.context().cancelRequested()) outcome.result = Result::Incomplete;
            run.setOutcome(outcome);
        },
    .holdsFolderLock = true,
}};

TEST(FleetInProcess, SigtermStopsTheRunningTerminalAndStartsNoOther) {
    TestDatabase db;
    writeFile(db.appDir() + u"terminals.ini"_s,
              "[one]\nmachine=1\n[two]\nmachine=2\n[three]\nmachine=3\n[four]\nmachine=4\n");
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);

    const ProgramRun run =
        runInProcess({u"--app-dir"_s, db.appDir(), u"--all-terminals"_s, u"test-stopped-on-two"_s});

    EXPECT_EQ(run.status, kExitNotReached) << run.err.toStdString();
    EXPECT_EQ(headings(run.out), (QStringList{u"one"_s, u"two"_s}));
    EXPECT_EQ(run.out.count(u"ran on "_s), 2) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(u"orveloctl: cancelled; not run on: three, four\n"_s))
        << run.err.toStdString();
    const QList<QStringList> rows = summaryRows(run.out);
    ASSERT_EQ(rows.size(), 5) << run.out.toStdString();
    EXPECT_EQ(rows[1].mid(0, 3), (QStringList{u"one"_s, u"done"_s, u"1"_s}));
    EXPECT_EQ(rows[2].mid(0, 3), (QStringList{u"two"_s, u"incomplete"_s, u"1"_s}));
    EXPECT_EQ(rows[3].mid(0, 3), (QStringList{u"three"_s, u"not run"_s, u"0"_s}));
    EXPECT_EQ(rows[4].mid(0, 3), (QStringList{u"four"_s, u"not run"_s, u"0"_s}));
    // The handlers are taken back when orveloctl's run ends.
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);

    // Each run starts with no cancellation: the JSON form of the same run shows it again.
    const ProgramRun json = runInProcess(
        {u"--app-dir"_s, db.appDir(), u"--all-terminals"_s, u"--json"_s, u"test-stopped-on-two"_s});
    EXPECT_EQ(json.status, kExitNotReached);
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QStringList results;
    for (const QJsonValue& terminal : root.value(u"terminals"_s).toArray()) {
        const QJsonObject row = terminal.toObject();
        results << row.value(u"name"_s).toString() + u'=' + row.value(u"result"_s).toString() +
                       (row.value(u"started"_s).toBool(false) ? u" started/"_s : u" not started/"_s) +
                       QString::number(row.value(u"exit"_s).toInt(-1));
    }
    EXPECT_EQ(results,
              (QStringList{u"one=done started/0"_s, u"two=incomplete started/1"_s,
                           u"three=incomplete not started/1"_s, u"four=incomplete not started/1"_s}));
    EXPECT_EQ(root.value(u"exit"_s).toInt(-1), kExitNotReached);
}

TEST(FleetSummary, ExitIsTheWorstRunAndResultsHaveTheirWords) {
    EXPECT_EQ(worstExitStatus({}), kExitDone);
    TerminalRun done{u"a"_s, {}, kExitDone, 0.26};
    TerminalRun late{u"b"_s, {}, kExitNotReached, 1.0};
    late.outcome.result = Result::NotReachable;
    EXPECT_EQ(worstExitStatus({done, late, done}), kExitNotReached);
    EXPECT_EQ(worstExitStatus({late, TerminalRun{u"c"_s, {}, kExitError, 0}}), kExitError);

    EXPECT_EQ(resultWord(Result::Done), u"done"_s);
    EXPECT_EQ(resultWord(Result::Incomplete), u"incomplete"_s);
    EXPECT_EQ(resultWord(Result::NotReachable), u"not reachable"_s);
    EXPECT_EQ(resultWord(Result::NotReachable, true), u"not-reachable"_s);
    EXPECT_EQ(resultWord(Result::Error, true), u"error"_s);

    EXPECT_EQ(summaryTable({done, late}),
              u"terminal  result         read  stored  rejected  refused  seconds\n"
              u"a         done              0       0         0        0      0.3\n"
              u"b         not reachable     0       0         0        0      1.0\n"_s);
}

}  // namespace
}  // namespace orvelo::cli
