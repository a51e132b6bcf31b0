// Commands that meet: orveloctl against the application folder's lock, two downloads at once on
// one folder, two folders sharing one embedded database file, and a database that another
// program holds past the busy time-out. Through libfkattend.so over loopback TCP, against the
// emulated terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>

#include "core/datetime.h"
#include "shell/app_folder_lock.h"
#include "tests/collection/qstring_printer.h"
#include "tests/support/emulator_process.h"
#include "tests/support/orveloctl_process.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

constexpr int kEmployees = 20;

QString enrollText(int enroll) {
    return u"%1"_s.arg(enroll, 5, 10, QChar(u'0'));
}

// `count` records of kEmployees employees, each at a minute of its own: no two are duplicates.
QJsonArray distinctRecords(int count) {
    QJsonArray logs;
    const DateTimeValue start = *parseDateTimeText(u"2024-03-01 08:00:00"_s);
    for (int i = 0; i < count; ++i)
        logs.append(QJsonObject{{u"enroll"_s, 1 + i % kEmployees},
                                {u"mode"_s, 1},
                                {u"time"_s, dateTimeText(start + i / 1440.0)}});
    return logs;
}

// The same records as lines of a raw record file (mode 1 is kept as 2; machine 1).
QByteArray rawLines(const QJsonArray& logs) {
    QByteArray lines;
    for (const QJsonValue& value : logs) {
        const QJsonObject record = value.toObject();
        lines +=
            (enrollText(record[u"enroll"_s].toInt()) + record[u"time"_s].toString().left(16) + u"2001\r\n"_s)
                .toLatin1();
    }
    return lines;
}

QJsonArray reversed(const QJsonArray& logs) {
    QJsonArray result;
    for (qsizetype i = logs.size() - 1; i >= 0; --i) result.append(logs.at(i));
    return result;
}

// A second application folder whose hv.ini names the database file of another.
struct SharingFolder {
    explicit SharingFolder(const QString& databaseFile) {
        EXPECT_TRUE(dir.isValid());
        path = dir.path() + u'/';
        QFile ini(path + u"hv.ini"_s);
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=" + databaseFile.toUtf8() + "\r\n");
    }
    QTemporaryDir dir;
    QString path;
};

class ConcurrentCollection : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_stateDir.isValid());
        for (int e = 1; e <= kEmployees; ++e)
            db.addActiveEmployee(u"E%1"_s.arg(e, 3, 10, QChar(u'0')), enrollText(e), u"员工"_s);
    }

    std::unique_ptr<EmulatorProcess> startTerminal(const QJsonArray& logs, const QStringList& faults = {}) {
        const QString state = m_stateDir.filePath(u"terminal%1.json"_s.arg(++m_terminals));
        EmulatorProcess::writeState(
            state, QJsonObject{
                       {u"machine"_s, 1}, {u"password"_s, 0}, {u"users"_s, QJsonArray{}}, {u"logs"_s, logs}});
        auto terminal = std::make_unique<EmulatorProcess>(state);
        EmulatorProcess::Options options;
        options.faults = faults;
        terminal->start(options);
        return terminal;
    }

    static QStringList on(const QString& appDir, const EmulatorProcess& terminal) {
        return {u"--app-dir"_s, appDir,         u"--link"_s, u"tcp"_s,
                u"--ip"_s,      u"127.0.0.1"_s, u"--port"_s, QString::number(terminal.tcpPort())};
    }

    static int collectedOn(const EmulatorProcess& terminal) {
        int n = 0;
        for (const QJsonValue& v : terminal.dump().value(u"logs"_s).toArray())
            if (v.toObject().value(u"collected"_s).toBool()) ++n;
        return n;
    }

    int rows() { return db.rowCount(u"AtdRecord"_s); }
    int distinctRows() {
        return db.scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT EmplID, RecDate, RecTime FROM AtdRecord)"_s)
            .toInt();
    }

    TestDatabase db;
    QTemporaryDir m_stateDir;
    int m_terminals = 0;
};

