#include "tests/support/postgresql_server.h"

#include <unistd.h>

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "core/errors.h"

namespace orvelo::test {

int PostgresqlServer::pgCtl(const QStringList& arguments) const {
    QStringList command{binFolder + u"/pg_ctl", QStringLiteral("-D"), dataFolder};
    command += arguments;
    QString program = command.takeFirst();
    // The server refuses to run as root: pg_ctl runs as the account that owns the cluster.
    if (::geteuid() == 0) {
        command.prepend(program);
        command = QStringList{QStringLiteral("-u"), serverUser, QStringLiteral("--")} + command;
        program = QStringLiteral("runuser");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, command);
    if (!process.waitForFinished(120000)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::optional<PostgresqlServer> postgresqlServer() {
    QString file = qEnvironmentVariable("ORVELO_TEST_POSTGRESQL");
    if (file.isEmpty()) {
        file = QStringLiteral(ORVELO_TEST_POSTGRESQL_FILE);
        // The fixture's stop removes the file with the server.
        if (!QFile::exists(file)) return std::nullopt;
    }
    QFile env(file);
    if (!env.open(QIODevice::ReadOnly))
        throw FileError(u"the PostgreSQL test server did not start: no " + file);
    PostgresqlServer server;
    for (const QByteArray& line : env.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(line.mid(eq + 1));
        if (key == "socket")
            server.socketFolder = value;
        else if (key == "host")
            server.host = value;
        else if (key == "port")
            server.port = value.toInt();
        else if (key == "user")
            server.user = value;
        else if (key == "password_user")
            server.passwordUser = value;
        else if (key == "pgpass")
            server.passwordFile = value;
        else if (key == "bindir")
            server.binFolder = value;
        else if (key == "data")
            server.dataFolder = value;
        else if (key == "server_user")
            server.serverUser = value;
    }
    if (server.port == 0 || server.socketFolder.isEmpty())
        throw FileError(u"the PostgreSQL test server's file is incomplete: " + file);
    return server;
}

void runOnPostgresqlServer(const PostgresqlServer& server, const QString& statement) {
    static QAtomicInt serial;
    const QString name = QStringLiteral("orvelo_test_admin_%1").arg(serial.fetchAndAddRelaxed(1));
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(server.socketFolder);
        db.setPort(server.port);
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(server.user);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            QSqlQuery query(db);
            if (!query.exec(statement)) failure = query.lastError().text() + u" in: " + statement;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) throw DatabaseError(failure);
}

ScratchPostgresqlDatabase::ScratchPostgresqlDatabase(const PostgresqlServer& server) : m_server(server) {
    static QAtomicInt serial;
    m_name = QStringLiteral("orvelo_%1_%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(serial.fetchAndAddRelaxed(1));
    runOnPostgresqlServer(m_server, u"CREATE DATABASE " + m_name);
}

ScratchPostgresqlDatabase::~ScratchPostgresqlDatabase() {
    try {
        runOnPostgresqlServer(m_server, u"DROP DATABASE IF EXISTS " + m_name + u" WITH (FORCE)");
    } catch (const std::exception&) {
        // The server went away with the test; the run's end removes the whole cluster anyway.
    }
}

}  // namespace orvelo::test
