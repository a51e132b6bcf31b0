// The PostgreSQL provider: its settings, its dialect of the statement texts, its error kinds, and
// start-ups against the run's own server (an empty database, one with the schema, and the ways a
// connection is refused).
#include <gtest/gtest.h>

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

#include "core/errors.h"
#include "db/data_module.h"
#include "db/database_error.h"
#include "db/dialect.h"
#include "db/startup.h"
#include "tests/db/statement_texts.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace Qt::StringLiterals;

namespace {

TEST(PostgresqlSettings, ServerNameIsHostAndPortOrASocketFolder) {
    const struct {
        QString serverName;
        bool usable;
        QString host;
        int port;
    } cases[] = {
        {u"(local)"_s, true, QString(), 0},
        {QString(), true, QString(), 0},
        {u"db.example"_s, true, u"db.example"_s, 0},
        {u"10.0.0.5:5433"_s, true, u"10.0.0.5"_s, 5433},
        {u"/run/postgresql"_s, true, u"/run/postgresql"_s, 0},
        {u"/run/postgresql:5433"_s, true, u"/run/postgresql"_s, 5433},
        {u"fe80::1"_s, true, u"fe80::1"_s, 0},  // an IPv6 address keeps its colons
        {u"host:"_s, false, {}, 0},
        {u"host:port"_s, false, {}, 0},
        {u"host:70000"_s, false, {}, 0},
        {u"host:+5"_s, false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serverName.toStdString());
        const auto address = postgresqlServerAddress(c.serverName);
        ASSERT_EQ(address.has_value(), c.usable);
        if (!address) continue;
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->port, c.port);
    }
}

TEST(PostgresqlSettings, TargetTakesTheKeysAndNeverAPassword) {
    QTemporaryDir dir;
    const QString appDir = dir.path() + u'/';
    QFile ini(appDir + u"hv.ini"_s);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "[database]\r\nprovider=PostgreSQL\r\nserver name=db.example:6543\r\ndatabase name=hr\r\n"
        "user name=clerk\r\n");
    ini.close();
    const auto target = databaseTargetAtStartup(appDir);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->dialect, Dialect::Postgresql);
    EXPECT_EQ(target->serverHost, u"db.example"_s);
    EXPECT_EQ(target->serverPort, 6543);
    EXPECT_EQ(target->serverDatabase, u"hr"_s);
    EXPECT_EQ(target->serverUser, u"clerk"_s);

    DatabaseSettings settings;
    settings.provider = u"postgresql"_s;
    settings.databaseName.clear();
    EXPECT_FALSE(databaseTargetFor(settings, appDir).has_value()) << "no database name";
    settings.databaseName = u"hr"_s;
    settings.serverName = u"host:x"_s;
    EXPECT_FALSE(databaseTargetFor(settings, appDir).has_value()) << "a port that is no number";
    settings.serverName = u"(local)"_s;
    settings.keyWithControlCharacter = u"user name"_s;
    EXPECT_FALSE(databaseTargetFor(settings, appDir).has_value());
}

