// orveloctl: its options, exit statuses and console output, run as a program and in process
// with commands of this test's own registered in the table.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <stdexcept>

#include "cli/command_table.h"
#include "cli/connect_watch.h"
#include "cli/console_operator_view.h"
#include "cli/orveloctl.h"
#include "core/errors.h"
#include "tests/cli/orveloctl_run.h"
#include "tests/support/call_log.h"
#include "tests/support/scripted_terminal_library.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {
namespace {

using test::runInProcess;
using test::writeFile;
using Outcome = test::ProgramRun;

// An application folder with the embedded database.
struct AppFolder {
    AppFolder() {
        EXPECT_TRUE(dir.isValid());
        path = dir.path() + u'/';
        writeFile(path + u"hv.ini"_s, "[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
    }
    QTemporaryDir dir;
    QString path;
};

Outcome runProgram(const QStringList& arguments) {
    return test::runProgram(QStringLiteral(ORVELOCTL_PATH), arguments, 60000);
}

// Commands of this test: they report what they were given and fail on demand.
const CommandRegistration kPanel{{
    .name = u"test-panel"_s,
    .summary = u"prints the connection panel"_s,
    .run =
        [](CommandInvocation& run) {
            const ConnectionPanelState s = run.context().panel;
            const QString link = s.usbChecked ? u"usb"_s : s.rs232Checked ? u"serial"_s : u"tcp"_s;
            const QStringList fields = {s.machineNo,
                                        link,
                                        s.comPort,
                                        s.baudRate,
                                        s.ipAddress,
                                        s.netPort,
                                        s.udpTicked ? u"udp"_s : u"tcp"_s,
                                        s.timeOut,
                                        s.netPassword};
            run.context().view.appendLog(LogPane::Mmo1, fields.join(u'|'));
            run.context().view.appendLog(LogPane::Mmo1, run.context().appDir);
        },
}};

const CommandRegistration kReport{{
    .name = u"test-report"_s,
    .summary = u"log lines, boxes and an error as asked"_s,
    .options = {QCommandLineOption(u"warn"_s, u"show a warning box"_s),
                QCommandLineOption(u"fail"_s, u"throw this error text"_s, u"TEXT"_s)},
    .run =
        [](CommandInvocation& run) {
            OperatorView& view = run.context().view;
            view.appendLog(LogPane::Mmo2, u"正在采集"_s);
            view.appendLog(LogPane::Mmo2, QString());
            view.messageBox(u"共采集数据1条"_s, u"数据采集"_s, BoxIcon::Information);
            view.appendLog(LogPane::Mmo1, u"下一行"_s);
            if (run.isSet(u"warn"_s))
                view.messageBox(u"设备连接失败，请连接好设备后重试！"_s, u"获取设备状态"_s, BoxIcon::Warning);
            if (run.isSet(u"fail"_s)) throw ConversionError(run.value(u"fail"_s));
            view.appendLog(LogPane::Mmo2, u"完成"_s);
        },
}};

const CommandRegistration kFile{{
    .name = u"test-file"_s,
    .summary = u"prints the file chosen in the dialog"_s,
    .arguments =
        {{.name = u"FILE"_s, .description = u"the file"_s, .optional = true, .answersFileDialog = true}},
    .run =
        [](CommandInvocation& run) {
            const std::optional<QString> chosen = run.context().view.chooseFile();
            run.context().view.appendLog(LogPane::Mmo2, chosen ? *chosen : u"cancelled"_s);
        },
}};

const CommandRegistration kRuntimeError{{
    .name = u"test-crash"_s,
    .summary = u"throws a standard exception"_s,
    .run = [](CommandInvocation&) { throw std::runtime_error("vector::at"); },
}};

TEST(Orveloctl, HelpListsTheOptionsAndTheCommands) {
    AppFolder folder;
    for (const QStringList& arguments :
         {QStringList{u"--help"_s}, QStringList{u"--app-dir"_s, folder.path, u"--help"_s},
          QStringList{u"-h"_s}}) {
        const Outcome run = runProgram(arguments);
        EXPECT_EQ(run.status, 0) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.out.startsWith(u"Usage: orveloctl [OPTIONS] COMMAND [COMMAND OPTIONS]\n"_s));
        for (const QString& option : {u"--app-dir DIR"_s, u"--machine TEXT"_s, u"--link usb|serial|tcp"_s,
                                      u"--com TEXT"_s, u"--baud TEXT"_s, u"--ip TEXT"_s, u"--port TEXT"_s,
                                      u"--udp"_s, u"--timeout TEXT"_s, u"--password TEXT"_s})
            EXPECT_TRUE(run.out.contains(option)) << option.toStdString();
        EXPECT_TRUE(run.out.contains(u"\nCommands:\n"_s));
        EXPECT_TRUE(run.out.contains(u"  check-database "_s));
        EXPECT_TRUE(run.err.isEmpty());
    }
    // Help needs no database: the folder is not touched.
    EXPECT_FALSE(QFile::exists(folder.path + u"orvelo.db"_s));