TEST_F(ConcurrentCollection, OrveloctlGivesUpOnAHeldFolderAfterItsWaitAndRunsNothing) {
    const QJsonArray logs = distinctRecords(30);
    const auto terminal = startTerminal(logs);
    AppFolderLock other(db.appDir());
    ASSERT_TRUE(other.tryLock());

    const OrveloctlOutcome run =
        runOrveloctlProcess(on(db.appDir(), *terminal) + QStringList{u"--wait"_s, u"1"_s, u"collect"_s});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(u"another Orvelo command is running on this application folder"_s))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(db.appDir() + u"orvelo.lock"_s)) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u"数据采集"_s)) << run.out.toStdString();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(collectedOn(*terminal), 0);
    EXPECT_TRUE(QDir(db.dataDir()).entryList(QDir::Files).isEmpty());

    // Commands that touch no terminal and store nothing do not wait for the folder.
    const OrveloctlOutcome check =
        runOrveloctlProcess({u"--app-dir"_s, db.appDir(), u"--wait"_s, u"1"_s, u"check-database"_s});
    EXPECT_EQ(check.status, 0) << check.err.toStdString();
    const OrveloctlOutcome list =
        runOrveloctlProcess({u"--app-dir"_s, db.appDir(), u"--wait"_s, u"1"_s, u"list"_s});
    EXPECT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_TRUE(other.isLocked());
}

