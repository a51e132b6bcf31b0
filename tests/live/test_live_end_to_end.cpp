// The watch end to end against orvelo-terminal over TCP on 127.0.0.1: sessions in this process
// through libfkattend.so, and orveloctl watch as a process. Every wait is bounded; none is timed.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <mutex>

#include "access/terminal_library.h"
#include "collection/raw_record_file.h"
#include "core/datetime.h"
#include "core/text.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "live/watch_session.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// Polls `done` every 20 ms for at most `bound`; true once it holds.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds bound = 10s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QThread::msleep(20);
    }
    return true;
}

class LiveEndToEndTest : public ::testing::Test {
protected:
    LiveEndToEndTest() {
        stateFile = folder.filePath(u"terminal.json"_s);
        EmulatorProcess::seed(stateFile, 5, 2, 3, 4);
        const QJsonArray users = EmulatorProcess(stateFile).dump()[u"users"_s].toArray();
        for (const auto& user : users) {
            const int enroll = user.toObject()[u"enroll"_s].toInt();
            db.addActiveEmployee(u"E%1"_s.arg(enroll), zeroPad(enroll, 5), u"员工%1"_s.arg(enroll));
        }
    }

    // The watch's threads print into `lines`: they end before the fixture's members go.
    ~LiveEndToEndTest() override {
        if (session) session->stop();
    }

    void startEmulator(EmulatorProcess& emulator, const QStringList& extra = {}, int port = 0) {
        EmulatorProcess::Options options;
        options.tcp = false;
        options.extraArguments = QStringList{u"--tcp"_s, u"127.0.0.1:%1"_s.arg(port)} + extra;
        emulator.start(options);
    }

    void startWatch(int port, live::WatchTuning tuning = {}) {
        library = loadTerminalLibrary(EmulatorProcess::binFolder());
        live::WatchTerminal terminal{u"gate-1"_s, {}};
        terminal.panel.chooseTcpIp();
        terminal.panel.ipAddress = u"127.0.0.1"_s;
        terminal.panel.netPort = QString::number(port);
        terminal.panel.timeOut = u"1000"_s;
        const QString appDir = db.appDir();
        session = std::make_unique<live::WatchSession>(
            live::WatchSetup{.library = *library,
                             .clock = clock,
                             .appDir = appDir,
                             .openDatabase =
                                 [appDir] {
                                     auto data = std::make_unique<DataModule>();
                                     data->openConnection(databaseTargetAtStartup(appDir).value());
                                     return data;
                                 },
                             .print =
                                 [this](const QString& line) {
                                     std::lock_guard lock(linesMutex);
                                     lines << line;
                                 },
                             .tuning = tuning},
            QList<live::WatchTerminal>{terminal});
        session->start();
    }

    // Lines whose third field is `word`.
    int linesWith(const QString& word, const QString& containing = {}) {
        std::lock_guard lock(linesMutex);
        int n = 0;
        for (const QString& line : lines)
            if (line.split(u"  "_s).value(2) == word && line.contains(containing)) ++n;
        return n;
    }
    QString allLines() {
        std::lock_guard lock(linesMutex);
        return lines.join(u'\n');
    }

    static void punch(int port, int enroll) {
        QProcess p;
        p.start(EmulatorProcess::emulatorPath(), {u"punch"_s, u"--tcp"_s, u"127.0.0.1:%1"_s.arg(port),
                                                  u"--enroll"_s, QString::number(enroll)});
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }

    // The rows, each employee, day and minute once, and the terminal's log agree: every record
    // of the log has its row and no row came twice.
    void expectEveryRecordStoredOnce(const QJsonObject& dump) {
        QSet<QString> expected;
        for (const auto& log : dump[u"logs"_s].toArray()) {
            const QJsonObject o = log.toObject();
            expected.insert(u"E%1 %2"_s.arg(o[u"enroll"_s].toInt()).arg(o[u"time"_s].toString().left(16)));
        }
        QSet<QString> stored;
        for (const QVariantMap& row : db.rows(u"select EmplID, RecDate, RecTime from AtdRecord"_s)) {
            const QString key = row[u"EmplID"_s].toString().trimmed() + u' ' +
                                row[u"RecDate"_s].toString().trimmed() + u' ' +
                                row[u"RecTime"_s].toString().trimmed().left(5);
            EXPECT_FALSE(stored.contains(key)) << "stored twice: " << key.toStdString();
            stored.insert(key);
        }
        EXPECT_EQ(stored, expected);
    }

    QTemporaryDir folder;
    QString stateFile;
    TestDatabase db;
    SystemClock clock;
    std::unique_ptr<TerminalLibrary> library;
    std::unique_ptr<live::WatchSession> session;
    std::mutex linesMutex;
    QStringList lines;
};

TEST_F(LiveEndToEndTest, APunchReachesTheDatabaseWhileTheWatchListens) {
    EmulatorProcess emulator(stateFile);
    startEmulator(emulator);
    startWatch(emulator.tcpPort());
    ASSERT_TRUE(eventually([&] { return linesWith(u"listening"_s) == 1; })) << allLines().toStdString();
    const int collected = db.rowCount(u"AtdRecord"_s);
    EXPECT_EQ(collected, 3) << "the records punched while nobody listened are collected first";

    punch(emulator.tcpPort(), 2);
    EXPECT_TRUE(eventually([&] { return db.rowCount(u"AtdRecord"_s) == collected + 1; }))
        << allLines().toStdString();
    EXPECT_TRUE(eventually([&] { return linesWith(u"punch"_s, u"  2  E2  员工2  stored"_s) == 1; }))
        << allLines().toStdString();
    session->stop();
    expectEveryRecordStoredOnce(emulator.dump());
}

TEST_F(LiveEndToEndTest, ATerminalStartedAgainOnItsPortIsCollectedAgainAndEveryPunchStoredOnce) {
    const QStringList punching{u"--punch-every-ms"_s, u"40"_s, u"--punch-seed"_s, u"11"_s};
    auto emulator = std::make_unique<EmulatorProcess>(stateFile);
    startEmulator(*emulator, punching);
    const int port = emulator->tcpPort();
    live::WatchTuning tuning;
    tuning.firstPause = 100ms;
    startWatch(port, tuning);
    ASSERT_TRUE(eventually([&] { return linesWith(u"punch"_s) >= 5; })) << allLines().toStdString();
    ASSERT_EQ(emulator->stop(), 0);
    emulator = std::make_unique<EmulatorProcess>(stateFile);
    startEmulator(*emulator, punching, port);
    ASSERT_TRUE(eventually([&] { return linesWith(u"listening"_s) == 2; }, 60s)) << allLines().toStdString();
    const int before = linesWith(u"punch"_s);
    ASSERT_TRUE(eventually([&] { return linesWith(u"punch"_s) >= before + 5; })) << allLines().toStdString();
    // The terminal goes away once more; every event it sent before is handled when the loss is.
    ASSERT_EQ(emulator->stop(), 0);
    ASSERT_TRUE(eventually([&] { return linesWith(u"lost"_s) == 2; })) << allLines().toStdString();
    session->stop();
    expectEveryRecordStoredOnce(emulator->dump());
}

