#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "db/data_module.h"

namespace orvelo {

// The one message of every start-up failure, and its caption (information icon).
inline constexpr char16_t kDatabaseFailureText[] = u"数据库连接失败!";
inline constexpr char16_t kDatabaseFailureCaption[] = u"Orvelo";

// The keys of section "database" of hv.ini, as read (blanks around them dropped).
struct DatabaseSettings {
    QString databaseName = QStringLiteral("a1");
    QString serverName = QStringLiteral("(local)");
    QString loginMode = QStringLiteral("sql");
    // Our extension: absent or "SQLOLEDB.1" is SQL Server; "sqlite" makes "database name" the
    // path of an SQLite file relative to the application folder; "postgresql" a PostgreSQL server:
    // "server name" is host[:port] or a socket folder (a path starting with '/', with or without
    // ":port"), "(local)" libpq's default, "database name" the database.
    QString provider;
    // Our extension, PostgreSQL only: the role to log in as; empty is libpq's default (PGUSER, the
    // service's, or the login name).
    QString userName;
    // The first key read whose value holds a control character (a NUL byte, a tab, a line
    // break...), empty when none does: such a value would reach the driver cut or mangled, so
    // start-up fails instead.
    QString keyWithControlCharacter;
};

// Reads <appDir>hv.ini; appDir ends with "/". A missing file or key gives the defaults.
DatabaseSettings readDatabaseSettings(const QString& appDir);

enum class LoginMode { SqlServer, Windows };

// "sql" in any letter case is the SQL Server login; only "win" in lower case is the Windows
// login; anything else (empty included) is no login mode.
std::optional<LoginMode> loginModeOf(const QString& loginMode);

// The OLE DB connection string of the configuration; the names are put in as read.
QString oleDbConnectionString(LoginMode mode, const QString& databaseName, const QString& serverName);

// That connection string mapped onto the FreeTDS ODBC driver: Data Source is the server
// ("(local)" is this host, "host\instance" and "host,port" pass unchanged), Initial Catalog the
// database, and the fixed SQL login or FreeTDS's trusted connection.
QString odbcConnectionString(const QString& oleDbConnectionString);

// Which database the settings name. nullopt for an unknown login mode (SQL Server), an unknown
// provider or a value with a control character: start-up then fails without trying a connection.
std::optional<DatabaseTarget> databaseTargetFor(const DatabaseSettings& settings, const QString& appDir);

// Why the settings of <appDir>hv.ini cannot be used, for the console: names the key whose value
// holds a control character; empty when there is no such key (the window shows only the one
// start-up message).
QString databaseSettingsProblem(const QString& appDir);

// A PostgreSQL "server name" as libpq's host and port: the part after the last ':' is the port when
// it is a number and the rest holds no other ':' (an IPv6 address has several); port 0 when none
// is given. "(local)" and an empty name give an empty host: libpq's default.
struct ServerAddress {
    QString host;
    int port = 0;
};
std::optional<ServerAddress> postgresqlServerAddress(const QString& serverName);

// readDatabaseSettings and databaseTargetFor together.
std::optional<DatabaseTarget> databaseTargetAtStartup(const QString& appDir);

// Start-up's database steps, shared by the window's FormCreate and orveloctl: read hv.ini, choose
// the target, open con_1, then run openLists (OpenEmployeeLists). Returns false when any of them
// fails, for whatever reason; the caller then shows kDatabaseFailureText with the caption
// kDatabaseFailureCaption and ends the process. The error's own text is not shown in the window;
// when `serverReason` is given and a database server refused the connection (PostgreSQL: server
// down, no such database, password refused), it receives the server's or libpq's own text, for
// the console.
bool openDatabaseAtStartup(DataModule& data, const QString& appDir, const std::function<void()>& openLists,
                           QString* serverReason = nullptr);

}  // namespace orvelo
