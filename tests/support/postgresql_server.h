#pragma once

#include <QString>
#include <optional>

namespace orvelo::test {

// The private PostgreSQL server of the test run (tests/support/postgresql-server), as its start
// described it in the build tree (postgresql-server/server.env), or in the file that the variable
// ORVELO_TEST_POSTGRESQL names. Tests registered with SERVER run after ctest's fixture started
// it; a test binary started by hand finds it while it runs (`ctest -R postgresql_server_start`
// starts it, `ctest -R postgresql_server_stop` stops it).
struct PostgresqlServer {
    QString socketFolder;
    QString host;  // 127.0.0.1
    int port = 0;
    QString user;          // trusted without a password, may create databases
    QString passwordUser;  // must give the password of passwordFile
    QString passwordFile;  // a libpq password file (PGPASSFILE) for passwordUser
    QString binFolder;     // pg_ctl, psql ...
    QString dataFolder;
    QString serverUser;  // the account the server runs as

    // hv.ini's "server name" reaching the server through its socket.
    QString serverName() const { return socketFolder + u':' + QString::number(port); }
    // Runs pg_ctl with `arguments` after "-D dataFolder" as the server's account; its exit status.
    int pgCtl(const QStringList& arguments) const;
};

// The server of this run; nullopt when none runs. Throws when ORVELO_TEST_POSTGRESQL names a file
// that cannot be read.
std::optional<PostgresqlServer> postgresqlServer();

// A database of its own on the test server, for one test: created empty (no schema) with a name
// no other test uses, and dropped with the object, whoever is still connected to it.
class ScratchPostgresqlDatabase {
public:
    explicit ScratchPostgresqlDatabase(const PostgresqlServer& server);
    ~ScratchPostgresqlDatabase();
    ScratchPostgresqlDatabase(const ScratchPostgresqlDatabase&) = delete;
    ScratchPostgresqlDatabase& operator=(const ScratchPostgresqlDatabase&) = delete;

    const QString& name() const { return m_name; }

private:
    PostgresqlServer m_server;
    QString m_name;
};

// Runs one statement on the server's "postgres" database as the trusted role; throws
// DatabaseError with the server's text.
void runOnPostgresqlServer(const PostgresqlServer& server, const QString& statement);

}  // namespace orvelo::test

// Skips the test when the run has no PostgreSQL server (a test binary started by hand); under
// ctest the fixture always gives one.
#define ORVELO_NEEDS_POSTGRESQL(server)                                      \
    const auto server##Found = ::orvelo::test::postgresqlServer();           \
    if (!server##Found) GTEST_SKIP() << "no PostgreSQL test server running"; \
    const ::orvelo::test::PostgresqlServer& server = *server##Found
