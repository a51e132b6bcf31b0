// orveloctl's device commands as a program, against the emulated terminal over TCP and over the
// USB socket: what they print, their exit status and what the terminal holds afterwards.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/device/device_terminal_fixture.h"
#include "tests/support/emulator_process.h"

namespace orvelo {
namespace {

using test::EmulatorProcess;

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

enum class Link { Tcp, Usb };

// hv.ini naming the embedded database, which orveloctl creates at its start-up.
bool writeHvIni(const QTemporaryDir& appDir) {
    QFile ini(appDir.filePath(QStringLiteral("hv.ini")));
    return ini.open(QIODevice::WriteOnly) &&
           ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n") > 0;
}

class OrveloctlDeviceTest : public ::testing::TestWithParam<Link> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_appDir.isValid());
        ASSERT_TRUE(writeHvIni(m_appDir));
        ASSERT_TRUE(m_stateDir.isValid());
        m_statePath = m_stateDir.filePath(QStringLiteral("terminal.json"));
        EmulatorProcess::writeState(m_statePath, test::maintenanceTerminalState());
    }

    void startTerminal(const QStringList& faults = {}) {
        m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
        EmulatorProcess::Options options;
        options.tcp = GetParam() == Link::Tcp;
        options.usb = GetParam() == Link::Usb;
        options.faults = faults;
        m_terminal->start(options);
    }

    QStringList linkArguments() const {
        if (GetParam() == Link::Usb) return {QStringLiteral("--link"), QStringLiteral("usb")};
        return {QStringLiteral("--link"), QStringLiteral("tcp"),
                QStringLiteral("--ip"),   QStringLiteral("127.0.0.1"),
                QStringLiteral("--port"), QString::number(m_terminal->tcpPort())};
    }

    Outcome run(const QStringList& arguments) {
        QProcess process;
        process.setProgram(EmulatorProcess::binFolder() + QStringLiteral("/orveloctl"));
        process.setArguments(QStringList{QStringLiteral("--app-dir"), m_appDir.path()} + arguments);
        process.start();
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    Outcome runOnTerminal(const QString& command) { return run(linkArguments() + QStringList{command}); }

    QTemporaryDir m_appDir;
    QTemporaryDir m_stateDir;
    QString m_statePath;
    std::unique_ptr<EmulatorProcess> m_terminal;
};

QString lines(const QStringList& list) {
    return list.join(u'\n') + u'\n';
}

