// Attendance record collection end to end: orveloctl and the window (offscreen), through
// libfkattend.so over loopback TCP, against the emulated terminal and an embedded database.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <functional>

#include "access/terminal_library.h"
#include "app/export_dialog.h"
#include "app/hv_client.h"
#include "app/live_page.h"
#include "app/log_memo.h"
#include "app/status_bar.h"
#include "app/terminal_dialog.h"
#include "app/terminal_page.h"
#include "app/widget_operator_view.h"
#include "collection/collection_history.h"
#include "collection/raw_record_file.h"
#include "core/datetime.h"
#include "core/file_lock.h"
#include "db/data_module.h"
#include "live/watch_session.h"
#include "shell/terminal_list.h"
#include "tests/collection/qstring_printer.h"
#include "tests/support/emulator_process.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

QJsonObject logRecord(int enroll, int mode, const QString& time) {
    return {{u"enroll"_s, enroll}, {u"mode"_s, mode}, {u"time"_s, time}};
}

QJsonObject terminalState(const QJsonArray& logs) {
    return {{u"machine"_s, 1}, {u"password"_s, 0}, {u"users"_s, QJsonArray{}}, {u"logs"_s, logs}};
}

// Enroll numbers 1, 2 and 3; only 1 is an employee of the database to begin with.
QJsonArray threeRecords() {
    return {logRecord(1, 1, u"2024-05-06 08:01:10"_s), logRecord(2, 2, u"2024-05-06 08:02:20"_s),
            logRecord(3, 3, u"2024-05-06 08:03:30"_s)};
}

const QString kThreeLines =
    u"000012024-05-06 08:012001\r\n000022024-05-06 08:023001\r\n"
    u"000032024-05-06 08:031001\r\n"_s;

// The line naming the records of persons not in the employee table, kept in `rawFile`.
QString unknownLine(int records, const QString& numbers, const QString& rawFile) {
    return u"其中%1条记录的人员不存在（登记号码：%2），已保存在原始记录文件%3中，"
           u"录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s.arg(records)
               .arg(numbers, rawFile);
}

// `unknown`: the unknownLine after the summary, if any.
QString collectOut(int read, int stored, const QString& unknown = {}) {
    QString summary =
        u"共采集数据记录%1条；其中有效数据记录%2条，重复或无效数据记录%3条。"_s.arg(read).arg(stored).arg(
            read - stored);
    if (!unknown.isEmpty()) summary += u'\n' + unknown;
    return u"\n数据采集成功！\n"_s + summary + u"\n数据采集: "_s + summary + u"\n\n\n"_s;
}

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

class CollectionEndToEnd : public testing::Test {
protected:
    void startTerminal(const QJsonArray& logs, const QStringList& faults = {}) {
        ASSERT_TRUE(m_stateDir.isValid());
        m_statePath = m_stateDir.filePath(u"terminal.json"_s);
        EmulatorProcess::writeState(m_statePath, terminalState(logs));
        m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
        EmulatorProcess::Options options;
        options.faults = faults;
        m_terminal->start(options);
    }

    QStringList connectionArguments() const {
        return {u"--app-dir"_s, db.appDir(),
                u"--link"_s,    u"tcp"_s,
                u"--ip"_s,      u"127.0.0.1"_s,
                u"--port"_s,    QString::number(m_terminal ? m_terminal->tcpPort() : 1)};
    }

    Outcome orveloctl(const QStringList& arguments) {
        QProcess process;
        process.setProgram(EmulatorProcess::binFolder() + u"/orveloctl"_s);
        process.setArguments(connectionArguments() + arguments);
        process.start();
        EXPECT_TRUE(process.waitForFinished(300000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList dataFiles(const QStringList& filters = {u"*"_s}) const {
        return QDir(db.appDir() + u"data"_s).entryList(filters, QDir::Files, QDir::Name);
    }

    QByteArray contents(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The one raw record file in data/.
    QByteArray onlyRawFile() const {
        const QStringList files = dataFiles({u"*.hv"_s});
        EXPECT_EQ(files.size(), 1) << files.join(u' ').toStdString();
        return files.isEmpty() ? QByteArray() : contents(db.appDir() + u"data/"_s + files.first());
    }

    int collectedOnTerminal() {
        int n = 0;
        for (const QJsonValue& v : m_terminal->dump().value(u"logs"_s).toArray())
            if (v.toObject().value(u"collected"_s).toBool()) ++n;
        return n;
    }

    TestDatabase db;
    QTemporaryDir m_stateDir;
    QString m_statePath;
    std::unique_ptr<EmulatorProcess> m_terminal;
};

TEST_F(CollectionEndToEnd, OrveloctlThreeRecordsOneStoredThenReimport) {
    startTerminal(threeRecords());
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);

    const Outcome run = orveloctl({u"collect"_s});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const QString raw = db.appDir() + u"data/"_s + dataFiles({u"*.hv"_s}).value(0);
    EXPECT_EQ(run.out, collectOut(3, 1, unknownLine(2, u"00002, 00003"_s, raw)));
    EXPECT_EQ(onlyRawFile(), kThreeLines.toLatin1());
    EXPECT_EQ(dataFiles(), dataFiles({u"*.hv"_s}));  // no journal left
    EXPECT_EQ(
        db.scalar(
              u"SELECT group_concat(EmplID || ' ' || CardNo || ' ' || RecDate || '|' || RecTime || ' ' || "
              u"IsAuto || ' ' || EquNo) FROM AtdRecord"_s)
            .toString(),
        u"E001 000001 2024-05-06 |08:01 2 001"_s);
    EXPECT_TRUE(m_terminal->dump().value(u"enabled"_s).toBool());
    EXPECT_EQ(collectedOnTerminal(), 3);

    // The persons entered later: the raw record file brings their records in.
    db.addActiveEmployee(u"E002"_s, u"00002"_s, u"李四"_s);
    db.addActiveEmployee(u"E003"_s, u"00003"_s, u"王五"_s);
    const QString file = db.appDir() + u"data/"_s + dataFiles({u"*.hv"_s}).value(0);
    const Outcome import = orveloctl({u"import-raw"_s, file});
    EXPECT_EQ(import.status, 0) << import.err.toStdString();
    EXPECT_EQ(import.out,
              u"正在从原始记录文件"_s + file +
                  u"中导入记录数据.....\n\n原始记录数据导入成功！\n"
                  u"共导入原始记录数据3条；其中有效数据2条，重复或无效数据1条。\n"
                  u"原始数据导入: 共导入原始数据记录3条；其中有效数据2条，重复或无效数据1条。\n\n\n"_s);
    EXPECT_EQ(db.scalar(u"SELECT group_concat(EmplID || ':' || IsAuto) FROM AtdRecord"_s).toString(),
              u"E001:2,E002:3,E003:1"_s);
}

TEST_F(CollectionEndToEnd, OrveloctlNewVersusAll) {
    startTerminal(threeRecords());
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    const QString first = orveloctl({u"collect"_s}).out;
    // Nothing new the second time; all three again with --all, now duplicates or unknown.
    EXPECT_EQ(orveloctl({u"collect"_s}).out, collectOut(0, 0));
    const QString all = orveloctl({u"collect"_s, u"--all"_s}).out;
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    // Three downloads, three raw record files (the second one empty), however fast they ran.
    const QStringList files = dataFiles({u"*.hv"_s});
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(first,
              collectOut(3, 1, unknownLine(2, u"00002, 00003"_s, db.appDir() + u"data/"_s + files[0])));
    EXPECT_EQ(all, collectOut(3, 0, unknownLine(2, u"00002, 00003"_s, db.appDir() + u"data/"_s + files[2])));
    EXPECT_EQ(contents(db.appDir() + u"data/"_s + files[0]), kThreeLines.toLatin1());
    EXPECT_EQ(contents(db.appDir() + u"data/"_s + files[1]), QByteArray());
    EXPECT_EQ(contents(db.appDir() + u"data/"_s + files[2]), kThreeLines.toLatin1());
}

TEST_F(CollectionEndToEnd, OrveloctlLoadStepRefused) {
    startTerminal(threeRecords(), {u"refuse=LoadGeneralLogData"_s});
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    const Outcome run = orveloctl({u"collect"_s});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, collectOut(0, 0));
    EXPECT_TRUE(dataFiles().isEmpty());  // no raw record file, no journal
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
    EXPECT_TRUE(m_terminal->dump().value(u"enabled"_s).toBool());
}

TEST_F(CollectionEndToEnd, OrveloctlWithoutTerminal) {
    startTerminal(threeRecords());
    m_terminal->stop();
    const Outcome run = orveloctl({u"collect"_s});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, u"数据采集: 数据采集失败，可能是设备没有连接好，请连接好设备后重试！\n\n\n"_s);
    EXPECT_TRUE(dataFiles().isEmpty());
}

TEST_F(CollectionEndToEnd, OrveloctlConnectionDroppedMidDownload) {
    // 4,000 records come in pages of 3,072: the connection drops after the first page.
    QJsonArray logs;
    for (int i = 0; i < 4000; ++i) {
        const int minute = i % 600;
        logs.append(logRecord(1 + i / 600, 1,
                              u"2024-05-06 %1:%2:00"_s.arg(8 + minute / 60, 2, 10, QChar(u'0'))
                                  .arg(minute % 60, 2, 10, QChar(u'0'))));
    }
    startTerminal(logs, {u"drop-after=5"_s});
    for (int e = 1; e <= 7; ++e) db.addActiveEmployee(u"E%1"_s.arg(e), u"0000%1"_s.arg(e), u"员工"_s);

    const Outcome run = orveloctl({u"collect"_s});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    const int read = db.rowCount(u"AtdRecord"_s);
    EXPECT_GT(read, 0);
    EXPECT_LT(read, 4000);
    const QString summary = u"共采集数据记录%1条；其中有效数据记录%1条，重复或无效数据记录0条。"_s.arg(read);
    const QString failed =
        u"数据采集未完成！与设备的连接在读取%1条记录后中断，再次执行本命令可采集其余记录。"_s.arg(read);
    EXPECT_EQ(run.out, u"\n"_s + failed + u'\n' + summary + u"\n数据采集: "_s + failed + u'\n' + summary +
                           u"\n\n\n"_s);
    EXPECT_EQ(onlyRawFile().count('\n'), read);
    EXPECT_EQ(collectedOnTerminal(), 0);  // handed out again next time
    EXPECT_TRUE(m_terminal->dump().value(u"enabled"_s).toBool());

    // Without the fault the next run brings every record; the ones stored already are duplicates.
    m_terminal->stop();
    m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
    m_terminal->start(EmulatorProcess::Options{});
    const Outcome again = orveloctl({u"collect"_s});
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, collectOut(4000, 4000 - read));
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 4000);
    EXPECT_EQ(collectedOnTerminal(), 4000);
}