TEST(TranslateForPostgresql, RewritesTheTsqlShapes) {
    const struct {
        const char* what;
        QString batch;
        std::vector<sql::TranslatedStatement> expected;
    } cases[] = {
        {"IF NOT EXISTS with an insert without INTO",
         kDefaultDepartmentText,
         {{u"SELECT CASE WHEN not exists (select * from hrdept where deptid='01') THEN 1 ELSE 0 END"_s,
           u"insert into hrdept (deptid,deptno,deptname) values('01','01','01')"_s}}},
        {"the write batch: the test, then the insert",
         attendanceWriteBatch(duplicateTestText(u"1"_s, u"2005-03-07"_s, u"08:15"_s), u"'1'"_s),
         {{QString(), duplicateTestText(u"1"_s, u"2005-03-07"_s, u"08:15"_s)},
          {QString(),
           u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, "
           u"OperId, OperDate)VALUES ('1')"_s}}},
        {"enrollment replace over two lines with its parameter",
         storeEnrollmentLines(u"1"_s, u"00001"_s, 0, 0, 0).join(u"\r\n"_s),
         {{QString(), u"delete  from  equfinger   where emplid='1'and cardno='00001'and backupid=0"_s},
          {QString(),
           u"insert into equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values('1',"
           u"'00001',0,0,'0',:fpdata)"_s}}},
        {"isnull and getdate",
         u"select isnull(a, 'x'), getdate() from t"_s,
         {{QString(), u"select coalesce(a, 'x'), localtimestamp(3) from t"_s}}},
        {"isnull as a column name and getdate without its parentheses stay",
         u"select isnull, getdate from t"_s,
         {{QString(), u"select isnull, getdate from t"_s}}},
        {"top becomes a limit",
         u"select top 5 emplid from hremployee order by emplid"_s,
         {{QString(), u"select  emplid from hremployee order by emplid LIMIT 5"_s}}},
        {"top not right after select stays", u"select top from t"_s, {{QString(), u"select top from t"_s}}},
        {"words inside literals are left alone",
         u"update t set a='isnull(getdate()) top 5'"_s,
         {{QString(), u"update t set a='isnull(getdate()) top 5'"_s}}},
        {"IF with a function in its condition",
         u"if isnull((select max(a) from t), 0) = 0 insert t (a) values (1)"_s,
         {{u"SELECT CASE WHEN coalesce((select max(a) from t), 0) = 0 THEN 1 ELSE 0 END"_s,
           u"insert into t (a) values (1)"_s}}},
    };
    for (const auto& c : cases) EXPECT_EQ(sql::translateForPostgresql(c.batch), c.expected) << c.what;
}

