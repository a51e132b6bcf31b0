// The last collection per terminal as the window and orveloctl leave it, `orveloctl terminals`,
// and the scheduled run of the systemd unit: against emulated terminals on loopback TCP and an
// embedded database.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "access/terminal_library.h"
#include "app/hv_client.h"
#include "app/widget_operator_view.h"
#include "collection/collection_history.h"
#include "core/datetime.h"
#include "shell/app_folder_lock.h"
#include "tests/collection/qstring_printer.h"
#include "tests/support/emulator_process.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using Result = CommandOutcome::Result;

QJsonObject logRecord(int enroll, int mode, const QString& time) {
    return {{u"enroll"_s, enroll}, {u"mode"_s, mode}, {u"time"_s, time}};
}

// Enroll numbers 1, 2 and 3 on the given day; only 1 is an employee of the database.
QJsonArray threeRecords(const QString& day) {
    return {logRecord(1, 1, day + u" 08:01:10"_s), logRecord(2, 2, day + u" 08:02:20"_s),
            logRecord(3, 3, day + u" 08:03:30"_s)};
}

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

class UnattendedCollection : public testing::Test {
protected:
    void SetUp() override { db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s); }

    // A terminal holding `logs`, serving TCP on a free port of 127.0.0.1.
    EmulatorProcess& startTerminal(const QJsonArray& logs) {
        const QString state = m_states.filePath(u"terminal-%1.json"_s.arg(m_terminals.size()));
        EmulatorProcess::writeState(
            state, QJsonObject{
                       {u"machine"_s, 1}, {u"password"_s, 0}, {u"users"_s, QJsonArray{}}, {u"logs"_s, logs}});
        m_terminals.push_back(std::make_unique<EmulatorProcess>(state));
        m_terminals.back()->start();
        return *m_terminals.back();
    }

    static ProgramRun run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.start();
        EXPECT_TRUE(process.waitForFinished(300000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    ProgramRun orveloctl(const QStringList& arguments) {
        return run(EmulatorProcess::binFolder() + u"/orveloctl"_s,
                   QStringList{u"--app-dir"_s, db.appDir()} + arguments);
    }

    static QStringList tcpOptions(int port) {
        return {u"--link"_s, u"tcp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(port)};
    }

    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(bytes);
    }

    QByteArray contents(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void writeTerminalList(const QString& text) {
        writeFile(db.appDir() + u"terminals.ini"_s, text.toUtf8());
    }

    CollectionHistory history() {
        const CollectionHistoryRead found = readCollectionHistory(db.appDir());
        EXPECT_FALSE(found.damaged);
        return found.history;
    }

    static QString tcpKey(int port) { return u"tcp 127.0.0.1:%1 machine 1"_s.arg(port); }

    TestDatabase db;
    QTemporaryDir m_states;
    std::vector<std::unique_ptr<EmulatorProcess>> m_terminals;
};

// The window offscreen, its boxes answered by a hook, collecting from the given TCP port.
class WindowCollection {
public:
    WindowCollection(TestDatabase& db, const Clock& clock) {
        m_library = loadTerminalLibrary(EmulatorProcess::binFolder());
        m_window = std::make_unique<Tfrm_hv_client>(db.data(), db.appDir(), *m_library, clock);
    }

    void open(int port) {
        ASSERT_TRUE(m_window->FormCreate());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->operatorView().setBoxHook(
            [this](QMessageBox& box) { boxes.append(box.windowTitle() + u": "_s + box.text()); });
        auto* tcp = m_window->findChild<QRadioButton*>(u"rb_tcp_ip"_s);
        ASSERT_NE(tcp, nullptr);
        QTest::mouseClick(tcp, Qt::LeftButton, {}, QPoint(5, tcp->height() / 2));
        ASSERT_TRUE(tcp->isChecked());
        m_window->findChild<QLineEdit*>(u"edt_ip_address"_s)->setText(u"127.0.0.1"_s);
        m_window->findChild<QLineEdit*>(u"edt_NetPort"_s)->setText(QString::number(port));
    }

    void collect() {
        auto* button = m_window->findChild<QPushButton*>(u"btn_GetData"_s);
        ASSERT_NE(button, nullptr);
        boxes.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        m_window->waitUntilIdle();
    }

    QStringList boxes;

private:
    std::unique_ptr<TerminalLibrary> m_library;
    std::unique_ptr<Tfrm_hv_client> m_window;
};

TEST_F(UnattendedCollection, WindowAndOrveloctlNoteTheirCollectionsOfOneTerminal) {
    const int port = startTerminal(threeRecords(u"2024-05-06"_s)).tcpPort();
    const FixedClock clock = FixedClock::at(u"2024-05-06 09:00:12"_s);
    WindowCollection window(db, clock);
    window.open(port);
    window.collect();
    ASSERT_EQ(window.boxes,
              QStringList{u"数据采集: 共采集数据记录3条；其中有效数据记录1条，重复或无效数据记录2条。\n"
                          u"其中2条记录的人员不存在（登记号码：00002, 00003），已保存在原始记录文件"_s +
                          db.appDir() + u"data/FDataQ5240506090012.hv"_s +
                          u"中，录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s});
    EXPECT_EQ(history(),
              (CollectionHistory{{tcpKey(port), LastCollection{u"2024-05-06 09:00:12"_s, u"window"_s,
                                                               Result::Done, 3, 1, 2, 0}}}));

    // The list names the same terminal in other words: a machine number of "01", a blank or two.
    writeTerminalList(
        u"[Gate 1]\nmachine = 01\nlink = tcp\nip = 127.0.0.1\nport = %1\n\n"
        u"[Floor 2]\nlink = usb\nmachine = 2\n"_s.arg(port));
    const ProgramRun listed = orveloctl({u"terminals"_s});
    EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.err, QString());
    EXPECT_EQ(listed.out,
              u"Gate 1 (tcp 127.0.0.1:%1 machine 1)\n"
              u"  settings: --link tcp --machine 01 --ip 127.0.0.1 --port %1 --timeout 5000 --password 0\n"
              u"  last collection: 2024-05-06 09:00:12 by window: done; read 3, stored 1, rejected 2, "
              u"refused by the database 0\n"
              u"Floor 2 (usb machine 2)\n"
              u"  settings: --link usb --machine 2\n"
              u"  last collection: none\n"_s.arg(port));

    // orveloctl on the same terminal replaces the entry: nothing new to read this time.
    const ProgramRun collected = orveloctl(tcpOptions(port) + QStringList{u"collect"_s});
    ASSERT_EQ(collected.status, 0) << collected.err.toStdString();
    const CollectionHistory after = history();
    ASSERT_EQ(after.size(), 1u);
    const LastCollection& last = after.begin()->second;
    EXPECT_EQ(after.begin()->first, tcpKey(port));
    EXPECT_EQ(last.by, u"orveloctl"_s);
    EXPECT_EQ(last.result, Result::Done);
    EXPECT_EQ((std::array{last.read, last.stored, last.rejected, last.refusedByDatabase}),
              (std::array{0, 0, 0, 0}));
    EXPECT_TRUE(parseDateTimeText(last.when).has_value()) << last.when.toStdString();
    EXPECT_EQ(last.when.size(), 19);
    EXPECT_TRUE(orveloctl({u"terminals"_s})
                    .out.contains(
                        u"  last collection: "_s + last.when +
                        u" by orveloctl: done; read 0, stored 0, rejected 0, refused by the database 0\n"_s));

    // A terminal that does not answer is noted too, without touching the others' entries.
    m_terminals.front()->stop();
    const ProgramRun unreachable =
        orveloctl(tcpOptions(port) + QStringList{u"--machine"_s, u"7"_s, u"collect"_s});
    EXPECT_EQ(unreachable.status, 1);
    const CollectionHistory third = history();
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third.at(u"tcp 127.0.0.1:%1 machine 7"_s.arg(port)).result, Result::NotReachable);
    EXPECT_EQ(third.at(tcpKey(port)), last);
}

TEST_F(UnattendedCollection, TerminalsRefusesABadOrMissingList) {
    struct Case {
        const char* what;
        std::optional<QString> list;  // nullopt: no terminals.ini at all
        QStringList inError;
    };
    const QString path = db.appDir() + u"terminals.ini"_s;
    const std::vector<Case> cases = {
        {"unknown key", u"[Gate 1]\nmachine = 1\nadress = 10.0.0.1\n"_s, {path + u":3:"_s, u"adress"_s}},
        {"unknown link", u"; gates\n[Gate 1]\nlink = modem\n"_s, {path + u":3:"_s, u"modem"_s}},
        {"a name twice", u"[Gate 1]\n[gate 1]\n"_s, {path + u":2:"_s, u"gate 1"_s}},
        {"missing", std::nullopt, {path, u"no such file"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path);
        if (c.list) writeTerminalList(*c.list);
        const ProgramRun listed = orveloctl({u"terminals"_s});
        EXPECT_EQ(listed.status, 2);
        EXPECT_EQ(listed.out, QString());
        for (const QString& part : c.inError)
            EXPECT_TRUE(listed.err.contains(part)) << listed.err.toStdString();
    }
}

TEST_F(UnattendedCollection, ADamagedStateFileIsReportedThenReplacedByTheNextCollection) {
    const int port = startTerminal(threeRecords(u"2024-05-06"_s)).tcpPort();
    writeTerminalList(u"[Gate 1]\nlink = tcp\nip = 127.0.0.1\nport = %1\n"_s.arg(port));
    ASSERT_TRUE(QDir().mkpath(db.dataDir()));
    const QString state = collectionHistoryPath(db.appDir());
    writeFile(state, "{\"version\":1,\"terminals\":{\"tcp");  // a write cut short

    const ProgramRun before = orveloctl({u"terminals"_s});
    EXPECT_EQ(before.status, 0);
    EXPECT_TRUE(before.out.endsWith(u"  last collection: none\n"_s)) << before.out.toStdString();
    EXPECT_TRUE(before.err.contains(state + u" is damaged"_s)) << before.err.toStdString();

    const ProgramRun collected = orveloctl(tcpOptions(port) + QStringList{u"collect"_s});
    EXPECT_EQ(collected.status, 0) << collected.err.toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    EXPECT_EQ(contents(state + u".bad"_s), QByteArray("{\"version\":1,\"terminals\":{\"tcp"));
    const ProgramRun after = orveloctl({u"terminals"_s});
    EXPECT_EQ(after.err, QString());
    EXPECT_TRUE(after.out.contains(
        u"by orveloctl: done; read 3, stored 1, rejected 2, refused by the database 0\n"_s))
        << after.out.toStdString();
}

// The scheduled run exactly as orvelo-collect.service starts it: its ExecStart with the unit's own
// variables filled in, the program being this build's orveloctl.
class ScheduledRun : public UnattendedCollection {
protected:
    QStringList scheduledCommand(const QString& wait) {
        QFile unit(QStringLiteral(ORVELO_SYSTEMD_UNITS) + u"/orvelo-collect.service"_s);
        EXPECT_TRUE(unit.open(QIODevice::ReadOnly)) << unit.fileName().toStdString();
        QStringList words;
        QStringList defined;
        for (const QString& line : QString::fromUtf8(unit.readAll()).split(u'\n')) {
            if (line.startsWith(u"Environment="_s)) defined << line.mid(12).section(u'=', 0, 0);
            if (line.startsWith(u"ExecStart="_s)) words = line.mid(10).split(u' ', Qt::SkipEmptyParts);
        }
        EXPECT_FALSE(words.isEmpty());
        EXPECT_EQ(words.value(0), u"/usr/bin/orveloctl"_s);
        QStringList arguments;
        for (const QString& word : words.mid(1)) {
            static const QRegularExpression variable(u"^\\$\\{(\\w+)\\}$"_s);
            const QRegularExpressionMatch match = variable.match(word);
            if (!match.hasMatch()) {
                arguments << word;
                continue;
            }
            EXPECT_TRUE(defined.contains(match.captured(1)))
                << word.toStdString() << " has no Environment= line";
            if (match.captured(1) == u"ORVELO_APP_DIR"_s)
                arguments << db.appDir();
            else if (match.captured(1) == u"ORVELO_WAIT"_s)
                arguments << wait;
            else
                ADD_FAILURE() << "unknown variable " << word.toStdString();
        }
        return arguments;
    }

    ProgramRun scheduled(const QString& wait) {
        return run(EmulatorProcess::binFolder() + u"/orveloctl"_s, scheduledCommand(wait));
    }

    QString listEntry(const QString& name, int port) {
        return u"[%1]\nlink = tcp\nip = 127.0.0.1\nport = %2\ntimeout = 3000\n\n"_s.arg(name).arg(port);
    }
};

TEST_F(ScheduledRun, GoesOnPastAnUnreachableTerminalAndFailsTheRun) {
    const int gate = startTerminal(threeRecords(u"2024-05-06"_s)).tcpPort();
    EmulatorProcess& down = startTerminal(threeRecords(u"2024-05-07"_s));
    const int downPort = down.tcpPort();
    down.stop();
    const int floor = startTerminal(threeRecords(u"2024-05-08"_s)).tcpPort();
    writeTerminalList(listEntry(u"Gate"_s, gate) + listEntry(u"Down"_s, downPort) +
                      listEntry(u"Floor"_s, floor));

    const ProgramRun run = scheduled(u"60"_s);
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    const qsizetype gateAt = run.out.indexOf(u"== Gate =="_s);
    const qsizetype downAt = run.out.indexOf(u"== Down =="_s);
    const qsizetype floorAt = run.out.indexOf(u"== Floor =="_s);
    EXPECT_TRUE(gateAt >= 0 && gateAt < downAt && downAt < floorAt) << run.out.toStdString();
    EXPECT_TRUE(run.out.mid(downAt, floorAt - downAt)
                    .contains(u"数据采集失败，可能是设备没有连接好，请连接好设备后重试！"_s))
        << run.out.toStdString();
    // E001's first record of both reachable terminals; the others are unknown persons.
    EXPECT_EQ(db.scalar(u"SELECT group_concat(RecDate || RecTime, ',') FROM AtdRecord"_s).toString(),
              u"2024-05-06 08:01,2024-05-08 08:01"_s);

    const CollectionHistory noted = history();
    ASSERT_EQ(noted.size(), 3u);
    for (const auto& [key, last] : noted) EXPECT_EQ(last.by, u"orveloctl"_s) << key.toStdString();
    EXPECT_EQ(noted.at(tcpKey(gate)).result, Result::Done);
    EXPECT_EQ(noted.at(tcpKey(floor)).stored, 1);
    EXPECT_EQ(noted.at(tcpKey(downPort)).result, Result::NotReachable);
    EXPECT_TRUE(orveloctl({u"terminals"_s}).out.contains(u"by orveloctl: not reachable;"_s));
}

TEST_F(ScheduledRun, WaitsForACommandHoldingTheFolderOrGivesUp) {
    EmulatorProcess& gate = startTerminal(threeRecords(u"2024-05-06"_s));
    writeTerminalList(listEntry(u"Gate"_s, gate.tcpPort()));
    AppFolderLock other(db.appDir());  // as the window holds it during a command
    ASSERT_TRUE(other.tryLock());

    // A short wait runs out: the run says so, exits 1 and touches nothing.
    const ProgramRun gaveUp = scheduled(u"1"_s);
    EXPECT_EQ(gaveUp.status, 1);
    EXPECT_TRUE(gaveUp.err.contains(other.path())) << gaveUp.err.toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
    EXPECT_TRUE(history().empty());

    // A long one waits while the lock is held, and collects once it is let go.
    QProcess waiting;
    waiting.start(EmulatorProcess::binFolder() + u"/orveloctl"_s, scheduledCommand(u"300"_s));
    ASSERT_TRUE(waiting.waitForStarted());
    EXPECT_FALSE(waiting.waitForFinished(3000)) << waiting.readAllStandardError().toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
    other.unlock();
    ASSERT_TRUE(waiting.waitForFinished(300000));
    EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    EXPECT_EQ(history().at(tcpKey(gate.tcpPort())).result, Result::Done);
}

}  // namespace
}  // namespace orvelo::test
