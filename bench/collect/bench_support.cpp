#include "bench/collect/bench_support.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

#include "core/errors.h"
#include "core/text.h"

namespace orvelo::bench {

using namespace Qt::StringLiterals;

namespace {

void check(bool ok, const QSqlQuery& query) {
    if (!ok) throw std::runtime_error(query.lastError().text().toStdString());
}

}  // namespace

QString benchFolder() {
    return QCoreApplication::applicationDirPath();
}

void seedEmployees(DataModule& data, int count) {
    QSqlDatabase db = data.connection();
    db.transaction();
    QSqlQuery q(db);
    check(q.prepare(u"INSERT INTO hremployee (EmplID, Cardid, emplname, deptid, sex, entrydate) "
                    u"VALUES (?, ?, ?, '01', 0, '2020-01-01')"_s),
          q);
    for (int i = 1; i <= count; ++i) {
        q.addBindValue(zeroPad(i, 6));
        q.addBindValue(zeroPad(i, 5));
        q.addBindValue(QString(u"员工"_s + QString::number(i)));
        check(q.exec(), q);
    }
    db.commit();
}

void seedAttendance(DataModule& data, int rows, int employees) {
    QSqlDatabase db = data.connection();
    db.transaction();
    QSqlQuery q(db);
    check(q.prepare(
              u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
              u"OperDate) VALUES (?, ?, ?, ?, 2, '001', 2, 'sa', '2025-06-30 18:00:00')"_s),
          q);
    const QDate first(2025, 1, 1);
    for (int j = 0; j < rows; ++j) {
        const int enroll = 1 + j % employees;
        const int minute = 8 * 60 + (j / employees) % 600;
        const QDate day = first.addDays(j / employees / 600);
        q.addBindValue(zeroPad(enroll, 6));
        q.addBindValue(zeroPad(enroll, 6));
        q.addBindValue(day.toString(u"yyyy-MM-dd "_s));
        q.addBindValue(QString(zeroPad(minute / 60, 2) + u':' + zeroPad(minute % 60, 2)));
        check(q.exec(), q);
    }
    db.commit();
}

double insertFloor(DataModule& data, const std::vector<std::vector<QVariant>>& rows) {
    QElapsedTimer timer;
    timer.start();
    QSqlDatabase db = data.connection();
    db.transaction();
    QSqlQuery q(db);
    check(q.prepare(
              u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
              u"OperDate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s),
          q);
    for (const auto& row : rows) {
        for (const QVariant& v : row) q.addBindValue(v);
        check(q.exec(), q);
    }
    db.commit();
    return timer.nsecsElapsed() / 1e9;
}

std::vector<std::vector<QVariant>> atdRowsAfter(DataModule& data, qint64 rowid) {
    QSqlQuery q(data.connection());
    q.setForwardOnly(true);
    check(q.exec(u"SELECT EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, OperDate "
                 u"FROM AtdRecord WHERE rowid > %1 ORDER BY rowid"_s.arg(rowid)),
          q);
    std::vector<std::vector<QVariant>> rows;
    while (q.next()) {
        std::vector<QVariant> row;
        for (int i = 0; i < 9; ++i) row.push_back(q.value(i));
        rows.push_back(std::move(row));
    }
    return rows;
}

qint64 maxAtdRowid(DataModule& data) {
    QSqlQuery q(data.connection());
    check(q.exec(u"SELECT coalesce(max(rowid), 0) FROM AtdRecord"_s), q);
    q.next();
    return q.value(0).toLongLong();
}

void seedAttendanceOnServer(DataModule& data, int rows, int employees) {
    // The rows seedAttendance writes, computed by the server: day, minute and employee of row j.
    QSqlQuery q(data.connection());
    check(q.exec(u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
                 u"OperDate) SELECT lpad((1 + j % %2)::text, 6, '0'), lpad((1 + j % %2)::text, 6, '0'), "
                 u"to_char(date '2025-01-01' + (j / %2 / 600), 'YYYY-MM-DD '), "
                 u"lpad(((480 + (j / %2) % 600) / 60)::text, 2, '0') || ':' || "
                 u"lpad(((480 + (j / %2) % 600) % 60)::text, 2, '0'), 2, '001', 2, 'sa', "
                 u"'2025-06-30 18:00:00' FROM generate_series(0, %1 - 1) AS j"_s.arg(rows)
                     .arg(employees)),
          q);
    check(q.exec(u"ANALYZE"_s), q);
}

std::vector<std::vector<QVariant>> takeNewAtdRows(DataModule& data) {
    QSqlDatabase db = data.connection();
    std::vector<std::vector<QVariant>> rows;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        check(q.exec(u"SELECT EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, OperDate "
                     u"FROM AtdRecord WHERE OperDate <> '2025-06-30 18:00:00'"_s),
              q);
        while (q.next()) {
            std::vector<QVariant> row;
            for (int i = 0; i < 9; ++i) row.push_back(q.value(i));
            rows.push_back(std::move(row));
        }
    }
    QSqlQuery remove(db);
    check(remove.exec(u"DELETE FROM AtdRecord WHERE OperDate <> '2025-06-30 18:00:00'"_s), remove);
    check(remove.exec(u"VACUUM AtdRecord"_s), remove);
    return rows;
}

namespace {

QString serverScript() {
    return QStringLiteral(ORVELO_POSTGRESQL_SERVER_SCRIPT);
}

void runScript(const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(serverScript(), arguments);
    if (!p.waitForFinished(300'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error("postgresql-server " + arguments.join(u' ').toStdString() + " failed");
}

}  // namespace

PrivateServer::PrivateServer(const QString& folder) : m_folder(folder) {
    // The server's account must reach its folder through the work folder (a temporary folder is
    // the owner's only).
    const QString parent = QFileInfo(m_folder).absolutePath();
    QFile::setPermissions(parent, QFile::permissions(parent) | QFile::ExeGroup | QFile::ExeOther);
    runScript({u"start"_s, m_folder});
    QFile env(m_folder + u"/server.env"_s);
    if (!env.open(QIODevice::ReadOnly)) throw std::runtime_error("no server.env");
    for (const QByteArray& line : env.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const QString key = text.section(u'=', 0, 0);
        const QString value = text.section(u'=', 1);
        if (key == u"socket") m_socket = value;
        if (key == u"port") m_port = value.toInt();
        if (key == u"user") m_user = value;
    }
}

PrivateServer::~PrivateServer() {
    try {
        runScript({u"stop"_s, m_folder});
    } catch (const std::exception&) {
    }
}

DatabaseTarget PrivateServer::target(const QString& database) const {
    DatabaseTarget target;
    target.dialect = Dialect::Postgresql;
    target.serverHost = m_socket;
    target.serverPort = m_port;
    target.serverDatabase = database;
    target.serverUser = m_user;
    return target;
}

QByteArray PrivateServer::iniSection(const QString& database) const {
    return (u"[database]\r\nprovider=postgresql\r\nserver name=" + m_socket + u':' + QString::number(m_port) +
            u"\r\ndatabase name=" + database + u"\r\nuser name=" + m_user + u"\r\n")
        .toUtf8();
}

void PrivateServer::run(const QString& statement) const {
    const QString name = u"bench_admin"_s;
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        db.setHostName(m_socket);
        db.setPort(m_port);
        db.setDatabaseName(u"postgres"_s);
        db.setUserName(m_user);
        // No notices of DROP DATABASE IF EXISTS in the figures.
        db.setConnectOptions(u"options='-c client_min_messages=warning'"_s);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(statement)) failure = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) throw std::runtime_error(QString(failure + u" in: " + statement).toStdString());
}

void Emulator::seed(const QString& stateFile, int users, int logs, int seed) {
    QStringList arguments{u"seed"_s, u"--users"_s, QString::number(users), u"--enrollments"_s,
                          u"0"_s,    u"--logs"_s,  QString::number(logs),  u"--out"_s,
                          stateFile};
    if (seed != 0) arguments << u"--seed"_s << QString::number(seed);
    QProcess p;
    p.start(benchFolder() + u"/orvelo-terminal"_s, arguments);
    if (!p.waitForFinished(300'000) || p.exitCode() != 0)
        throw std::runtime_error("orvelo-terminal seed failed: " + p.readAllStandardError().toStdString());
}

Emulator::Emulator(const QString& stateFile) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(benchFolder() + u"/orvelo-terminal"_s,
                    {u"--state"_s, stateFile, u"--tcp"_s, u"127.0.0.1:0"_s});
    if (!m_process.waitForStarted(30'000)) throw std::runtime_error("orvelo-terminal did not start");
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(60'000)) throw std::runtime_error("orvelo-terminal did not listen");
    }
    // "listening tcp=127.0.0.1:PORT udp=- pty=- usb=-"
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    const QString tcp = line.section(u' ', 1, 1);
    m_port = tcp.section(u':', -1).toInt();
    if (!line.startsWith(u"listening"_s) || m_port <= 0)
        throw std::runtime_error("unexpected line: " + line.toStdString());
}

Emulator::~Emulator() {
    m_process.terminate();
    if (!m_process.waitForFinished(10'000)) m_process.kill();
    m_process.waitForFinished(5'000);
}

}  // namespace orvelo::bench