// SIGTERM or SIGINT while orveloctl collects over a slow link: the walk stops before its next
// read, what was read is stored and in the raw record file, the terminal is enabled again and
// keeps every record new; the report says the collection was cancelled and the exit status is 1.
// The next run brings every record, the ones stored already as duplicates.
TEST_F(CollectionEndToEnd, OrveloctlStopsOnSigtermOrSigintAndTheNextRunBringsTheRest) {
    constexpr int kRecords = 4000;  // pages of 3,072: the second page waits on the slow link
    QJsonArray logs;
    for (int i = 0; i < kRecords; ++i) {
        const int minute = i % 600;
        logs.append(logRecord(1 + i / 600, 1,
                              u"2024-05-06 %1:%2:00"_s.arg(8 + minute / 60, 2, 10, QChar(u'0'))
                                  .arg(minute % 60, 2, 10, QChar(u'0'))));
    }
    for (int e = 1; e <= 7; ++e) db.addActiveEmployee(u"E%1"_s.arg(e), u"0000%1"_s.arg(e), u"员工"_s);
    const struct {
        const char* name;
        int signal;
    } stopSignals[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
    for (const auto& row : stopSignals) {
        SCOPED_TRACE(row.name);
        db.exec(u"DELETE FROM AtdRecord"_s);
        for (const QString& f : dataFiles()) QFile::remove(db.appDir() + u"data/"_s + f);
        m_terminal.reset();
        // Every reply 1.5 s late: the signal comes while the records are read.
        startTerminal(logs, {u"delay-ms=1500"_s});

        QProcess client;
        client.setProgram(EmulatorProcess::binFolder() + u"/orveloctl"_s);
        client.setArguments(connectionArguments() + QStringList{u"collect"_s});
        client.start();
        ASSERT_TRUE(client.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        bool reading = false;
        while (!reading && waited.elapsed() < 120000 && client.state() == QProcess::Running) {
            const QStringList parts = dataFiles({u"*.part"_s});
            reading = !parts.isEmpty() && QFileInfo(db.appDir() + u"data/"_s + parts.first()).size() > 0;
            if (!reading) QThread::msleep(5);
        }
        ASSERT_TRUE(reading) << "the download ended before it could be stopped";
        ::kill(pid_t(client.processId()), row.signal);
        ASSERT_TRUE(client.waitForFinished(120000));
        const Outcome run{client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1,
                          QString::fromUtf8(client.readAllStandardOutput()),
                          QString::fromUtf8(client.readAllStandardError())};

        EXPECT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
        const int read = db.rowCount(u"AtdRecord"_s);
        EXPECT_GT(read, 0);
        EXPECT_LT(read, kRecords);
        const QString cancelled =
            u"数据采集未完成！采集已取消，在读取%1条记录后停止；设备上未读取的记录不受影响，"
            u"再次执行本命令可采集其余记录。"_s.arg(read);
        const QString summary =
            u"共采集数据记录%1条；其中有效数据记录%1条，重复或无效数据记录0条。"_s.arg(read);
        EXPECT_EQ(run.out, u"\n"_s + cancelled + u'\n' + summary + u"\n数据采集: "_s + cancelled + u'\n' +
                               summary + u"\n\n\n"_s);
        EXPECT_EQ(onlyRawFile().count('\n'), read);
        m_terminal->stop();
        EXPECT_EQ(collectedOnTerminal(), 0);  // handed out again next time
        EXPECT_TRUE(m_terminal->dump().value(u"enabled"_s).toBool());

        m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
        m_terminal->start(EmulatorProcess::Options{});
        const Outcome again = orveloctl({u"collect"_s});
        EXPECT_EQ(again.status, 0) << again.err.toStdString();
        EXPECT_EQ(again.out, collectOut(kRecords, kRecords - read));
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), kRecords);
        EXPECT_EQ(
            db.scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT CardNo, RecDate, RecTime FROM AtdRecord)"_s)
                .toInt(),
            kRecords);
        EXPECT_EQ(collectedOnTerminal(), kRecords);
    }
}

