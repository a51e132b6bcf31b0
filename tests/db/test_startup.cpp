#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "core/errors.h"
#include "db/startup.h"
#include "tests/db/statement_texts.h"
#include "tests/support/test_database.h"

using namespace orvelo;
using namespace Qt::StringLiterals;

namespace {

const QString kSqlLogin =
    u"Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;"_s
    u"Initial Catalog="_s;
const QString kWinLogin =
    u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"_s
    u"Initial Catalog="_s;

// An application folder with the given hv.ini (none when text is null).
class AppFolder {
public:
    explicit AppFolder(const char* iniText) {
        m_appDir = m_dir.path() + u'/';
        if (!iniText) return;
        QFile ini(m_appDir + u"hv.ini"_s);
        if (!ini.open(QIODevice::WriteOnly)) throw FileError(u"hv.ini"_s);
        ini.write(iniText);
    }
    const QString& appDir() const { return m_appDir; }

private:
    QTemporaryDir m_dir;
    QString m_appDir;
};

struct ConnectionCase {
    const char* what;
    const char* ini;    // nullptr: no hv.ini
    const char* oleDb;  // nullptr: no connection is tried
    const char* odbc;
};

const ConnectionCase kConnectionCases[] = {
    {"no hv.ini: ZOVA to a1 on (local)", nullptr,
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=a1;"
     "Data Source=(local)",
     "DRIVER={FreeTDS};SERVER=localhost;DATABASE=a1;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset=UTF-8"},
    {"empty section: the defaults", "[database]\r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=a1;"
     "Data Source=(local)",
     "DRIVER={FreeTDS};SERVER=localhost;DATABASE=a1;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset=UTF-8"},
    {"SQL in capitals", "[database]\r\nlogin mode=SQL\r\ndatabase name=hr\r\nserver name=srv\r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=hr;"
     "Data Source=srv",
     "DRIVER={FreeTDS};SERVER=srv;DATABASE=hr;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset=UTF-8"},
    {"Sql mixed case", "[database]\r\nlogin mode=Sql\r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=a1;"
     "Data Source=(local)",
     "DRIVER={FreeTDS};SERVER=localhost;DATABASE=a1;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset=UTF-8"},
    {"win: integrated security", "[Database]\r\nLogin Mode=win\r\nDatabase Name=hr\r\nServer Name=srv\r\n",
     "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=hr;"
     "Data Source=srv",
     "DRIVER={FreeTDS};SERVER=srv;DATABASE=hr;Trusted_Connection=Yes;TDS_Version=7.4;ClientCharset=UTF-8"},
    {"blanks around names dropped; instance unchanged",
     "[database]\r\ndatabase name =  hr  \r\nserver name=  host\\SQLEXPRESS \r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=hr;"
     "Data Source=host\\SQLEXPRESS",
     "DRIVER={FreeTDS};SERVER=host\\SQLEXPRESS;DATABASE=hr;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset="
     "UTF-8"},
    {"(local) with an instance is this host's instance", "[database]\r\nserver name=(local)\\inst\r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=a1;"
     "Data Source=(local)\\inst",
     "DRIVER={FreeTDS};SERVER=localhost\\inst;DATABASE=a1;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset="
     "UTF-8"},
    {"host and port", "[database]\r\nserver name=10.0.0.5,1433\r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=a1;"
     "Data Source=10.0.0.5,1433",
     "DRIVER={FreeTDS};SERVER=10.0.0.5,1433;DATABASE=a1;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset="
     "UTF-8"},
    {"Chinese database name", "[database]\r\ndatabase name=考勤\r\n",
     "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;Initial Catalog=考勤;"
     "Data Source=(local)",
     "DRIVER={FreeTDS};SERVER=localhost;DATABASE=考勤;UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset=UTF-"
     "8"},
    {"provider SQLOLEDB.1 is the same as none", "[database]\r\nprovider=SQLOLEDB.1\r\nlogin mode=win\r\n",
     "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=a1;"
     "Data Source=(local)",
     "DRIVER={FreeTDS};SERVER=localhost;DATABASE=a1;Trusted_Connection=Yes;TDS_Version=7.4;ClientCharset=UTF-"
     "8"},
    {"Win is not win", "[database]\r\nlogin mode=Win\r\n", nullptr, nullptr},
    {"WIN is not win", "[database]\r\nlogin mode=WIN\r\n", nullptr, nullptr},
    {"empty login mode fails", "[database]\r\nlogin mode=\r\n", nullptr, nullptr},
    {"unknown login mode fails", "[database]\r\nlogin mode=windows\r\n", nullptr, nullptr},
    {"unknown provider fails", "[database]\r\nprovider=MSDASQL\r\n", nullptr, nullptr},
};

class ConnectionStringTest : public testing::TestWithParam<ConnectionCase> {};

TEST_P(ConnectionStringTest, FollowsTheConfiguration) {
    const ConnectionCase& c = GetParam();
    AppFolder folder(c.ini);
    const DatabaseSettings settings = readDatabaseSettings(folder.appDir());
    const auto mode = loginModeOf(settings.loginMode);
    const auto target = databaseTargetFor(settings, folder.appDir());
    if (!c.oleDb) {
        EXPECT_FALSE(target.has_value()) << c.what;
        return;
    }
    ASSERT_TRUE(mode.has_value()) << c.what;
    EXPECT_EQ(oleDbConnectionString(*mode, settings.databaseName, settings.serverName),
              QString::fromUtf8(c.oleDb))
        << c.what;
    ASSERT_TRUE(target.has_value()) << c.what;
    EXPECT_EQ(target->dialect, Dialect::SqlServer);
    EXPECT_EQ(target->odbcConnectionString, QString::fromUtf8(c.odbc)) << c.what;
    EXPECT_GT(target->loginTimeoutSeconds, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectionStringTest, testing::ValuesIn(kConnectionCases));

TEST(LoginMode, OnlySqlInAnyCaseOrWinInLowerCase) {
    const struct {
        const char* text;
        std::optional<LoginMode> mode;
    } cases[] = {
        {"sql", LoginMode::SqlServer}, {"SQL", LoginMode::SqlServer},
        {"Sql", LoginMode::SqlServer}, {"sQL", LoginMode::SqlServer},
        {"win", LoginMode::Windows},   {"Win", std::nullopt},
        {"WIN", std::nullopt},         {"", std::nullopt},
        {"sql ", std::nullopt},        {"sqlserver", std::nullopt},
        {"wIn", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(loginModeOf(QString::fromUtf8(c.text)), c.mode) << c.text;
}

TEST(OleDbConnectionString, InsertsNamesAsRead) {
    EXPECT_EQ(oleDbConnectionString(LoginMode::SqlServer, u"db"_s, u"srv"_s),
              kSqlLogin + u"db;Data Source=srv"_s);
    EXPECT_EQ(oleDbConnectionString(LoginMode::Windows, u"db"_s, u"srv"_s),
              kWinLogin + u"db;Data Source=srv"_s);
}

TEST(OdbcConnectionString, BracesValuesThatWouldEndTheirPair) {
    EXPECT_EQ(
        odbcConnectionString(kSqlLogin + u"{a}b;Data Source=srv"_s),
        u"DRIVER={FreeTDS};SERVER=srv;DATABASE={{a}}b};UID=ZOVA;PWD=kd5820;TDS_Version=7.4;ClientCharset=UTF-8"_s);
}

TEST(StartupTarget, SqliteProviderNamesAFileInTheApplicationFolder) {
    AppFolder folder("[database]\r\nprovider=SQLite\r\ndatabase name=sub/hr.db\r\nlogin mode=nonsense\r\n");
    const auto target = databaseTargetAtStartup(folder.appDir());
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->dialect, Dialect::Sqlite);
    EXPECT_EQ(target->sqliteFile, folder.appDir() + u"sub/hr.db"_s);
}

// ---------------------------------------------------------------------------------------------
// Start-up through the real drivers

bool startWithIni(const char* ini, const std::function<void(DataModule&)>& openLists = {}) {
    AppFolder folder(ini);
    DataModule data;
    return openDatabaseAtStartup(data, folder.appDir(), [&] {
        if (openLists) openLists(data);
    });
}

quint16 closedLoopbackPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) throw Error(u"no free port"_s);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

TEST(Startup, UnknownOrEmptyLoginModeTriesNoConnection) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    for (const char* mode : {"Win", "WIN", "", "windows"}) {
        const QByteArray ini = "[database]\r\nserver name=127.0.0.1," +
                               QByteArray::number(server.serverPort()) + "\r\nlogin mode=" + mode + "\r\n";
        EXPECT_FALSE(startWithIni(ini.constData())) << mode;
        EXPECT_FALSE(server.waitForNewConnection(0)) << mode;
    }
}

TEST(Startup, UnreachableSqlServerFailsThroughTheDriver) {
    const QByteArray ini =
        "[database]\r\nserver name=127.0.0.1," + QByteArray::number(closedLoopbackPort()) + "\r\n";
    bool listsOpened = false;
    EXPECT_FALSE(startWithIni(ini.constData(), [&](DataModule&) { listsOpened = true; }));
    EXPECT_FALSE(listsOpened);
    // The failure came from the FreeTDS driver itself, not from a driver that could not be loaded.
    AppFolder folder(ini.constData());
    DataModule data;
    try {
        data.openConnection(*databaseTargetAtStartup(folder.appDir()));
        FAIL() << "connected";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.text().contains(u"[FreeTDS]"_s)) << e.text().toStdString();
    }
}