TEST_P(OrveloctlDeviceTest, EachCommandPrintsItsLinesAndChangesTheTerminal) {
    startTerminal();
    const QJsonObject initial = m_terminal->dump();

    Outcome test = runOnTerminal(QStringLiteral("test-connection"));
    EXPECT_EQ(test.status, 0) << test.err.toStdString();
    EXPECT_EQ(test.out, QStringLiteral("测试设备连接: 设备连接成功!\n"));
    EXPECT_EQ(m_terminal->dump(), initial);

    Outcome status = runOnTerminal(QStringLiteral("status"));
    EXPECT_EQ(status.status, 0) << status.err.toStdString();
    EXPECT_EQ(status.out, lines(test::maintenanceStatusLines() +
                                QStringList{QStringLiteral("获取设备状态:   获取设备状态成功！")}));

    Outcome setTime = runOnTerminal(QStringLiteral("set-time"));
    EXPECT_EQ(setTime.status, 0) << setTime.err.toStdString();
    const QRegularExpression clockLine(
        QStringLiteral("^设置1号设备时间为：(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) "
                       "\\.\\.\\.成功！\n同步设备时间: 时间同步成功！\n\n$"));
    const QRegularExpressionMatch match = clockLine.match(setTime.out);
    ASSERT_TRUE(match.hasMatch()) << setTime.out.toStdString();
    const QJsonObject afterClock = m_terminal->dump();
    // The terminal was a year behind; now it shows the time the line names (give or take the
    // seconds the test itself took).
    EXPECT_LT(std::abs(test::clockDistanceSeconds(afterClock, *parseDateTimeText(match.captured(1)))), 600.0);

    Outcome admins = runOnTerminal(QStringLiteral("clear-admins"));
    EXPECT_EQ(admins.status, 0) << admins.err.toStdString();
    EXPECT_EQ(admins.out, QStringLiteral("清除设备管理员    3个...............成功！\n"
                                         "清除设备管理员: 清除管理员成功！\n\n"));
    const QJsonObject afterAdmins = m_terminal->dump();
    EXPECT_EQ(test::privileges(afterAdmins), (QList<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(afterAdmins.value(QStringLiteral("users")).toArray().size(), 4);

    Outcome clear = runOnTerminal(QStringLiteral("clear-data"));
    EXPECT_EQ(clear.status, 0) << clear.err.toStdString();
    EXPECT_EQ(clear.out, QStringLiteral("清除设备里面全部数据...............成功！\n"
                                        "清除设备全部数据: 清除设备里面全部数据成功！\n\n"));
    const QJsonObject afterClear = m_terminal->dump();
    EXPECT_TRUE(afterClear.value(QStringLiteral("users")).toArray().isEmpty());
    EXPECT_TRUE(afterClear.value(QStringLiteral("logs")).toArray().isEmpty());

    // Every command released the terminal enabled.
    EXPECT_TRUE(afterClear.value(QStringLiteral("enabled")).toBool(true));
}

TEST_P(OrveloctlDeviceTest, RefusedAnswersShowInTheCountsNotAsFailures) {
    // The terminal refuses status code 1 and every change of a privilege.
    startTerminal({QStringLiteral("refuse=GetDeviceStatus:1"), QStringLiteral("refuse=ModifyPrivilege")});

    Outcome status = runOnTerminal(QStringLiteral("status"));
    EXPECT_EQ(status.status, 0) << status.err.toStdString();
    QStringList expected = test::maintenanceStatusLines();
    expected.removeAt(1);
    expected.append(QStringLiteral("获取设备状态:   获取设备状态成功！"));
    EXPECT_EQ(status.out, lines(expected));

    Outcome admins = runOnTerminal(QStringLiteral("clear-admins"));
    EXPECT_EQ(admins.status, 0) << admins.err.toStdString();
    EXPECT_EQ(admins.out, QStringLiteral("清除设备管理员    0个...............成功！\n"
                                         "清除设备管理员: 清除管理员成功！\n\n"));
    EXPECT_EQ(test::privileges(m_terminal->dump()), (QList<int>{1, 1, 0, 0, 2, 0}));
}

TEST_P(OrveloctlDeviceTest, ALinkThatFailsOrARefusedClearingIsAFailure) {
    startTerminal({QStringLiteral("refuse=ClearKeeperData")});
    Outcome clear = runOnTerminal(QStringLiteral("clear-data"));
    // An error of the command (the terminal refused), not a link that failed part-way.
    EXPECT_EQ(clear.status, 2) << clear.err.toStdString();
    EXPECT_EQ(clear.out,
              QStringLiteral("清除设备里面全部数据...............失败！\n"
                             "清除设备全部数据: 清除设备里面全部数据失败，请连接好设备后重试！\n\n"));
    EXPECT_EQ(m_terminal->dump().value(QStringLiteral("users")).toArray().size(), 4);
    m_terminal->stop();

    // Cut in the list request, the walk or the demotions: never reported as done.
    for (const char* fault :
         {"drop-after=2", "drop-after=3", "drop-after=4", "drop-after=5", "corrupt-after=3"}) {
        SCOPED_TRACE(fault);
        EmulatorProcess::writeState(m_statePath, test::maintenanceTerminalState());
        startTerminal({QString::fromLatin1(fault)});
        Outcome admins = runOnTerminal(QStringLiteral("clear-admins"));
        EXPECT_EQ(admins.status, 1) << admins.err.toStdString();
        EXPECT_TRUE(
            admins.out.startsWith(QStringLiteral("清除设备管理员...............失败！\n与设备的连接在清除")))
            << admins.out.toStdString();
        EXPECT_TRUE(admins.out.endsWith(
            QStringLiteral("清除设备管理员: 清除管理员失败，与设备的连接中断，请连接好设备后重试！\n\n")))
            << admins.out.toStdString();
        EXPECT_NE(test::privileges(m_terminal->dump()), (QList<int>{0, 0, 0, 0, 0, 0}));
        m_terminal->stop();
        EXPECT_TRUE(m_terminal->dump().value(QStringLiteral("enabled")).toBool());

        // Once the link holds, the rest are removed.
        startTerminal();
        Outcome again = runOnTerminal(QStringLiteral("clear-admins"));
        EXPECT_EQ(again.status, 0) << again.err.toStdString();
        EXPECT_EQ(test::privileges(m_terminal->dump()), (QList<int>{0, 0, 0, 0, 0, 0}));
        m_terminal->stop();
    }
}

INSTANTIATE_TEST_SUITE_P(Links, OrveloctlDeviceTest, ::testing::Values(Link::Tcp, Link::Usb),
                         [](const auto& info) { return info.param == Link::Tcp ? "Tcp" : "Usb"; });

// Nothing listens on the port: each command's own words, exit status 1.
TEST(OrveloctlDeviceFailureTest, ACommandThatCannotConnectSaysSoAndExitsWithOne) {
    QTemporaryDir appDir;
    ASSERT_TRUE(appDir.isValid());
    ASSERT_TRUE(writeHvIni(appDir));
    const QString port = QString::number(test::unusedLoopbackPort());

    const struct {
        const char* command;
        QString out;
    } cases[] = {
        {"test-connection", QStringLiteral("测试设备连接: 设备连接失败,请连接好设备后重试!\n")},
        {"status", QStringLiteral("获取1号设备状态：\n\n获取设备状态: 设备连接失败，请连接好设备后重试！\n")},
        {"set-time", QStringLiteral("同步设备时间连接: 设备连接失败，请连接好设备后重试！\n\n")},
        {"clear-admins",
         QStringLiteral("清除设备管理员...............失败！\n"
                        "清除设备管理员: 清除管理员失败，可能是设备没有连接好，请连接好设备后重试！\n\n")},
        {"clear-data",
         QStringLiteral("清除设备里面全部数据...............失败！\n"
                        "清除设备全部数据: 清除设备里面全部数据失败，请连接好设备后重试！\n\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        QProcess process;
        process.setProgram(EmulatorProcess::binFolder() + QStringLiteral("/orveloctl"));
        process.setArguments({QStringLiteral("--app-dir"), appDir.path(), QStringLiteral("--link"),
                              QStringLiteral("tcp"), QStringLiteral("--ip"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"), port, QStringLiteral("--timeout"),
                              QStringLiteral("1000"), QString::fromLatin1(c.command)});
        process.start();
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), c.out);
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()), QString());
    }
}

// A machine number that is no number: the default error box on stderr, exit status 2; the
// status report has not written its header yet.
TEST(OrveloctlDeviceFailureTest, AMachineNumberThatIsNoNumberStopsWithTheErrorBox) {
    QTemporaryDir appDir;
    ASSERT_TRUE(appDir.isValid());
    ASSERT_TRUE(writeHvIni(appDir));

    for (const char* command : {"test-connection", "status", "set-time", "clear-admins", "clear-data"}) {
        SCOPED_TRACE(command);
        QProcess process;
        process.setProgram(EmulatorProcess::binFolder() + QStringLiteral("/orveloctl"));
        process.setArguments({QStringLiteral("--app-dir"), appDir.path(), QStringLiteral("--machine"),
                              QStringLiteral("No.1"), QString::fromLatin1(command)});
        process.start();
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), QString());
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()),
                  QStringLiteral("Orvelo系统: 'No.1' is not a valid integer value.\n"));
    }
}

}  // namespace
}  // namespace orvelo