TEST_F(LiveEndToEndTest, AStoppedTerminalIsNoticedByItsMissingHeartbeatAndReconnectedWhenItGoesOn) {
    EmulatorProcess emulator(stateFile);
    startEmulator(emulator, {u"--heartbeat-ms"_s, u"100"_s});
    live::WatchTuning tuning;
    tuning.firstPause = 100ms;
    tuning.longestPause = 1s;
    startWatch(emulator.tcpPort(), tuning);
    ASSERT_TRUE(eventually([&] { return linesWith(u"listening"_s) == 1; })) << allLines().toStdString();

    ASSERT_EQ(::kill(emulator.pid(), SIGSTOP), 0);
    const bool noticed = eventually([&] { return linesWith(u"lost"_s, u"silent link"_s) == 1; });
    ASSERT_EQ(::kill(emulator.pid(), SIGCONT), 0);
    ASSERT_TRUE(noticed) << allLines().toStdString();

    ASSERT_TRUE(eventually([&] { return linesWith(u"listening"_s) == 2; }, 60s)) << allLines().toStdString();
    const int rows = db.rowCount(u"AtdRecord"_s);
    punch(emulator.tcpPort(), 4);
    EXPECT_TRUE(eventually([&] { return db.rowCount(u"AtdRecord"_s) == rows + 1; }))
        << allLines().toStdString();
}

TEST_F(LiveEndToEndTest, SigtermEndsOrveloctlWatchWithItsRawRecordFileAndTheTerminalEnabled) {
    EmulatorProcess emulator(stateFile);
    startEmulator(emulator);
    QProcess watch;
    watch.start(EmulatorProcess::binFolder() + u"/orveloctl"_s,
                {u"--app-dir"_s, db.appDir(), u"--link"_s, u"tcp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s,
                 QString::number(emulator.tcpPort()), u"watch"_s});
    ASSERT_TRUE(watch.waitForStarted(30000));
    QString out;
    const auto readUntil = [&](const QString& text) {
        return eventually(
            [&] {
                watch.waitForReadyRead(20);
                out += QString::fromUtf8(watch.readAllStandardOutput());
                return out.contains(text);
            },
            30s);
    };
    ASSERT_TRUE(readUntil(u"  listening"_s))
        << out.toStdString() << watch.readAllStandardError().toStdString();
    punch(emulator.tcpPort(), 5);
    ASSERT_TRUE(readUntil(u"  punch  5  E5  员工5  stored"_s)) << out.toStdString();

    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(30000));
    out += QString::fromUtf8(watch.readAllStandardOutput());
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0) << watch.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(u"127.0.0.1:%1  stopped"_s.arg(emulator.tcpPort()))) << out.toStdString();

    const QDir data(rawDataFolder(db.appDir()));
    EXPECT_EQ(data.entryList({u"*.part"_s}), QStringList{});
    // The punch's raw record file is the one the watch names; the collection made its own.
    const qsizetype named = out.indexOf(u"raw record file  "_s);
    ASSERT_GE(named, 0) << out.toStdString();
    const QString file = out.mid(named + 17).section(u'\n', 0, 0);
    const QStringList fileLines = readRawRecordLines(file);
    ASSERT_EQ(fileLines.size(), 1);
    EXPECT_TRUE(fileLines[0].startsWith(u"00005"_s)) << fileLines[0].toStdString();
    EXPECT_TRUE(emulator.dump()[u"enabled"_s].toBool());
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 4);
}

// orveloctl watch as a process on the terminal given by `link` (the global options after
// --app-dir), its output read as it comes.
class WatchProcess {
public:
    WatchProcess(const QString& appDir, const QStringList& link, const QStringList& watchOptions) {
        m_process.start(EmulatorProcess::binFolder() + u"/orveloctl"_s,
                        QStringList{u"--app-dir"_s, appDir} + link + QStringList{u"watch"_s} + watchOptions);
    }
    bool readUntil(const QString& text, std::chrono::milliseconds bound = 30s) {
        return eventually(
            [&] {
                m_process.waitForReadyRead(20);
                out += QString::fromUtf8(m_process.readAllStandardOutput());
                return out.contains(text);
            },
            bound);
    }
    QProcess& process() { return m_process; }
    QString out;

private:
    QProcess m_process;
};