// Without --wait orveloctl waits (60 seconds); a holder that lets go within it lets the command run.
TEST_F(ConcurrentCollection, OrveloctlRunsOnceTheHolderLetsGoWithinItsWait) {
    const QJsonArray logs = distinctRecords(30);
    const auto terminal = startTerminal(logs);
    AppFolderLock other(db.appDir());
    ASSERT_TRUE(other.tryLock());

    OrveloctlProcess waiting(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
    // Let go only once it is waiting on the lock file, so that it must have waited to succeed.
    QElapsedTimer bound;
    bound.start();
    bool ended = false;
    while (!waiting.hasOpen(other.path()) && bound.elapsed() < 60000)
        if ((ended = waiting.endsWithin(10))) break;
    ASSERT_FALSE(ended) << waiting.finish().err.toStdString();
    ASSERT_TRUE(waiting.hasOpen(other.path()));
    EXPECT_EQ(rows(), 0) << "the command ran while another held the folder";
    other.unlock();

    const OrveloctlOutcome run = waiting.finish();
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(storedCountOf(run.out), 30) << run.out.toStdString();
    EXPECT_EQ(rows(), 30);
    EXPECT_TRUE(AppFolderLock(db.appDir()).tryLock()) << "orveloctl kept the lock";
}

TEST_F(ConcurrentCollection, BadWaitIsAUsageError) {
    for (const QString& wait : {u"abc"_s, u"-1"_s, u""_s, u"1.5"_s}) {
        const OrveloctlOutcome run =
            runOrveloctlProcess({u"--app-dir"_s, db.appDir(), u"--wait"_s, wait, u"collect"_s});
        EXPECT_EQ(run.status, 64) << wait.toStdString();
        EXPECT_TRUE(run.err.contains(u"--wait"_s)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_EQ(rows(), 0);
}

TEST_F(ConcurrentCollection, TwoCollectsOnOneFolderAndOneTerminalTakeTurns) {
    constexpr int kRecords = 3000;
    const auto terminal = startTerminal(distinctRecords(kRecords));
    OrveloctlProcess first(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
    OrveloctlProcess second(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
    const OrveloctlOutcome a = first.finish();
    const OrveloctlOutcome b = second.finish();
    EXPECT_EQ(a.status, 0) << a.err.toStdString();
    EXPECT_EQ(b.status, 0) << b.err.toStdString();
    // One of them brought every record, the other found nothing new.
    EXPECT_EQ(storedCountOf(a.out) + storedCountOf(b.out), kRecords)
        << a.out.toStdString() << b.out.toStdString();
    EXPECT_EQ(std::min(storedCountOf(a.out), storedCountOf(b.out)), 0);
    EXPECT_EQ(rows(), kRecords);
    EXPECT_EQ(distinctRows(), kRecords);
    EXPECT_EQ(collectedOn(*terminal), kRecords);
}

// Two application folders share the database file: their folder locks do not meet, the store
// must keep each row single on its own.
TEST_F(ConcurrentCollection, TwoFoldersOnOneDatabaseFileStoreEachRecordOnce) {
    constexpr int kRecords = 3000;
    const QJsonArray logs = distinctRecords(kRecords);
    SharingFolder other(db.databaseFile());

    {
        SCOPED_TRACE("two downloads of the same records from two terminals");
        const auto here = startTerminal(logs);
        // The other terminal holds them last first: the two downloads meet in the middle instead
        // of one trailing the other through duplicates only.
        const auto there = startTerminal(reversed(logs));
        OrveloctlProcess first(on(db.appDir(), *here) + QStringList{u"collect"_s});
        OrveloctlProcess second(on(other.path, *there) + QStringList{u"collect"_s});
        const OrveloctlOutcome a = first.finish();
        const OrveloctlOutcome b = second.finish();
        EXPECT_EQ(a.status, 0) << a.err.toStdString();
        EXPECT_EQ(b.status, 0) << b.err.toStdString();
        EXPECT_EQ(storedCountOf(a.out) + storedCountOf(b.out), kRecords)
            << a.out.toStdString() << b.out.toStdString();
        EXPECT_EQ(rows(), kRecords);
        EXPECT_EQ(distinctRows(), kRecords);
    }

    db.exec(u"DELETE FROM AtdRecord"_s);
    {
        SCOPED_TRACE("a download and an import of the same records");
        const QString rawFile = m_stateDir.filePath(u"FDataQ5240301235959.hv"_s);
        QFile file(rawFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(rawLines(reversed(logs)));
        file.close();
        const auto terminal = startTerminal(logs);
        OrveloctlProcess collect(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
        OrveloctlProcess import({u"--app-dir"_s, other.path, u"import-raw"_s, rawFile});
        const OrveloctlOutcome a = collect.finish();
        const OrveloctlOutcome b = import.finish();
        EXPECT_EQ(a.status, 0) << a.err.toStdString();
        EXPECT_EQ(b.status, 0) << b.err.toStdString();
        EXPECT_EQ(storedCountOf(a.out) + storedCountOf(b.out), kRecords)
            << a.out.toStdString() << b.out.toStdString();
        EXPECT_EQ(rows(), kRecords);
        EXPECT_EQ(distinctRows(), kRecords);
    }
}

// Another program holds the database file (an exclusive transaction) past the busy time-out while
// orveloctl collects: the records it read are refused, named with their raw record file and stay
// new on the terminal; once the holder lets go, importing that file stores them, every one once.
TEST_F(ConcurrentCollection, DatabaseHeldByAnotherProgramRefusesAndTheRawFileBringsTheRecordsLater) {
    constexpr int kRecords = 500;
    const auto terminal = startTerminal(distinctRecords(kRecords));
    const QString connection = u"holder"_s;
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        holder.setDatabaseName(db.databaseFile());
        ASSERT_TRUE(holder.open()) << holder.lastError().text().toStdString();
        QSqlQuery begin(holder);
        ASSERT_TRUE(begin.exec(u"BEGIN EXCLUSIVE"_s)) << begin.lastError().text().toStdString();

        const OrveloctlOutcome run =
            runOrveloctlProcess(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
        EXPECT_EQ(run.status, 1) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains(u"数据采集成功"_s)) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(u"数据库无法写入"_s)) << run.out.toStdString();
        const QRegularExpressionMatch refused =
            QRegularExpression(u"其中(\\d+)条记录被数据库拒绝写入，已保存在原始记录文件(.+?\\.hv)中"_s)
                .match(run.out);
        ASSERT_TRUE(refused.hasMatch()) << run.out.toStdString();
        const int refusedCount = refused.captured(1).toInt();
        const QString rawFile = refused.captured(2);
        EXPECT_GT(refusedCount, 0);
        EXPECT_TRUE(rawFile.startsWith(db.dataDir())) << rawFile.toStdString();
        QFile raw(rawFile);
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly)) << rawFile.toStdString();
        EXPECT_EQ(raw.readAll().count('\n'), refusedCount);
        // Nothing was marked collected: the terminal hands every record out again.
        EXPECT_EQ(collectedOn(*terminal), 0);

        QSqlQuery rollback(holder);
        ASSERT_TRUE(rollback.exec(u"ROLLBACK"_s)) << rollback.lastError().text().toStdString();
        EXPECT_EQ(rows(), 0);

        const OrveloctlOutcome import =
            runOrveloctlProcess({u"--app-dir"_s, db.appDir(), u"import-raw"_s, rawFile});
        EXPECT_EQ(import.status, 0) << import.err.toStdString() << import.out.toStdString();
        EXPECT_EQ(storedCountOf(import.out), refusedCount) << import.out.toStdString();
        EXPECT_EQ(rows(), refusedCount);
        EXPECT_EQ(distinctRows(), refusedCount);
        // Importing it once more stores nothing twice.
        EXPECT_EQ(
            storedCountOf(runOrveloctlProcess({u"--app-dir"_s, db.appDir(), u"import-raw"_s, rawFile}).out),
            0);
        EXPECT_EQ(rows(), refusedCount);
    }
    QSqlDatabase::removeDatabase(connection);

    // The next download brings the rest; the imported ones count as duplicates.
    const OrveloctlOutcome again =
        runOrveloctlProcess(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(rows(), kRecords);
    EXPECT_EQ(distinctRows(), kRecords);
    EXPECT_EQ(collectedOn(*terminal), kRecords);
}

// Another program writes to the database while orveloctl downloads over a slow link (every reply
// of the terminal 300 ms late). Its connection uses SQLite's own busy handler, which sleeps up to
// 100 ms between tries, with a busy time-out of 1 s: every one of its writes must get in, since the
// download's groups do not keep the write lock through the waits on the link.
TEST_F(ConcurrentCollection, AnotherProgramsWritesGetInWhileADownloadWaitsOnASlowLink) {
    constexpr int kRecords = 50000;
    const auto terminal = startTerminal(distinctRecords(kRecords), {u"delay-ms=300"_s});
    const QString connection = u"writer"_s;
    {
        QSqlDatabase writer = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        writer.setDatabaseName(db.databaseFile());
        writer.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=1000"_s);
        ASSERT_TRUE(writer.open()) << writer.lastError().text().toStdString();
        const auto committedRows = [&writer] {
            QSqlQuery q(writer);
            return q.exec(u"SELECT COUNT(*) FROM AtdRecord"_s) && q.next() ? q.value(0).toInt() : -1;
        };

        OrveloctlProcess collect(on(db.appDir(), *terminal) + QStringList{u"collect"_s});
        // The writes begin once the download has committed rows: it is under way.
        QElapsedTimer bound;
        bound.start();
        while (committedRows() <= 0 && bound.elapsed() < 120000 && !collect.endsWithin(20)) {
        }
        int duringDownload = 0;
        qint64 longestWrite = 0;
        QStringList refused;
        for (int attempt = 0; !collect.endsWithin(150); ++attempt) {
            QSqlQuery q(writer);
            QElapsedTimer waited;
            waited.start();
            const bool written =
                q.exec(u"BEGIN IMMEDIATE"_s) &&
                q.exec(u"INSERT INTO hrdept (deptid, deptname) VALUES ('W%1', 'writer')"_s.arg(attempt)) &&
                q.exec(u"COMMIT"_s);
            if (!written) {
                refused << u"attempt %1 after %2 ms: %3"_s.arg(attempt)
                               .arg(waited.elapsed())
                               .arg(q.lastError().text());
                q.exec(u"ROLLBACK"_s);
            }
            longestWrite = std::max(longestWrite, waited.elapsed());
            ++duringDownload;
        }
        const OrveloctlOutcome run = collect.finish();
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        // The writer tried often enough while the download ran to have met its write lock.
        EXPECT_GE(duringDownload, 10);
        EXPECT_TRUE(refused.isEmpty()) << refused.join(u'\n').toStdString();
        RecordProperty("longest_write_ms", static_cast<int>(longestWrite));
        // The download's own accounting is whole.
        EXPECT_EQ(storedCountOf(run.out), kRecords) << run.out.toStdString();
        EXPECT_EQ(committedRows(), kRecords);
        EXPECT_EQ(collectedOn(*terminal), kRecords);
        writer.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

}  // namespace
}  // namespace orvelo::test