TEST(PostgresqlErrorKind, OfSqlStates) {
    const struct {
        const char* state;
        DatabaseErrorKind kind;
    } cases[] = {
        {"", DatabaseErrorKind::ConnectionLost},  // libpq's own: the link broke
        {"08006", DatabaseErrorKind::ConnectionLost}, {"08001", DatabaseErrorKind::ConnectionLost},
        {"57P01", DatabaseErrorKind::ConnectionLost},  // the server shuts down
        {"57P03", DatabaseErrorKind::ConnectionLost}, {"23505", DatabaseErrorKind::Constraint},
        {"23502", DatabaseErrorKind::Constraint},     {"40001", DatabaseErrorKind::Busy},
        {"40P01", DatabaseErrorKind::Busy},           {"55P03", DatabaseErrorKind::Busy},
        {"25006", DatabaseErrorKind::ReadOnly},       {"53100", DatabaseErrorKind::Storage},
        {"58030", DatabaseErrorKind::Storage},        {"42P01", DatabaseErrorKind::Other},  // no such table
        {"42601", DatabaseErrorKind::Other},                                                // a syntax error
        {"22001", DatabaseErrorKind::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql::postgresqlErrorKind(QString::fromLatin1(c.state)), c.kind) << c.state;
}

// The run's server, reached as hv.ini names it.
class OnPostgresql : public testing::Test {
protected:
    void SetUp() override {
        const auto server = postgresqlServer();
        if (!server) GTEST_SKIP() << "no PostgreSQL test server running";
        m_server = *server;
        m_appDir = m_dir.path() + u'/';
    }

    void writeIni(const QString& serverName, const QString& database, const QString& user) {
        QFile ini(m_appDir + u"hv.ini"_s);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write((u"[database]\r\nprovider=postgresql\r\nserver name=" + serverName + u"\r\ndatabase name=" +
                   database + u"\r\nuser name=" + user + u"\r\n")
                      .toUtf8());
    }

    // The start-up's outcome and the reason it gives for the console.
    std::pair<bool, QString> startUp(DataModule& data) {
        QString reason;
        const bool opened = openDatabaseAtStartup(data, m_appDir, {}, &reason);
        return {opened, reason};
    }

    PostgresqlServer m_server;
    QTemporaryDir m_dir;
    QString m_appDir;
};

QVariant scalar(DataModule& data, const QString& sql) {
    QSqlQuery query(data.connection());
    if (!query.exec(sql) || !query.next()) throw DatabaseError(query.lastError().text() + u" in: " + sql);
    return query.value(0);
}

TEST_F(OnPostgresql, AnEmptyDatabaseGetsTheSchemaAndACodeRowsOnce) {
    ScratchPostgresqlDatabase database(m_server);
    writeIni(m_server.serverName(), database.name(), m_server.user);
    {
        DataModule data;
        ASSERT_TRUE(startUp(data).first);
        EXPECT_EQ(data.dialect(), Dialect::Postgresql);
        for (const QString& table :
             {u"hrdept"_s, u"hremployee"_s, u"systxtset"_s, u"equfinger"_s, u"equcard"_s, u"atdrecord"_s})
            EXPECT_EQ(scalar(data, u"select count(*) from "_s + table).toInt(),
                      table == u"systxtset" ? 17 : 0)
                << table.toStdString();
        EXPECT_EQ(scalar(data, u"select version from orvelo_schema"_s).toInt(),
                  DataModule::kPostgresqlSchemaVersion);
        EXPECT_EQ(
            scalar(data, u"select gb from systxtset where texttype='BackupID' and textvalue=9"_s).toString(),
            u"卡号"_s);
        // The attendance row's identity: employee without trailing blanks, day, minute.
        QSqlQuery insert(data.connection());
        ASSERT_TRUE(insert.exec(
            u"insert into AtdRecord (EmplID, RecDate, RecTime) values ('E1', '2024-01-02 ', '08:15')"_s));
        EXPECT_FALSE(insert.exec(
            u"insert into AtdRecord (EmplID, RecDate, RecTime) values ('E1  ', '2024-01-02', '08:15')"_s));
        EXPECT_EQ(sql::databaseError(insert.lastError(), Dialect::Postgresql).kind(),
                  DatabaseErrorKind::Constraint);
        EXPECT_TRUE(insert.exec(
            u"insert into AtdRecord (EmplID, RecDate, RecTime) values ('E1', '2024-01-02', '08:16')"_s));
    }
    // A second start finds the schema and leaves it and its rows as they are.
    DataModule again;
    ASSERT_TRUE(startUp(again).first);
    EXPECT_EQ(scalar(again, u"select count(*) from systxtset"_s).toInt(), 17);
    EXPECT_EQ(scalar(again, u"select count(*) from orvelo_schema"_s).toInt(), 1);
    EXPECT_EQ(scalar(again, u"select count(*) from atdrecord"_s).toInt(), 2);
}

TEST_F(OnPostgresql, ANewerSchemaVersionFailsTheStart) {
    ScratchPostgresqlDatabase database(m_server);
    writeIni(m_server.serverName(), database.name(), m_server.user);
    {
        DataModule data;
        ASSERT_TRUE(startUp(data).first);
        scalar(data, u"update orvelo_schema set version = version + 1 returning version"_s);
    }
    DataModule data;
    const auto [opened, reason] = startUp(data);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(reason.contains(u"newer"_s)) << reason.toStdString();
}

TEST_F(OnPostgresql, TheSameLoopbackServerOverTcp) {
    ScratchPostgresqlDatabase database(m_server);
    writeIni(m_server.host + u':' + QString::number(m_server.port), database.name(), m_server.user);
    DataModule data;
    const auto [opened, reason] = startUp(data);
    ASSERT_TRUE(opened) << reason.toStdString();
    EXPECT_EQ(scalar(data, u"select count(*) from systxtset"_s).toInt(), 17);
}

// libpq's password file: the password never stands in hv.ini.
class PasswordFile {
public:
    explicit PasswordFile(const QString& file)
        : m_old(qgetenv("PGPASSFILE")), m_had(qEnvironmentVariableIsSet("PGPASSFILE")) {
        qputenv("PGPASSFILE", file.toLocal8Bit());
    }
    ~PasswordFile() {
        if (m_had)
            qputenv("PGPASSFILE", m_old);
        else
            qunsetenv("PGPASSFILE");
    }

private:
    QByteArray m_old;
    bool m_had;
};

TEST_F(OnPostgresql, APasswordFromLibpqsPasswordFile) {
    // orvelo_password owns the database of its name; it gives the password of the run's file.
    writeIni(m_server.serverName(), m_server.passwordUser, m_server.passwordUser);
    {
        const PasswordFile file(m_server.passwordFile);
        DataModule data;
        const auto [opened, reason] = startUp(data);
        ASSERT_TRUE(opened) << reason.toStdString();
        EXPECT_EQ(scalar(data, u"select current_user"_s).toString(), m_server.passwordUser);
    }
    // A file with another password: the start fails, and the console learns why.
    QTemporaryDir dir;
    const QString wrong = dir.path() + u"/pgpass"_s;
    QFile file(wrong);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("*:*:*:orvelo_password:not-the-password\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const PasswordFile wrongFile(wrong);
    DataModule data;
    const auto [opened, reason] = startUp(data);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(reason.contains(u"password authentication failed"_s)) << reason.toStdString();
}

TEST_F(OnPostgresql, RefusedConnectionsFailWithLibpqsReason) {
    // A loopback port where nothing listens: taken and let go again.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 freePort = probe.serverPort();
    probe.close();
    const struct {
        const char* what;
        QString serverName;
        QString database;
        const char* reason;
    } cases[] = {
        {"no such database", m_server.serverName(), u"orvelo_no_such_database"_s, "does not exist"},
        {"server down", u"127.0.0.1:"_s + QString::number(freePort), u"x"_s, "Connection refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeIni(c.serverName, c.database, m_server.user);
        DataModule data;
        const auto [opened, reason] = startUp(data);
        EXPECT_FALSE(opened);
        EXPECT_FALSE(data.isConnected());
        EXPECT_TRUE(reason.contains(QString::fromLatin1(c.reason))) << reason.toStdString();
    }
}

TEST_F(OnPostgresql, ErrorsOfTheServerHaveTheirKinds) {
    TestDatabase db(TestProvider::Postgresql);
    QSqlDatabase con = db.data().connection();
    const auto kindOf = [&](const QString& text) {
        try {
            sql::runBatch(con, Dialect::Postgresql, text, {}, false);
        } catch (const DatabaseError& error) {
            return error.kind();
        }
        ADD_FAILURE() << "no error: " << text.toStdString();
        return DatabaseErrorKind::Other;
    };
    EXPECT_EQ(kindOf(u"insert hrdept (deptid) values (NULL)"_s), DatabaseErrorKind::Constraint);
    EXPECT_EQ(kindOf(u"select * from no_such_table"_s), DatabaseErrorKind::Other);
    sql::runBatch(con, Dialect::Postgresql, u"set default_transaction_read_only = on"_s, {}, false);
    EXPECT_EQ(kindOf(u"insert hrdept (deptid) values ('x')"_s), DatabaseErrorKind::ReadOnly);
    // The server ends this connection: the next statement meets a lost connection.
    runOnPostgresqlServer(m_server,
                          u"select pg_terminate_backend(pid) from pg_stat_activity where datname = '"_s +
                              db.scalar(u"select current_database()"_s).toString() + u"'"_s);
    EXPECT_EQ(kindOf(u"select 1"_s), DatabaseErrorKind::ConnectionLost);
}

// The window's lists (qry_3 and its detail qry_5) open when the server goes away: the data module
// still closes, the statements are not run again on the way out.
TEST_F(OnPostgresql, ADataModuleWhoseServerWentAwayStillCloses) {
    ScratchPostgresqlDatabase database(m_server);
    writeIni(m_server.serverName(), database.name(), m_server.user);
    auto data = std::make_unique<DataModule>();
    ASSERT_TRUE(startUp(*data).first);
    data->qry_3.addSql(kActiveListText);
    data->qry_3.open();
    data->qry_5.addSql(kDetailListText);
    data->qry_5.open();
    runOnPostgresqlServer(m_server,
                          u"select pg_terminate_backend(pid) from pg_stat_activity where datname = '"_s +
                              database.name() + u"'"_s);
    EXPECT_TRUE(data->qry_5.isOpen());
    EXPECT_NO_THROW(data.reset());
}

}  // namespace