TEST_F(LiveEndToEndTest, OrveloctlWatchPollsAUdpTerminalAndStoresItsPunchesWithinTwoPeriods) {
    EmulatorProcess emulator(stateFile);
    EmulatorProcess::Options options;
    options.udp = true;  // TCP too: the punch command reaches the terminal over it
    emulator.start(options);
    WatchProcess watch(db.appDir(),
                       {u"--link"_s, u"tcp"_s, u"--udp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s,
                        QString::number(emulator.udpPort())},
                       {u"--poll"_s, u"1"_s});
    ASSERT_TRUE(watch.process().waitForStarted(30000));
    const QString name = u"127.0.0.1:%1"_s.arg(emulator.udpPort());
    ASSERT_TRUE(watch.readUntil(name + u"  polling  every 1 s, no events over UDP"_s))
        << watch.out.toStdString() << watch.process().readAllStandardError().toStdString();
    // The records punched while nobody watched come with the first poll.
    ASSERT_TRUE(eventually([&] { return db.rowCount(u"AtdRecord"_s) == 3; })) << watch.out.toStdString();

    // Due within two poll periods; the bound is generous for a loaded machine, and a watch that
    // does not poll never stores it at all.
    punch(emulator.tcpPort(), 5);
    ASSERT_TRUE(watch.readUntil(u"  punch  5  E5  员工5  stored"_s)) << watch.out.toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 4);
    EXPECT_EQ(watch.out.count(u"  polling  "_s), 1) << "it says once that it polls";

    watch.process().terminate();
    ASSERT_TRUE(watch.process().waitForFinished(30000));
    watch.out += QString::fromUtf8(watch.process().readAllStandardOutput());
    EXPECT_EQ(watch.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.process().exitCode(), 0) << watch.process().readAllStandardError().toStdString();
    // The punches, those collected first included, are in the watch's raw record file.
    const qsizetype named = watch.out.indexOf(u"raw record file  "_s);
    ASSERT_GE(named, 0) << watch.out.toStdString();
    EXPECT_EQ(readRawRecordLines(watch.out.mid(named + 17).section(u'\n', 0, 0)).size(), 4);
    EXPECT_EQ(QDir(rawDataFolder(db.appDir())).entryList({u"*.part"_s}), QStringList{});
    expectEveryRecordStoredOnce(emulator.dump());
}

TEST_F(LiveEndToEndTest, OrveloctlWatchWithNoTerminalItCanServeExitsTwo) {
    // The terminal sends no events over UDP and refuses to hand out its log.
    EmulatorProcess emulator(stateFile);
    EmulatorProcess::Options options;
    options.tcp = false;
    options.udp = true;
    options.faults = {u"refuse=LoadGeneralLogData"_s};
    emulator.start(options);
    WatchProcess watch(db.appDir(),
                       {u"--link"_s, u"tcp"_s, u"--udp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s,
                        QString::number(emulator.udpPort())},
                       {u"--poll"_s, u"1"_s});
    ASSERT_TRUE(watch.process().waitForStarted(30000));
    ASSERT_TRUE(watch.process().waitForFinished(60000)) << "the watch went on doing nothing";
    watch.out += QString::fromUtf8(watch.process().readAllStandardOutput());
    EXPECT_EQ(watch.process().exitCode(), 2) << watch.out.toStdString();
    EXPECT_TRUE(
        watch.out.contains(u"  stopped  cannot poll: the terminal refuses to hand out its new records"_s))
        << watch.out.toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(LiveEndToEndTest, OrveloctlWatchRefusesAPollPeriodThatIsNoWholeNumberOfSeconds) {
    for (const QString& poll : {u"0"_s, u"1.5"_s, u"x"_s, u"86401"_s}) {
        QProcess watch;
        watch.start(EmulatorProcess::binFolder() + u"/orveloctl"_s,
                    {u"--app-dir"_s, db.appDir(), u"watch"_s, u"--poll"_s, poll});
        ASSERT_TRUE(watch.waitForFinished(30000));
        EXPECT_EQ(watch.exitCode(), 64) << poll.toStdString();
        EXPECT_TRUE(QString::fromUtf8(watch.readAllStandardError()).contains(u"--poll"_s))
            << poll.toStdString();
    }
}

}  // namespace
}  // namespace orvelo::test