TEST_F(CollectionEndToEnd, OrveloctlTransferIsCompleteExactlyWhenEveryRecordWasStoredAndMarkedCollected) {
    for (int e = 1; e <= 3; ++e) db.addActiveEmployee(u"E00%1"_s.arg(e), u"0000%1"_s.arg(e), u"员工"_s);
    // A damaged reply at every reply of a download: connect, disable, counters, load, the page of
    // three, then (the 6th, corrupt-after=5) the reply to the read that marks the records
    // collected, which the terminal sends when it has done so.
    bool damagedAfterTheMark = false;
    for (int n = 1; n <= 9; ++n) {
        SCOPED_TRACE(n);
        db.exec(u"DELETE FROM AtdRecord"_s);
        startTerminal(threeRecords(), {u"corrupt-after=%1"_s.arg(n)});
        const Outcome run = orveloctl({u"collect"_s});
        const int stored = db.rowCount(u"AtdRecord"_s);
        m_terminal->stop();
        const int collected = collectedOnTerminal();
        if (stored == 3 && collected == 3) {
            EXPECT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
            EXPECT_EQ(run.out, collectOut(3, 3));
        } else {
            EXPECT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
            EXPECT_TRUE(run.out.contains(u"数据采集未完成！"_s)) << run.out.toStdString();
        }
        if (n == 5) damagedAfterTheMark = stored == 3 && collected == 3;
        m_terminal.reset();
    }
    EXPECT_TRUE(damagedAfterTheMark);
}

TEST_F(CollectionEndToEnd, OrveloctlUsbDiskFileWrittenByTheTerminal) {
    QJsonArray logs = threeRecords();
    logs.append(logRecord(1, 4, u"2024-05-06 12:00:00"_s));
    logs.append(logRecord(2, 10, u"2024-05-06 12:30:00"_s));
    startTerminal(logs);
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    db.addActiveEmployee(u"E002"_s, u"00002"_s, u"李四"_s);
    const QString usbFile = m_stateDir.filePath(u"GLog_001.txt"_s);
    EmulatorProcess::exportUsb(m_statePath, usbFile);

    const Outcome run = orveloctl({u"--machine"_s, u"7"_s, u"import-usb"_s, usbFile});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              u"正在从U盘数据文件："_s + usbFile + u" 中采集数据...\n"_s +
                  collectOut(5, 4,
                             unknownLine(1, u"00003"_s,
                                         db.appDir() + u"data/"_s + dataFiles({u"*.hv"_s}).value(0))));
    EXPECT_EQ(onlyRawFile(), QByteArray("000012024-05-06 08:012007\r\n000022024-05-06 08:023007\r\n"
                                        "000032024-05-06 08:031007\r\n000012024-05-06 12:0035007\r\n"
                                        "000022024-05-06 12:3011007\r\n"));
    EXPECT_EQ(db.scalar(u"SELECT group_concat(DISTINCT EquNo) FROM AtdRecord"_s).toString(), u"007"_s);

    // A machine number the lines cannot hold is refused before the file is read.
    const Outcome refused = orveloctl({u"--machine"_s, u"1000"_s, u"import-usb"_s, usbFile});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
              u"Orvelo系统: Machine number 1000 is out of range: it must lie between 0 and 999.\n"_s);
    EXPECT_EQ(refused.out, QString());
}

TEST_F(CollectionEndToEnd, OrveloctlNameClashWithinOneSecond) {
    startTerminal(threeRecords());
    // Every name of the next half minute is taken already: the download takes the first free
    // second after them and leaves the others as they are.
    const DateTimeValue now = SystemClock().now();
    for (int s = 0; s < 30; ++s) {
        QFile f(RawFileName(db.appDir(), dateTimeText(now + s / 86400.0)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier\r\n");
    }
    const Outcome run = orveloctl({u"collect"_s});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList files = dataFiles({u"*.hv"_s});
    ASSERT_EQ(files.size(), 31);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(contents(db.appDir() + u"data/"_s + files[i]), "earlier\r\n");
    EXPECT_EQ(contents(db.appDir() + u"data/"_s + files[30]), kThreeLines.toLatin1());
}

TEST_F(CollectionEndToEnd, OrveloctlMissingDataFolder) {
    startTerminal(threeRecords());
    ASSERT_TRUE(QDir(db.appDir() + u"data"_s).removeRecursively());
    EXPECT_EQ(orveloctl({u"collect"_s}).status, 0);
    EXPECT_EQ(onlyRawFile(), kThreeLines.toLatin1());
}

TEST_F(CollectionEndToEnd, ClientKilledMidDownloadLosesNoRecord) {
    constexpr int kRecords = 30000;
    constexpr int kEmployees = 50;
    // Rows are committed in groups: at the kill, the rows of the open group and the record in
    // hand are in the journal only.
    const int kUncommittedAtMost = CommitGroupLimits{}.maxMembers;
    QJsonArray logs;
    const DateTimeValue start = *parseDateTimeText(u"2024-01-01 08:00:00"_s);
    for (int i = 0; i < kRecords; ++i)
        logs.append(logRecord(1 + i % kEmployees, 1, dateTimeText(start + i / 1440.0)));
    // As fast as loopback goes, and at a slow link's pace, where a group waits on the next page.
    for (const QStringList& faults : {QStringList{}, QStringList{u"delay-ms=300"_s}}) {
        SCOPED_TRACE(faults.join(u' ').toStdString());
        db.exec(u"DELETE FROM AtdRecord"_s);
        db.exec(u"DELETE FROM hremployee"_s);
        for (const QString& f : dataFiles()) QFile::remove(db.appDir() + u"data/"_s + f);
        m_terminal.reset();
        startTerminal(logs, faults);
        for (int e = 1; e <= kEmployees; ++e)
            db.addActiveEmployee(u"E%1"_s.arg(e, 3, 10, QChar(u'0')), u"%1"_s.arg(e, 5, 10, QChar(u'0')),
                                 u"员工"_s);

        QProcess client;
        client.setProgram(EmulatorProcess::binFolder() + u"/orveloctl"_s);
        client.setArguments(connectionArguments() + QStringList{u"collect"_s});
        client.start();
        ASSERT_TRUE(client.waitForStarted());
        // Killed once it has read a good part, but not all.
        QString journal;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 120000) {
            const QStringList parts = dataFiles({u"*.part"_s});
            if (!parts.isEmpty()) {
                journal = db.appDir() + u"data/"_s + parts.first();
                if (QFileInfo(journal).size() > 2000 * 27) break;
            }
            if (client.state() == QProcess::NotRunning) break;
            QThread::msleep(5);
        }
        ASSERT_EQ(client.state(), QProcess::Running) << "the download ended before it could be stopped";
        ::kill(pid_t(client.processId()), SIGKILL);
        client.waitForFinished();

        // Every row written is in the left-behind file, which the raw record import reads.
        const QStringList lines = readRawRecordLines(journal);
        const int rows = db.rowCount(u"AtdRecord"_s);
        EXPECT_GT(lines.size(), 0);
        EXPECT_LT(lines.size(), kRecords);
        EXPECT_LE(rows, lines.size());
        EXPECT_GE(rows, lines.size() - kUncommittedAtMost);
        QSet<QString> journalled;
        for (const QString& line : lines) journalled.insert(line.left(21));  // enroll number, day, minute
        for (const QVariantMap& r : db.rows(u"SELECT CardNo, RecDate, RecTime FROM AtdRecord"_s)) {
            const QString key = r[u"CardNo"_s].toString().mid(1) + r[u"RecDate"_s].toString().trimmed() +
                                u' ' + r[u"RecTime"_s].toString();
            ASSERT_TRUE(journalled.contains(key)) << key.toStdString();
        }
        EXPECT_TRUE(dataFiles({u"*.hv"_s}).isEmpty());
        const Outcome import = orveloctl({u"import-raw"_s, journal});
        EXPECT_EQ(import.status, 0) << import.err.toStdString();
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), lines.size());
        // The terminal hands the records out again, so the next download brings the rest.
        EXPECT_EQ(collectedOnTerminal(), 0);
        const Outcome again = orveloctl({u"collect"_s});
        EXPECT_EQ(again.out, collectOut(kRecords, kRecords - int(lines.size())));
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), kRecords);
        EXPECT_EQ(
            db.scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT CardNo, RecDate, RecTime FROM AtdRecord)"_s)
                .toInt(),
            kRecords);
    }
}