TEST(Startup, SqlServerThatNeverAnswersFailsAtTheLoginTimeout) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    DatabaseTarget target;
    target.dialect = Dialect::SqlServer;
    target.odbcConnectionString = odbcConnectionString(oleDbConnectionString(
        LoginMode::SqlServer, u"a1"_s, u"127.0.0.1,"_s + QString::number(silent.serverPort())));
    target.loginTimeoutSeconds = 2;
    DataModule data;
    EXPECT_THROW(data.openConnection(target), DatabaseError);
    EXPECT_FALSE(data.isConnected());
    // The driver did reach the port given after the comma.
    EXPECT_TRUE(silent.waitForNewConnection(1000));
}

TEST(Startup, OpensTheEmbeddedDatabaseAndCreatesIt) {
    AppFolder folder("[database]\r\nprovider=sqlite\r\ndatabase name=hr.db\r\n");
    DataModule data;
    EXPECT_FALSE(QFile::exists(folder.appDir() + u"hr.db"_s));
    ASSERT_TRUE(openDatabaseAtStartup(data, folder.appDir(), [&] {
        for (Query* q : {&data.qry_3, &data.qry_4, &data.qry_5}) {
            q->close();
            q->clearSql();
        }
        data.qry_3.addSql(test::kActiveListText);
        data.qry_4.addSql(test::kDepartedListText);
        data.qry_5.addSql(test::kDetailListText);
        data.qry_3.open();
        data.qry_4.open();
        data.qry_5.open();
    }));
    EXPECT_TRUE(data.isConnected());
    EXPECT_TRUE(QFile::exists(folder.appDir() + u"hr.db"_s));
    EXPECT_TRUE(data.qry_5.isOpen());
    EXPECT_EQ(data.qry_3.columnNames(), QStringList({u"机构名称"_s, u"人员编号"_s, u"姓名"_s, u"登记号码"_s,
                                                     u"性别"_s, u"入职日期"_s}));
}