    const Outcome command = runProgram({u"check-database"_s, u"--help"_s});
    EXPECT_EQ(command.status, 0);
    EXPECT_TRUE(command.out.startsWith(u"Usage: orveloctl [OPTIONS] check-database\n"_s));
}

TEST(Orveloctl, UsageErrorsExitWith64) {
    AppFolder folder;
    const QStringList cases[] = {
        {},
        {u"no-such-command"_s},
        {u"--no-such-option"_s, u"check-database"_s},
        {u"--link"_s, u"wifi"_s, u"check-database"_s},
        {u"--machine"_s},
        {u"check-database"_s, u"--no-such-option"_s},
        {u"check-database"_s, u"unexpected"_s},
    };
    for (const QStringList& arguments : cases) {
        const Outcome run = runProgram(QStringList{u"--app-dir"_s, folder.path} + arguments);
        EXPECT_EQ(run.status, 64) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(u"orveloctl: "_s)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(folder.path + u"orvelo.db"_s)) << "a usage error comes before the start-up";
}

TEST(Orveloctl, StartUpFailureExitsWith3) {
    const QByteArray inis[] = {
        "[database]\r\nlogin mode=Win\r\n",
        "[database]\r\nlogin mode=\r\n",
        "[database]\r\nprovider=sqlite\r\ndatabase name=missing-folder/x/orvelo.db\r\n",
        "[database]\r\nprovider=unknown\r\n",
    };
    for (const QByteArray& ini : inis) {
        QTemporaryDir dir;
        writeFile(dir.path() + u"/hv.ini"_s, ini);
        const Outcome run = runProgram({u"--app-dir"_s, dir.path(), u"check-database"_s});
        EXPECT_EQ(run.status, 3) << ini.toStdString();
        EXPECT_EQ(run.err, u"Orvelo: 数据库连接失败!\n"_s) << ini.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(Orveloctl, StartsUpOnTheEmbeddedDatabase) {
    AppFolder folder;
    const Outcome run = runProgram({u"--app-dir"_s, folder.path, u"check-database"_s});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.isEmpty());
    EXPECT_TRUE(QFile::exists(folder.path + u"orvelo.db"_s));
}

TEST(Orveloctl, PanelOptionsDefaultToTheWindowsInitialTexts) {
    AppFolder folder;
    const struct {
        QStringList options;
        QString panel;
    } cases[] = {
        {{}, u"1|usb|COM1|38400|192.168.1.201|5005|tcp|5000|0"_s},
        {{u"--link"_s, u"tcp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s, u"4370"_s, u"--udp"_s,
          u"--timeout"_s, u"200"_s, u"--password"_s, u"x1"_s, u"--machine"_s, u" 2"_s},
         u" 2|tcp|COM1|38400|127.0.0.1|4370|udp|200|x1"_s},
        {{u"--link"_s, u"serial"_s, u"--com"_s, u"com3"_s, u"--baud"_s, u"12345"_s, u"--machine=-1"_s},
         u"-1|serial|com3|12345|192.168.1.201|5005|tcp|5000|0"_s},
        {{u"--ip"_s, QString()}, u"1|usb|COM1|38400||5005|tcp|5000|0"_s},
    };
    for (const auto& c : cases) {
        const Outcome run =
            runInProcess(QStringList{u"--app-dir"_s, folder.path} + c.options + QStringList{u"test-panel"_s});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, c.panel + u'\n' + QDir::cleanPath(folder.path) + u"/\n"_s);
    }
}

TEST(Orveloctl, LinesBoxesAndErrorsInOrderWithTheirExitStatus) {
    AppFolder folder;
    const QString common = u"正在采集\n\n数据采集: 共采集数据1条\n下一行\n"_s;
    const struct {
        QStringList options;
        int status;
        QString out;
        QString err;
    } cases[] = {
        {{}, 0, common + u"完成\n"_s, {}},
        {{u"--warn"_s}, 1, common + u"获取设备状态: 设备连接失败，请连接好设备后重试！\n完成\n"_s, {}},
        {{u"--fail"_s, u"'x' is not a valid integer value"_s},
         2,
         common,
         u"Orvelo系统: 'x' is not a valid integer value.\n"_s},
        {{u"--warn"_s, u"--fail"_s, u"失败!"_s},
         2,
         common + u"获取设备状态: 设备连接失败，请连接好设备后重试！\n"_s,
         u"Orvelo系统: 失败!\n"_s},
    };
    for (const auto& c : cases) {
        const Outcome run =
            runInProcess(QStringList{u"--app-dir"_s, folder.path, u"test-report"_s} + c.options);
        EXPECT_EQ(run.status, c.status) << c.options.join(u' ').toStdString();
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    const Outcome crash = runInProcess({u"--app-dir"_s, folder.path, u"test-crash"_s});
    EXPECT_EQ(crash.status, 2);
    EXPECT_EQ(crash.err, u"Orvelo系统: vector::at.\n"_s);
}

TEST(Orveloctl, AFileArgumentIsTheDialogsChoice) {
    AppFolder folder;
    const Outcome absolute =
        runInProcess({u"--app-dir"_s, folder.path, u"test-file"_s, folder.path + u"data/../a.txt"_s});
    EXPECT_EQ(absolute.out, QDir::cleanPath(folder.path + u"a.txt"_s) + u'\n');
    const Outcome relative = runInProcess({u"--app-dir"_s, folder.path, u"test-file"_s, u"b.hv"_s});
    EXPECT_EQ(relative.out, QDir::current().absoluteFilePath(u"b.hv"_s) + u'\n');
    const Outcome none = runInProcess({u"--app-dir"_s, folder.path, u"test-file"_s});
    EXPECT_EQ(none.out, u"cancelled\n"_s);
    EXPECT_EQ(none.status, 0);
}

TEST(ConnectWatch, RemembersAFailedConnect) {
    // Each row: the handle the connect calls return, whether the command counts as not connected.
    const struct {
        std::int32_t handle;
        bool failed;
    } cases[] = {{1, false}, {7, false}, {0, true}, {-3, true}};
    for (const auto& c : cases) {
        test::CallLog log;
        test::ScriptedTerminalLibrary scripted(log);
        scripted.connectResult = c.handle;
        for (int link = 0; link < 3; ++link) {
            ConnectWatch watch(scripted);
            EXPECT_FALSE(watch.connectFailed());
            std::int32_t result = 0;
            if (link == 0) result = watch.FK_ConnectUSB(1);
            if (link == 1) result = watch.FK_ConnectComm(1, 1, 38400, nullptr, 0);
            if (link == 2) result = watch.FK_ConnectNet(1, "127.0.0.1", 5005, 100, 0, 0);
            EXPECT_EQ(result, c.handle);
            EXPECT_EQ(watch.connectFailed(), c.failed) << c.handle << " link " << link;
            // Other operations pass through and change nothing.
            watch.FK_DisConnect(result);
            EXPECT_EQ(watch.connectFailed(), c.failed);
        }
        EXPECT_EQ(scripted.calls(u"FK_DisConnect"_s).size(), 3);
    }
}

TEST(ConsoleOperatorView, StatusLineOnlyOnATerminal) {
    for (const bool terminal : {false, true}) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        {
            ConsoleOperatorView view(out, err, terminal);
            view.setStatusText(u"正在采集数据..."_s);
            view.setProgress(0, true);
            EXPECT_EQ(view.statusLine(), u"正在采集数据... [..............................] 0%"_s);
            view.setProgress(150, true);
            EXPECT_EQ(view.statusLine(), u"正在采集数据... [##############################] 150%"_s);
            view.appendLog(LogPane::Mmo2, u"a"_s);
            view.setProgress(0, false);
            view.setStatusText(QString());
            EXPECT_TRUE(view.statusLine().isEmpty());
        }
        EXPECT_EQ(test::readBack(out), u"a\n"_s);
        const QString errText = test::readBack(err);
        if (terminal) {
            EXPECT_TRUE(errText.contains(u"\r正在采集数据... [##############################] 150%\x1b[K"_s));
            EXPECT_TRUE(errText.endsWith(u"\r\x1b[K"_s)) << "the status line is gone at the end";
        } else {
            EXPECT_TRUE(errText.isEmpty());
        }
        std::fclose(out);
        std::fclose(err);
    }
}

}  // namespace
}  // namespace orvelo::cli