// The window over the same database and terminal, its boxes and dialogs answered by hooks.
class CollectionWindow : public CollectionEndToEnd {
protected:
    void openWindow() {
        m_library = loadTerminalLibrary(EmulatorProcess::binFolder());
        m_window = std::make_unique<Tfrm_hv_client>(db.data(), db.appDir(), *m_library, m_clock);
        ASSERT_TRUE(m_window->FormCreate());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->operatorView().setBoxHook(
            [this](QMessageBox& box) { m_boxes.append(box.windowTitle() + u": "_s + box.text()); });
        m_window->operatorView().setFileDialogHook([this](QFileDialog& dialog) -> std::optional<QString> {
            m_filters = dialog.nameFilters();
            m_folder = dialog.directory().absolutePath();
            return m_answer;
        });
        auto* tcp = m_window->findChild<QRadioButton*>(u"rb_tcp_ip"_s);
        ASSERT_NE(tcp, nullptr);
        QTest::mouseClick(tcp, Qt::LeftButton, {}, QPoint(5, tcp->height() / 2));
        ASSERT_TRUE(tcp->isChecked());
        m_window->findChild<QLineEdit*>(u"edt_ip_address"_s)->setText(u"127.0.0.1"_s);
        m_window->findChild<QLineEdit*>(u"edt_NetPort"_s)->setText(QString::number(m_terminal->tcpPort()));
    }

    void click(const QString& name) {
        auto* button = m_window->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        m_boxes.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        m_window->waitUntilIdle();
    }

    void choose(const QString& radio) {
        auto* button = m_window->findChild<QRadioButton*>(radio);
        ASSERT_NE(button, nullptr);
        button->setChecked(true);
    }

    FixedClock m_clock = FixedClock::at(u"2024-05-06 09:00:12"_s);
    std::unique_ptr<TerminalLibrary> m_library;
    std::unique_ptr<Tfrm_hv_client> m_window;
    QStringList m_boxes;
    QStringList m_filters;
    QString m_folder;
    std::optional<QString> m_answer;
};

TEST_F(CollectionWindow, DownloadNewThenAll) {
    startTerminal(threeRecords());
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    openWindow();

    click(u"btn_GetData"_s);
    EXPECT_EQ(m_boxes,
              QStringList{u"数据采集: 共采集数据记录3条；其中有效数据记录1条，重复或无效数据记录2条。\n"_s +
                          unknownLine(2, u"00002, 00003"_s, db.appDir() + u"data/FDataQ5240506090012.hv"_s)});
    EXPECT_EQ(contents(db.appDir() + u"data/FDataQ5240506090012.hv"_s), kThreeLines.toLatin1());

    click(u"btn_GetData"_s);
    EXPECT_EQ(m_boxes,
              QStringList{u"数据采集: 共采集数据记录0条；其中有效数据记录0条，重复或无效数据记录0条。"_s});
    choose(u"rb_GetAllData"_s);
    click(u"btn_GetData"_s);
    EXPECT_EQ(m_boxes,
              QStringList{u"数据采集: 共采集数据记录3条；其中有效数据记录0条，重复或无效数据记录3条。\n"_s +
                          unknownLine(2, u"00002, 00003"_s, db.appDir() + u"data/FDataQ5240506090014.hv"_s)});
    // The window's clock stands still: the second and third files took the next free seconds.
    EXPECT_EQ(dataFiles(), (QStringList{u"FDataQ5240506090012.hv"_s, u"FDataQ5240506090013.hv"_s,
                                        u"FDataQ5240506090014.hv"_s}));
}

class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

TEST_F(CollectionWindow, ProgressBarDrawsOnlyItsChanges) {
    // 5,000 records set the progress 5,002 times; the pane draws each of its 101 values once
    // (and the final reset), not once per record.
    QJsonArray logs;
    for (int i = 0; i < 5000; ++i) logs.append(logRecord(1 + i % 9, 1, u"2024-05-06 08:00:00"_s));
    startTerminal(logs);
    openWindow();
    auto* pane = m_window->findChild<ProgressPane*>(u"rzprgrsts_1"_s);
    ASSERT_NE(pane, nullptr);
    PaintCounter paints;
    pane->installEventFilter(&paints);
    click(u"btn_GetData"_s);
    EXPECT_EQ(
        m_boxes,
        QStringList{u"数据采集: 共采集数据记录5000条；其中有效数据记录0条，重复或无效数据记录5000条。\n"_s +
                    unknownLine(5000, u"00001, 00002, 00003, 00004, 00005, …"_s,
                                db.appDir() + u"data/"_s + dataFiles({u"*.hv"_s}).value(0))});
    EXPECT_GE(paints.count, 100);
    EXPECT_LE(paints.count, 110);
    EXPECT_EQ(pane->percent(), 0);
    EXPECT_FALSE(pane->numberShown());
}

