// orveloctl with a PostgreSQL server: the start-up failures and libpq's reason on stderr, and
// copy-database from an embedded file into the server (and back), twice.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include "tests/support/orveloctl_process.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

void writeIni(const QString& appDir, const QByteArray& section) {
    QFile ini(appDir + u"hv.ini"_s);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(section);
}

TEST(ServerDatabase, RefusedStartUpsGiveTheOneMessageAndLibpqsReason) {
    ORVELO_NEEDS_POSTGRESQL(server);
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 freePort = probe.serverPort();
    probe.close();
    const struct {
        const char* what;
        QString serverName;
        QString database;
        QString user;
        const char* reason;
    } cases[] = {
        {"server down", u"127.0.0.1:"_s + QString::number(freePort), u"x"_s, server.user,
         "Connection refused"},
        {"no such database", server.serverName(), u"orvelo_no_such_database"_s, server.user,
         "does not exist"},
        // The run's password file is not given: libpq has no password to send.
        {"no password", server.serverName(), server.passwordUser, server.passwordUser, "password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString appDir = dir.path() + u'/';
        writeIni(appDir, (u"[database]\r\nprovider=postgresql\r\nserver name=" + c.serverName +
                          u"\r\ndatabase name=" + c.database + u"\r\nuser name=" + c.user + u"\r\n")
                             .toUtf8());
        const OrveloctlOutcome run = runOrveloctlProcess({u"--app-dir"_s, appDir, u"check-database"_s});
        EXPECT_EQ(run.status, 3);
        EXPECT_TRUE(run.err.startsWith(u"Orvelo: 数据库连接失败!\n"_s)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.reason))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

// The tables' rows as "table: count" lines.
QString counts(TestDatabase& db) {
    QStringList lines;
    for (const QString& table :
         {u"hrdept"_s, u"hremployee"_s, u"systxtset"_s, u"equfinger"_s, u"equcard"_s, u"AtdRecord"_s})
        lines << table + u": "_s + QString::number(db.rowCount(table));
    return lines.join(u'\n');
}

TEST(ServerDatabase, CopyDatabaseFromTheEmbeddedFileIntoTheServerTwice) {
    ORVELO_NEEDS_PROVIDER(TestProvider::Postgresql);
    constexpr int kRows = 100000;
    TestDatabase file;
    file.addDepartment(u"02"_s, u"生产部"_s);
    for (int e = 1; e <= 50; ++e)
        file.addActiveEmployee(u"E%1"_s.arg(e, 3, 10, QChar(u'0')), u"%1"_s.arg(e, 5, 10, QChar(u'0')),
                               u"员工"_s);
    file.addEnrollment(u"E001"_s, u"00001"_s, 0, 0, u"0"_s, u"template"_s);
    file.addEnrollment(u"E001"_s, u"00001"_s, 9, 0);
    file.exec(u"insert into equcard (cardno, emplid, cardtype) values ('00001', 'E001', 'C001')"_s);
    // 100,000 attendance rows, one of them with a trailing blank in its employee number.
    file.exec(
        u"WITH RECURSIVE n(j) AS (SELECT 0 UNION ALL SELECT j + 1 FROM n WHERE j + 1 < 100000) "_s
        u"INSERT INTO AtdRecord (EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, OperDate) "_s
        u"SELECT printf('E%03d', 1 + j % 50), printf('%06d', 1 + j % 50), "_s
        u"date('2024-01-01', '+' || (j / 50 / 600) || ' days') || ' ', "_s
        u"printf('%02d:%02d', (480 + (j / 50) % 600) / 60, (480 + (j / 50) % 600) % 60), 2, '001', 2, 'sa', "_s
        u"'2024-06-30 18:00:00' FROM n"_s);
    file.exec(u"UPDATE AtdRecord SET EmplID = 'E001 ' WHERE rowid = 1"_s);
    ASSERT_EQ(file.rowCount(u"AtdRecord"_s), kRows);

    TestDatabase onServer(TestProvider::Postgresql);
    // A row the server has already: skipped, not doubled.
    onServer.exec(u"insert into hrdept (deptid, deptno, deptname) values ('02', '02', '生产部')"_s);

    const OrveloctlOutcome first = runOrveloctlProcess(
        {u"--app-dir"_s, file.appDir(), u"copy-database"_s, u"--to"_s, onServer.appDir()});
    EXPECT_EQ(first.status, 0) << first.err.toStdString() << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(u"hrdept: 1 rows, 0 copied, 1 already there\n"_s))
        << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(u"systxtset: 17 rows, 0 copied, 17 already there\n"_s))
        << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(u"hremployee: 50 rows, 50 copied, 0 already there\n"_s))
        << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(u"AtdRecord: 100000 rows, 100000 copied, 0 already there\n"_s))
        << first.out.toStdString();
    EXPECT_EQ(counts(onServer), counts(file));
    EXPECT_EQ(onServer.scalar(u"select fingerdata from equfinger where backupid = 0"_s).toString(),
              u"template"_s);
    EXPECT_EQ(onServer.scalar(u"select count(*) from atdrecord where emplid = 'E001'"_s).toInt(), kRows / 50);

    const OrveloctlOutcome second = runOrveloctlProcess(
        {u"--app-dir"_s, file.appDir(), u"copy-database"_s, u"--to"_s, onServer.appDir()});
    EXPECT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(u"AtdRecord: 100000 rows, 0 copied, 100000 already there\n"_s))
        << second.out.toStdString();
    const QStringList lines = second.out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 6) << second.out.toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(line.contains(u" rows, 0 copied, "_s)) << line.toStdString();
    EXPECT_EQ(counts(onServer), counts(file));

    // And back into an embedded file of a new folder, which the copy creates.
    QTemporaryDir back;
    writeIni(back.path() + u'/', "[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
    const OrveloctlOutcome home =
        runOrveloctlProcess({u"--app-dir"_s, onServer.appDir(), u"copy-database"_s, u"--to"_s, back.path()});
    EXPECT_EQ(home.status, 0) << home.err.toStdString();
    TestDatabase copied(back.path());
    EXPECT_EQ(counts(copied), counts(file));
}

TEST(ServerDatabase, CopyDatabaseNeedsItsDestination) {
    TestDatabase file;
    const OrveloctlOutcome missing = runOrveloctlProcess({u"--app-dir"_s, file.appDir(), u"copy-database"_s});
    EXPECT_EQ(missing.status, 64);
    EXPECT_TRUE(missing.err.contains(u"--to"_s)) << missing.err.toStdString();
    QTemporaryDir nowhere;
    writeIni(nowhere.path() + u'/', "[database]\r\nprovider=unknown\r\n");
    const OrveloctlOutcome unusable =
        runOrveloctlProcess({u"--app-dir"_s, file.appDir(), u"copy-database"_s, u"--to"_s, nowhere.path()});
    EXPECT_NE(unusable.status, 0);
    EXPECT_TRUE(unusable.err.contains(u"names no database"_s)) << unusable.err.toStdString();
}

}  // namespace
}  // namespace orvelo::test