TEST(Startup, MissingTableOfTheListsFails) {
    // An embedded database made elsewhere, lacking the code table.
    AppFolder folder("[database]\r\nprovider=sqlite\r\ndatabase name=hr.db\r\n");
    {
        DataModule maker;
        maker.openConnection(*databaseTargetAtStartup(folder.appDir()));
        QSqlQuery drop(maker.connection());
        ASSERT_TRUE(drop.exec(u"drop table systxtset"_s));
    }
    const struct {
        const char* what;
        QString text;
    } lists[] = {{"qry_3", test::kActiveListText},
                 {"qry_4", test::kDepartedListText},
                 {"qry_5", test::kDetailListText}};
    for (const auto& list : lists) {
        DataModule data;
        EXPECT_FALSE(openDatabaseAtStartup(data, folder.appDir(), [&] {
            data.qry_3.clearSql();
            data.qry_3.addSql(list.text);
            data.qry_3.open();
        })) << list.what;
    }
}

TEST(Startup, AnyErrorOfTheListsIsAFailure) {
    test::TestDatabase db;
    DataModule data;
    EXPECT_FALSE(openDatabaseAtStartup(data, db.appDir(), [] { throw std::runtime_error("not ours"); }));
    EXPECT_FALSE(openDatabaseAtStartup(data, db.appDir(), [] { throw 1; }));
    EXPECT_TRUE(openDatabaseAtStartup(data, db.appDir(), {}));
}