TEST_F(CollectionWindow, UsbDiskAndRawFileImports) {
    startTerminal(threeRecords());
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    const QString usbFile = m_stateDir.filePath(u"GLog_001.txt"_s);
    EmulatorProcess::exportUsb(m_statePath, usbFile);
    openWindow();

    m_answer = usbFile;
    click(u"btn_ImportDataFromU"_s);
    EXPECT_EQ(m_filters, qtNameFilters(u"U盘记录文件(*.txt)|*.txt|所有文件(*.*)|*.*"_s));
    const QString raw = db.appDir() + u"data/FDataQ5240506090012.hv"_s;
    EXPECT_EQ(m_boxes,
              QStringList{u"数据采集: 共采集数据记录3条；其中有效数据记录1条，重复或无效数据记录2条。\n"_s +
                          unknownLine(2, u"00002, 00003"_s, raw)});
    EXPECT_EQ(contents(raw), kThreeLines.toLatin1());

    db.addActiveEmployee(u"E002"_s, u"00002"_s, u"李四"_s);
    m_answer = raw;
    click(u"btn_ImportFromHV"_s);
    EXPECT_EQ(m_filters, qtNameFilters(u"原始记录文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s));
    EXPECT_EQ(m_folder, db.appDir() + u"data"_s);
    EXPECT_EQ(m_boxes,
              QStringList{u"原始数据导入: 共导入原始数据记录3条；其中有效数据1条，重复或无效数据2条。\n"_s +
                          unknownLine(1, u"00003"_s, raw)});
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 2);

    // Cancelled: nothing happens.
    m_answer.reset();
    click(u"btn_ImportFromHV"_s);
    EXPECT_TRUE(m_boxes.isEmpty());
}

// Watches the window's event loop while a command runs: a timer every 100 ms notes the longest
// gap between its ticks, the status texts and progress values shown, and the buttons' state.
class LoopWatch {
public:
    explicit LoopWatch(Tfrm_hv_client& window) : m_window(window) {
        m_timer.setInterval(100);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_sinceTick.start();
        m_timer.start();
    }

    qint64 longestGapMs = 0;
    int ticks = 0;
    int ticksWhileRunning = 0;
    QSet<QString> statusTexts;
    QSet<int> percents;
    bool buttonsDisabled = true;  // every tick while running saw btn_GetData disabled
    bool cancelShown = true;      // ... and 取消 shown

private:
    void tick() {
        longestGapMs = std::max(longestGapMs, m_sinceTick.restart());
        ++ticks;
        if (!m_window.isCommandRunning()) return;
        ++ticksWhileRunning;
        statusTexts.insert(m_window.findChild<QLabel*>(u"rzstspn_1"_s)->text());
        percents.insert(m_window.findChild<ProgressPane*>(u"rzprgrsts_1"_s)->percent());
        buttonsDisabled = buttonsDisabled && !m_window.findChild<QPushButton*>(u"btn_GetData"_s)->isEnabled();
        cancelShown = cancelShown && m_window.findChild<QPushButton*>(u"btn_Cancel"_s)->isVisible();
    }

    Tfrm_hv_client& m_window;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
};

QJsonArray manyRecords(int count) {
    QJsonArray logs;
    for (int i = 0; i < count; ++i)
        logs.append(logRecord(
            1 + i % 50, 1,
            QDateTime(QDate(2024, 5, 6), QTime(0, 0)).addSecs(60LL * i).toString(u"yyyy-MM-dd HH:mm:ss"_s)));
    return logs;
}

TEST_F(CollectionWindow, ASlowCollectionLeavesTheWindowAnsweringAndReportsInOrder) {
    // Seven pages of records, every reply of the terminal half a second late: seconds of work.
    constexpr int kRecords = 20000;
    startTerminal(manyRecords(kRecords), {u"delay-ms=500"_s});
    db.addDepartment(u"01"_s, u"总经办"_s);
    for (int e = 1; e <= 50; ++e)
        db.addActiveEmployee(u"E%1"_s.arg(e), u"%1"_s.arg(e, 5, 10, QChar(u'0')), u"P"_s);
    openWindow();
    // When the closing box shows, every log line of the run is already in mmo_2.
    QStringList linesAtBox;
    m_window->operatorView().setBoxHook([this, &linesAtBox](QMessageBox& box) {
        m_boxes.append(box.windowTitle() + u": "_s + box.text());
        linesAtBox = m_window->findChild<LogMemo*>(u"mmo_2"_s)->lines();
    });

    LoopWatch watch(*m_window);
    // Meanwhile the operator looks up employees on 人员注册.
    int foundWhileRunning = -1;
    QTimer::singleShot(1500, m_window.get(), [&] {
        auto* pages = m_window->findChild<QTabWidget*>(u"pgc_Device"_s);
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                          pages->tabBar()->tabRect(Tfrm_hv_client::kEntryPageIndex).center());
        m_window->findChild<QLineEdit*>(u"edt_keyword"_s)->setText(u"E1"_s);
        QTest::mouseClick(m_window->findChild<QPushButton*>(u"btn_search"_s), Qt::LeftButton);
        if (m_window->isCommandRunning()) foundWhileRunning = db.data().ds_3.rowCount();
    });
    QTest::mouseClick(m_window->findChild<QPushButton*>(u"btn_GetData"_s), Qt::LeftButton);
    // The click returns at once, with the command running and the other buttons disabled.
    EXPECT_TRUE(m_window->isCommandRunning());
    EXPECT_FALSE(m_window->findChild<QPushButton*>(u"btn_GetAllEntryInfo"_s)->isEnabled());
    m_window->waitUntilIdle();
    // E1 and E10 to E19 of the fifty.
    EXPECT_EQ(foundWhileRunning, 11);

    EXPECT_GE(watch.ticksWhileRunning, 20) << "the collection was too quick to show anything";
    EXPECT_LE(watch.longestGapMs, 300) << "the window's loop stood still";
    EXPECT_TRUE(watch.buttonsDisabled);
    EXPECT_TRUE(watch.cancelShown);
    EXPECT_TRUE(watch.statusTexts.contains(u"正在采集设备中的数据，请稍等......"_s));
    EXPECT_TRUE(watch.statusTexts.contains(u"等待设备响应…"_s));
    // The bar moved through the pages while they came.
    EXPECT_TRUE(
        std::any_of(watch.percents.begin(), watch.percents.end(), [](int p) { return p > 0 && p < 100; }));

    const QString summary = u"共采集数据记录20000条；其中有效数据记录20000条，重复或无效数据记录0条。"_s;
    EXPECT_EQ(m_boxes, QStringList{u"数据采集: "_s + summary});
    EXPECT_EQ(linesAtBox, (QStringList{QString(), u"数据采集成功！"_s, summary}));
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), kRecords);
    // Everything back as before the click.
    EXPECT_TRUE(m_window->findChild<QPushButton*>(u"btn_GetData"_s)->isEnabled());
    EXPECT_TRUE(m_window->findChild<QPushButton*>(u"btn_GetAllEntryInfo"_s)->isEnabled());
    EXPECT_FALSE(m_window->findChild<QPushButton*>(u"btn_Cancel"_s)->isVisible());
    EXPECT_EQ(m_window->findChild<QLabel*>(u"rzstspn_1"_s)->text(), QString());
}

// A terminal that takes the connection and never answers (a pulled cable behind a switch).
class SilentListener {
public:
    SilentListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_fd, 4), 0);
        socklen_t length = sizeof address;
        EXPECT_EQ(::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(m_fd); }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

TEST_F(CollectionWindow, ASilentTerminalLeavesTheWindowAnsweringUntilTheWarning) {
    SilentListener silent;
    startTerminal({});
    openWindow();
    m_window->findChild<QLineEdit*>(u"edt_NetPort"_s)->setText(QString::number(silent.port()));
    m_window->findChild<QLineEdit*>(u"edt_TimeOut"_s)->setText(u"1000"_s);

    LoopWatch watch(*m_window);
    QElapsedTimer took;
    took.start();
    click(u"btn_GetData"_s);
    EXPECT_GE(took.elapsed(), 900) << "the terminal was not waited for";
    EXPECT_LE(watch.longestGapMs, 300);
    EXPECT_TRUE(watch.statusTexts.contains(u"连接设备…"_s))
        << QStringList(watch.statusTexts.values()).join(u'|').toStdString();
    EXPECT_EQ(m_boxes, QStringList{u"数据采集: 数据采集失败，可能是设备没有连接好，请连接好设备后重试！"_s});
    EXPECT_TRUE(m_window->findChild<QPushButton*>(u"btn_GetData"_s)->isEnabled());
}

TEST_F(CollectionWindow, ClosingTheWindowWhileACommandRunsAsksThenWaitsForIt) {
    startTerminal(manyRecords(7000), {u"delay-ms=300"_s});
    openWindow();
    QStringList questions;
    m_window->operatorView().setQuestionHook([&questions](QMessageBox& box) {
        questions.append(box.text());
        box.button(questions.size() == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
    });
    QTest::mouseClick(m_window->findChild<QPushButton*>(u"btn_GetData"_s), Qt::LeftButton);
    ASSERT_TRUE(m_window->isCommandRunning());
    // 否: the window stays and the command goes on.
    EXPECT_FALSE(m_window->close());
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_window->isCommandRunning());
    // 是: the command is asked to stop; the window closes once it has ended, not before.
    EXPECT_FALSE(m_window->close());
    EXPECT_EQ(questions, QStringList(2, u"正在执行的命令尚未结束。是否取消该命令并退出？"_s));
    EXPECT_TRUE(m_window->isVisible());
    m_window->waitUntilIdle();
    EXPECT_FALSE(m_window->isVisible());
    // The command ended, cancelled, with its own box, and left the folder free.
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_TRUE(m_boxes[0].startsWith(u"数据采集: 数据采集未完成！采集已取消"_s)) << m_boxes[0].toStdString();
    EXPECT_TRUE(AppFolderLock(db.appDir()).tryLock());
}

TEST_F(CollectionWindow, CancelEndsACollectionAsIncompleteAndTheNextRunBringsTheRest) {
    // Three pages of records, every reply late: 取消 comes while the pages arrive.
    constexpr int kRecords = 9000;
    startTerminal(manyRecords(kRecords), {u"delay-ms=400"_s});
    for (int e = 1; e <= 50; ++e)
        db.addActiveEmployee(u"E%1"_s.arg(e), u"%1"_s.arg(e, 5, 10, QChar(u'0')), u"P"_s);
    openWindow();
    std::vector<QMessageBox::Icon> icons;
    bool cancelGoneAtBox = false;
    m_window->operatorView().setBoxHook([&](QMessageBox& box) {
        m_boxes.append(box.windowTitle() + u": "_s + box.text());
        icons.push_back(box.icon());
        cancelGoneAtBox = !m_window->findChild<QPushButton*>(u"btn_Cancel"_s)->isVisible();
    });
    // The operator clicks 取消 once the bar has moved: records have been read by then.
    QTimer operatorHand;
    operatorHand.setInterval(20);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (m_window->findChild<ProgressPane*>(u"rzprgrsts_1"_s)->percent() <= 0) return;
        operatorHand.stop();
        QTest::mouseClick(m_window->findChild<QPushButton*>(u"btn_Cancel"_s), Qt::LeftButton);
    });
    operatorHand.start();
    click(u"btn_GetData"_s);

    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_TRUE(m_boxes[0].startsWith(u"数据采集: 数据采集未完成！采集已取消，在读取"_s))
        << m_boxes[0].toStdString();
    EXPECT_EQ(icons, std::vector<QMessageBox::Icon>{QMessageBox::Warning});
    EXPECT_TRUE(cancelGoneAtBox) << "取消 still offered once the work had ended";
    const int storedFirst = db.rowCount(u"AtdRecord"_s);
    EXPECT_GT(storedFirst, 0);
    EXPECT_LT(storedFirst, kRecords);
    // What was read is in the raw record file, and the terminal is enabled again.
    EXPECT_EQ(dataFiles({u"*.hv"_s}).size(), 1);
    EXPECT_TRUE(m_terminal->dump().value(u"enabled"_s).toBool());

    // The next run brings every record the cancelled one left, and stores nothing twice.
    click(u"btn_GetData"_s);
    EXPECT_EQ(m_boxes,
              QStringList{u"数据采集: 共采集数据记录%1条；其中有效数据记录%2条，重复或无效数据记录%3条。"_s
                              .arg(kRecords)
                              .arg(kRecords - storedFirst)
                              .arg(storedFirst)});
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), kRecords);
}

// A port on 127.0.0.1 that nobody listens on: a connect is refused at once.
int closedPort() {
    SilentListener taken;
    return taken.port();
}

TEST_F(CollectionWindow, TheTerminalPageCollectsFromAllWithOneDownAndTakesATerminalIntoThePanel) {
    startTerminal(threeRecords());
    const QString secondState = m_stateDir.filePath(u"second.json"_s);
    EmulatorProcess::writeState(secondState, terminalState({logRecord(1, 1, u"2024-05-06 09:10:00"_s),
                                                            logRecord(1, 2, u"2024-05-06 17:30:00"_s)}));
    EmulatorProcess second(secondState);
    second.start();
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    const QByteArray list =
        "; the demo's terminals\n"
        "[Gate 1]\nlink = tcp\nip = 127.0.0.1\nport = " +
        QByteArray::number(m_terminal->tcpPort()) +
        "\n\n[Down]\nlink = tcp\nip = 127.0.0.1\ntimeout = 500\nport = " + QByteArray::number(closedPort()) +
        "\n\n[Gate 2]\nlink = tcp\nip = 127.0.0.1\nport = " + QByteArray::number(second.tcpPort()) + "\n";
    {
        QFile file(db.appDir() + u"terminals.ini"_s);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(list);
    }
    openWindow();
    auto* pages = m_window->findChild<QTabWidget*>(u"pgc_Device"_s);
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                      pages->tabBar()->tabRect(Tfrm_hv_client::kTerminalPageIndex).center());
    auto* page = m_window->findChild<TerminalPage*>();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->rowCount(), 3);
    EXPECT_EQ(page->cell(0, TerminalPage::kName), u"Gate 1"_s);
    EXPECT_EQ(page->cell(2, TerminalPage::kAddress),
              u"TCP/IP通讯 127.0.0.1:%1，机号：1"_s.arg(second.tcpPort()));

    click(u"btn_CollectAllTerminals"_s);
    EXPECT_TRUE(page->cell(0, TerminalPage::kRunResult).startsWith(u"完成：读取3条，保存1条"_s))
        << page->cell(0, TerminalPage::kRunResult).toStdString();
    EXPECT_EQ(page->cell(1, TerminalPage::kRunResult), u"无法连接"_s);
    EXPECT_EQ(page->cell(2, TerminalPage::kRunResult), u"完成：读取2条，保存2条"_s);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_TRUE(m_boxes[0].startsWith(u"采集数据: 共采集3台终端，其中成功2台，未成功1台。\nGate 1：完成"_s))
        << m_boxes[0].toStdString();
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 3);
    // The last collection of each terminal now shows on the page, noted by the window.
    EXPECT_EQ(page->cell(2, TerminalPage::kCollectedBy), u"window"_s);
    EXPECT_EQ(page->cell(1, TerminalPage::kCollectionResult), u"无法连接"_s);

    // One click takes a terminal into the connection panel, for every other page.
    page->tbl_Terminals->selectRow(2);
    click(u"btn_UseTerminal"_s);
    EXPECT_TRUE(m_window->findChild<QRadioButton*>(u"rb_tcp_ip"_s)->isChecked());
    EXPECT_EQ(m_window->findChild<QLineEdit*>(u"edt_NetPort"_s)->text(), QString::number(second.tcpPort()));
    EXPECT_TRUE(m_window->findChild<QLineEdit*>(u"edt_NetPort"_s)->isEnabled());

    // A bad list is named with its line and left as it is.
    {
        QFile file(db.appDir() + u"terminals.ini"_s);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("[Gate 3]\nlnk = tcp\n");
    }
    m_window->refreshTerminalPage();
    EXPECT_TRUE(page->lbl_TerminalListProblem->isVisibleTo(page));
    EXPECT_TRUE(page->lbl_TerminalListProblem->text().contains(u"terminals.ini:18: unknown key 'lnk'"_s))
        << page->lbl_TerminalListProblem->text().toStdString();
    QFile file(db.appDir() + u"terminals.ini"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), list + "[Gate 3]\nlnk = tcp\n");
}