TEST(Startup, EmbeddedDatabaseThatIsNoDatabaseFails) {
    AppFolder folder("[database]\r\nprovider=sqlite\r\ndatabase name=hr.db\r\n");
    QFile junk(folder.appDir() + u"hr.db"_s);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    DataModule data;
    EXPECT_FALSE(openDatabaseAtStartup(data, folder.appDir(), {}));
    // Not taken for a missing file: the operator's file stays.
    EXPECT_TRUE(QFile::exists(folder.appDir() + u"hr.db"_s));
}

TEST(Startup, AnEmptyDatabaseFileIsMadeLikeAMissingOne) {
    AppFolder folder("[database]\r\nprovider=sqlite\r\ndatabase name=hr.db\r\n");
    QFile empty(folder.appDir() + u"hr.db"_s);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const auto openLists = [](DataModule& data) {
        data.qry_3.clearSql();
        data.qry_3.addSql(test::kActiveListText);
        data.qry_3.open();
    };
    // Twice: the schema made at the first start is there at the next one.
    for (int start = 1; start <= 2; ++start) {
        DataModule data;
        ASSERT_TRUE(openDatabaseAtStartup(data, folder.appDir(), [&] { openLists(data); })) << start;
        QSqlQuery codes(data.connection());
        ASSERT_TRUE(codes.exec(u"select count(*) from systxtset"_s));
        ASSERT_TRUE(codes.next());
        EXPECT_GT(codes.value(0).toInt(), 0) << start;
    }
    EXPECT_GT(QFileInfo(folder.appDir() + u"hr.db"_s).size(), 0);
}

// The bytes of a literal, a NUL inside included.
template <std::size_t N>
QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}

TEST(StartupSettings, AControlCharacterInAValueFailsTheStartAndNamesTheKey) {
    const struct {
        const char* what;
        QByteArray ini;
        const char* key;  // nullptr: usable
    } cases[] = {
        {"a NUL cutting the file name", raw("[database]\r\nprovider=sqlite\r\ndatabase name=hr.db\0x.db\r\n"),
         "database name"},
        {"a tab inside the server name", "[database]\r\nserver name=srv\tx\r\n", "server name"},
        {"a control byte in the login mode", "[database]\r\nlogin mode=s\x01ql\r\n", "login mode"},
        {"a DEL in the provider", "[database]\r\nprovider=sqlite\x7f\r\n", "provider"},
        {"the first of two", "[database]\r\nserver name=a\x02\r\nlogin mode=b\x03\r\n", "server name"},
        {"blanks and tabs around values are no part of them",
         "[database]\r\nprovider=\tsqlite \t\r\ndatabase name= hr.db\t\r\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString appDir = dir.path() + u'/';
        QFile ini(appDir + u"hv.ini"_s);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(c.ini);
        ini.close();

        const QString problem = databaseSettingsProblem(appDir);
        DataModule data;
        const bool started = openDatabaseAtStartup(data, appDir, {});
        if (!c.key) {
            EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
            EXPECT_TRUE(started);
            continue;
        }
        EXPECT_EQ(problem,
                  u"hv.ini的[database]中“"_s + QString::fromLatin1(c.key) + u"”的值含有控制字符！"_s);
        EXPECT_EQ(readDatabaseSettings(appDir).keyWithControlCharacter, QString::fromLatin1(c.key));
        EXPECT_FALSE(started);
        EXPECT_FALSE(data.isConnected());
        // Nothing was made under the cut name either.
        EXPECT_FALSE(QFile::exists(appDir + u"hr.db"_s));
    }
}

}  // namespace