// Runs the window's events until `done` holds, for at most `seconds`.
bool eventually(const std::function<bool()>& done, int seconds = 30) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > seconds * 1000) return false;
        QTest::qWait(50);
    }
    return true;
}

TEST_F(CollectionWindow, TheLivePageWatchesTwoTerminalsAndOrveloctlLeavesThemToIt) {
    startTerminal({});
    const QString secondState = m_stateDir.filePath(u"second.json"_s);
    EmulatorProcess::writeState(secondState, terminalState({}));
    EmulatorProcess second(secondState);
    second.start();
    db.addDepartment(u"01"_s, u"总经办"_s);
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    {
        QFile file(db.appDir() + u"terminals.ini"_s);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Gate 1]\nlink = tcp\nip = 127.0.0.1\ntimeout = 1000\nport = " +
                   QByteArray::number(m_terminal->tcpPort()) +
                   "\n[Gate 2]\nlink = tcp\nip = 127.0.0.1\ntimeout = 1000\nport = " +
                   QByteArray::number(second.tcpPort()) + "\n");
    }
    openWindow();
    auto* pages = m_window->findChild<QTabWidget*>(u"pgc_Device"_s);
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                      pages->tabBar()->tabRect(Tfrm_hv_client::kLivePageIndex).center());
    auto* live = m_window->findChild<LivePage*>();
    ASSERT_NE(live, nullptr);
    ASSERT_EQ(live->tbl_WatchTerminals->rowCount(), 2);
    const auto state = [live](int row) {
        const QTableWidgetItem* item = live->tbl_WatchTerminals->item(row, 1);
        return item ? item->text() : QString();
    };

    QTest::mouseClick(live->btn_WatchAll, Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return state(0) == u"已连接"_s && state(1) == u"已连接"_s; }))
        << state(0).toStdString() << " / " << state(1).toStdString() << "\n"
        << live->mmo_Watch->lines().join(u'\n').toStdString();

    // The watch's collections are noted as the window's.
    const CollectionHistory history = readCollectionHistory(db.appDir()).history;
    EXPECT_EQ(history.size(), 2u);
    for (const auto& [key, last] : history) EXPECT_EQ(last.by, u"window watch"_s) << key.toStdString();

    // A punch on each terminal reaches the table, newest on top, and the database.
    for (const auto& [port, enroll] : {std::pair{second.tcpPort(), 1}, std::pair{m_terminal->tcpPort(), 7}}) {
        QProcess punch;
        punch.start(EmulatorProcess::emulatorPath(), {u"punch"_s, u"--tcp"_s, u"127.0.0.1:%1"_s.arg(port),
                                                      u"--enroll"_s, QString::number(enroll)});
        ASSERT_TRUE(punch.waitForFinished(30000));
        ASSERT_EQ(punch.exitCode(), 0) << punch.readAllStandardError().toStdString();
    }
    ASSERT_TRUE(eventually([&] { return live->tbl_Punches->rowCount() == 2; }));
    const auto punchCell = [live](int row, int column) {
        return live->tbl_Punches->item(row, column)->text();
    };
    EXPECT_EQ(punchCell(0, 1), u"Gate 1"_s);
    EXPECT_EQ(punchCell(0, 2), u"00007"_s);
    EXPECT_EQ(punchCell(0, 4), u"人员不存在"_s);
    EXPECT_EQ(punchCell(1, 1), u"Gate 2"_s);
    EXPECT_EQ(punchCell(1, 2), u"00001"_s);
    EXPECT_EQ(punchCell(1, 3), u"张三"_s);
    EXPECT_EQ(punchCell(1, 4), u"已保存"_s);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);

    // orveloctl watch on the same folder leaves the window's terminal to it, and has nothing left.
    QProcess other;
    other.setProgram(EmulatorProcess::binFolder() + u"/orveloctl"_s);
    other.setArguments({u"--app-dir"_s, db.appDir(), u"--terminal"_s, u"Gate 1"_s, u"watch"_s});
    other.start();
    ASSERT_TRUE(other.waitForFinished(60000));
    EXPECT_EQ(other.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(other.readAllStandardOutput()).contains(u"Gate 1  already watched"_s));

    QTest::mouseClick(live->btn_StopWatch, Qt::LeftButton);
    live->waitUntilStopped();
    EXPECT_FALSE(live->isWatching());
    EXPECT_EQ(state(0), u"已停止"_s);
    // Both punches are in the raw record files the watch wrote (its journal's at its end).
    QByteArray raw;
    for (const QString& name : dataFiles({u"*.hv"_s})) raw += contents(db.appDir() + u"data/"_s + name);
    EXPECT_TRUE(raw.contains("\n00001") || raw.startsWith("00001")) << raw.toStdString();
    EXPECT_TRUE(raw.contains("\n00007") || raw.startsWith("00007")) << raw.toStdString();
    // Now orveloctl may watch it: the lock went with the window's watch.
    ConnectionPanelState gate1;
    gate1.chooseTcpIp();
    gate1.ipAddress = u"127.0.0.1"_s;
    gate1.netPort = QString::number(m_terminal->tcpPort());
    EXPECT_TRUE(FileLock(live::terminalWatchLockPath(db.appDir(), gate1)).tryLock());
}

TEST_F(CollectionWindow, TheTerminalPageChecksTerminalsAndEditsTheListKeepingItsComments) {
    // The terminal's clock runs five minutes fast.
    ASSERT_TRUE(m_stateDir.isValid());
    m_statePath = m_stateDir.filePath(u"terminal.json"_s);
    QJsonObject state = terminalState(threeRecords());
    state[u"clock_offset_s"_s] = 300;
    EmulatorProcess::writeState(m_statePath, state);
    m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
    m_terminal->start();
    const QByteArray list =
        "; checked by the window\n[Gate 1]\nlink = tcp\nip = 127.0.0.1\nport = " +
        QByteArray::number(m_terminal->tcpPort()) +
        "\n\n[Down]\nlink = tcp\nip = 127.0.0.1\ntimeout = 500\nport = " + QByteArray::number(closedPort()) +
        "\n";
    const QString path = db.appDir() + u"terminals.ini"_s;
    const auto fileText = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    };
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(list);
    }
    // The offset is against the window's clock: here the PC's time now.
    m_clock = FixedClock::at(QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s));
    openWindow();
    auto* pages = m_window->findChild<QTabWidget*>(u"pgc_Device"_s);
    pages->setCurrentIndex(Tfrm_hv_client::kTerminalPageIndex);
    auto* page = m_window->findChild<TerminalPage*>();
    ASSERT_EQ(page->rowCount(), 2);

    click(u"btn_CheckAllTerminals"_s);
    EXPECT_EQ(page->cell(0, TerminalPage::kOnline), u"在线"_s);
    EXPECT_NEAR(page->cell(0, TerminalPage::kClockOffset).toInt(), 300, 5);
    EXPECT_EQ(page->cell(0, TerminalPage::kRecords), u"3"_s);
    EXPECT_EQ(page->cell(0, TerminalPage::kNewRecords), u"3"_s);
    EXPECT_EQ(page->cell(1, TerminalPage::kOnline), u"离线"_s);
    EXPECT_EQ(page->cell(1, TerminalPage::kRecords), QString());
    EXPECT_EQ(m_boxes, QStringList{u"检查终端: 共检查2台终端，其中在线1台，离线1台。"_s});
    // A check only reads: the records are still new on the terminal.
    EXPECT_TRUE(m_terminal->dump().value(u"enabled"_s).toBool());

    // 添加: the dialog's fields, appended after the rest of the file.
    m_window->setTerminalDialogHook([](TerminalDialog& dialog) {
        dialog.edt_TerminalName->setText(u"Gate 3"_s);
        dialog.panelWidgets.rb_tcp_ip->setChecked(true);
        dialog.panelWidgets.edt_ip_address->setText(u"127.0.0.1"_s);
        dialog.panelWidgets.edt_NetPort->setText(u"5006"_s);
        EXPECT_EQ(dialog.problem(), QString());
        return true;
    });
    click(u"btn_AddTerminal"_s);
    ASSERT_EQ(page->rowCount(), 3);
    EXPECT_EQ(page->cell(2, TerminalPage::kName), u"Gate 3"_s);
    EXPECT_TRUE(fileText().startsWith(list)) << fileText().toStdString();
    // The states found by the check stay on their rows.
    EXPECT_EQ(page->cell(0, TerminalPage::kOnline), u"在线"_s);

    // A port that is no number is named, as the panel names it, and nothing is written.
    m_window->setTerminalDialogHook([](TerminalDialog& dialog) {
        dialog.edt_TerminalName->setText(u"Gate 5"_s);
        dialog.panelWidgets.rb_tcp_ip->setChecked(true);
        dialog.panelWidgets.edt_NetPort->setText(u"50x6"_s);
        EXPECT_NE(dialog.problem(), QString());
        return false;
    });
    const QByteArray beforeRefused = fileText();
    click(u"btn_AddTerminal"_s);
    EXPECT_EQ(fileText(), beforeRefused);

    // 重命名 and 删除 (asked first): the file comes back to what it was.
    page->tbl_Terminals->selectRow(2);
    m_window->setNamePromptHook([](const QString&, const QString& current) -> std::optional<QString> {
        EXPECT_EQ(current, u"Gate 3"_s);
        return u"Gate 4"_s;
    });
    click(u"btn_RenameTerminal"_s);
    EXPECT_EQ(page->cell(2, TerminalPage::kName), u"Gate 4"_s);
    // A name used already is refused with the list's own words, the file untouched.
    page->tbl_Terminals->selectRow(2);
    m_window->setNamePromptHook(
        [](const QString&, const QString&) -> std::optional<QString> { return u"gate 1"_s; });
    const QByteArray beforeDuplicate = fileText();
    click(u"btn_RenameTerminal"_s);
    EXPECT_EQ(fileText(), beforeDuplicate);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_TRUE(m_boxes[0].startsWith(u"终端管理: 终端列表没有修改："_s)) << m_boxes[0].toStdString();

    page->tbl_Terminals->selectRow(2);
    QStringList asked;
    m_window->operatorView().setQuestionHook([&asked](QMessageBox& box) {
        asked << box.text();
        box.button(QMessageBox::Yes)->click();
    });
    click(u"btn_RemoveTerminal"_s);
    EXPECT_EQ(
        asked,
        QStringList{u"将从终端列表中删除终端“Gate 4”（终端本身和数据库中的记录不受影响），是否继续？"_s});
    EXPECT_EQ(fileText(), list);
    EXPECT_EQ(page->rowCount(), 2);

    // 保存当前设备: the connection panel's settings as a new terminal.
    m_window->setNamePromptHook(
        [](const QString&, const QString&) -> std::optional<QString> { return u"面板"_s; });
    click(u"btn_SaveTerminal"_s);
    ASSERT_EQ(page->rowCount(), 3);
    EXPECT_EQ(page->cell(2, TerminalPage::kName), u"面板"_s);
    const TerminalList saved = readTerminalList(path);
    EXPECT_EQ(saved.entries.value(2).panel.netPort, QString::number(m_terminal->tcpPort()));
}

TEST_F(CollectionWindow, TheExportDialogWritesTheRecordsOfThePeriodWithFormulasGuarded) {
    startTerminal(threeRecords());
    db.addDepartment(u"01"_s, u"总经办"_s);
    db.addActiveEmployee(u"E001"_s, u"00001"_s, u"=1+1"_s);
    openWindow();
    click(u"btn_GetData"_s);
    ASSERT_EQ(db.rowCount(u"AtdRecord"_s), 1);

    const QString target = m_stateDir.filePath(u"五月.csv"_s);
    QString suggested;
    m_window->setExportDialogHooks(
        [](ExportDialog& dialog) {
            EXPECT_EQ(dialog.cbb_Department->count(), 2);  // 全部机构 and the one department
            dialog.dte_From->setDate(QDate(2024, 5, 1));
            dialog.dte_To->setDate(QDate(2024, 5, 31));
            dialog.cbb_FileType->setCurrentIndex(1);  // CSV
            return true;
        },
        [&](const QString& offered) -> std::optional<QString> {
            suggested = offered;
            return target;
        });
    click(u"btn_Export"_s);
    EXPECT_TRUE(suggested.endsWith(u"data/考勤记录-20240501-20240531.csv"_s)) << suggested.toStdString();
    EXPECT_EQ(m_boxes, QStringList{u"导出: 共导出1行考勤记录到文件%1中。"_s.arg(target)});
    const QByteArray csv = contents(target);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
    // The name is shown as text by a spreadsheet, never run as a formula.
    EXPECT_TRUE(csv.contains("'=1+1")) << csv.toStdString();
    EXPECT_FALSE(csv.contains(",=1+1")) << csv.toStdString();
}

}  // namespace
}  // namespace orvelo::test
