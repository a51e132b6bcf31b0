#include "db/startup.h"

#include <QDir>
#include <QStringList>
#include <algorithm>

#include "core/errors.h"
#include "core/ini_file.h"
#include "core/text.h"

namespace orvelo {

namespace {

const QString kSection = QStringLiteral("database");

// One value of an ODBC connection string: braced when it holds a character that would end it.
QString odbcValue(const QString& value) {
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') && value.trimmed() == value)
        return value;
    QString escaped = value;
    escaped.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return u'{' + escaped + u'}';
}

// "(local)" is SQL Server's name for this PC; FreeTDS knows it as localhost.
QString odbcServer(const QString& dataSource) {
    static const QString local = QStringLiteral("(local)");
    if (dataSource.startsWith(local, Qt::CaseInsensitive)) {
        const QString rest = dataSource.mid(local.size());
        if (rest.isEmpty() || rest.startsWith(u'\\') || rest.startsWith(u','))
            return QStringLiteral("localhost") + rest;
    }
    return dataSource;
}

}  // namespace

DatabaseSettings readDatabaseSettings(const QString& appDir) {
    const IniFile ini = IniFile::fromFile(appDir + QStringLiteral("hv.ini"));
    DatabaseSettings settings;
    const auto read = [&](const QString& key, QString& value) {
        value = ini.readString(kSection, key, value);
        if (settings.keyWithControlCharacter.isEmpty() && hasControlCharacter(value))
            settings.keyWithControlCharacter = key;
    };
    read(QStringLiteral("database name"), settings.databaseName);
    read(QStringLiteral("server name"), settings.serverName);
    read(QStringLiteral("login mode"), settings.loginMode);
    read(QStringLiteral("provider"), settings.provider);
    read(QStringLiteral("user name"), settings.userName);
    return settings;
}

QString databaseSettingsProblem(const QString& appDir) {
    const DatabaseSettings settings = readDatabaseSettings(appDir);
    if (settings.keyWithControlCharacter.isEmpty()) return {};
    return QStringLiteral("hv.ini的[database]中“") + settings.keyWithControlCharacter +
           QStringLiteral("”的值含有控制字符！");
}

std::optional<LoginMode> loginModeOf(const QString& loginMode) {
    if (loginMode.compare(u"sql", Qt::CaseInsensitive) == 0) return LoginMode::SqlServer;
    if (loginMode == u"win") return LoginMode::Windows;
    return std::nullopt;
}

QString oleDbConnectionString(LoginMode mode, const QString& databaseName, const QString& serverName) {
    if (mode == LoginMode::SqlServer) {
        return QStringLiteral(
                   "Provider=SQLOLEDB.1;Password=kd5820;Persist Security Info=True;User ID=ZOVA;"
                   "Initial Catalog=") +
               databaseName + QStringLiteral(";Data Source=") + serverName;
    }
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
               "Initial Catalog=") +
           databaseName + QStringLiteral(";Data Source=") + serverName;
}

QString odbcConnectionString(const QString& oleDb) {
    // The OLE DB string is the configuration's contract; read it back as OLE DB does: pairs
    // separated by ';', the first '=' ends the key, keys without regard to case, the last one wins.
    QString catalog;
    QString dataSource;
    QString user;
    QString password;
    bool integrated = false;
    for (const QString& pair : oleDb.split(u';')) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq < 0) continue;
        const QString key = pair.left(eq).trimmed();
        const QString value = pair.mid(eq + 1);
        if (key.compare(u"Initial Catalog", Qt::CaseInsensitive) == 0)
            catalog = value;
        else if (key.compare(u"Data Source", Qt::CaseInsensitive) == 0)
            dataSource = value;
        else if (key.compare(u"User ID", Qt::CaseInsensitive) == 0)
            user = value;
        else if (key.compare(u"Password", Qt::CaseInsensitive) == 0)
            password = value;
        else if (key.compare(u"Integrated Security", Qt::CaseInsensitive) == 0)
            integrated = value == u"SSPI";
    }
    QString odbc = QStringLiteral("DRIVER={FreeTDS};SERVER=") + odbcValue(odbcServer(dataSource)) +
                   QStringLiteral(";DATABASE=") + odbcValue(catalog);
    if (integrated) {
        odbc += QStringLiteral(";Trusted_Connection=Yes");
    } else {
        odbc += QStringLiteral(";UID=") + odbcValue(user) + QStringLiteral(";PWD=") + odbcValue(password);
    }
    // Names and other texts reach us as Unicode whatever the server's code page. A fixed protocol
    // version (the server answers with the one it speaks): with "auto" the driver retries an
    // unanswered login with the Sybase protocol and then waits for ever, login time-out or not.
    odbc += QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
    return odbc;
}

std::optional<ServerAddress> postgresqlServerAddress(const QString& serverName) {
    ServerAddress address;
    if (serverName.isEmpty() || serverName.compare(u"(local)", Qt::CaseInsensitive) == 0) return address;
    address.host = serverName;
    const qsizetype colon = serverName.lastIndexOf(u':');
    if (colon >= 0 && serverName.indexOf(u':') == colon) {
        const QString port = serverName.mid(colon + 1);
        bool ok = false;
        const int number = port.toInt(&ok);
        const bool digits = !port.isEmpty() && std::all_of(port.begin(), port.end(),
                                                           [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!digits || !ok || number < 1 || number > 65535) return std::nullopt;
        address.port = number;
        address.host = serverName.left(colon);
    }
    return address;
}

std::optional<DatabaseTarget> databaseTargetFor(const DatabaseSettings& settings, const QString& appDir) {
    if (!settings.keyWithControlCharacter.isEmpty()) return std::nullopt;
    DatabaseTarget target;
    if (settings.provider.compare(u"postgresql", Qt::CaseInsensitive) == 0) {
        const auto address = postgresqlServerAddress(settings.serverName);
        if (!address || settings.databaseName.isEmpty()) return std::nullopt;
        target.dialect = Dialect::Postgresql;
        target.serverHost = address->host;
        target.serverPort = address->port;
        target.serverDatabase = settings.databaseName;
        target.serverUser = settings.userName;
        return target;
    }
    if (settings.provider.compare(u"sqlite", Qt::CaseInsensitive) == 0) {
        if (settings.databaseName.isEmpty()) return std::nullopt;
        target.dialect = Dialect::Sqlite;
        target.sqliteFile = QDir::cleanPath(QDir(appDir).absoluteFilePath(settings.databaseName));
        return target;
    }
    if (!settings.provider.isEmpty() && settings.provider.compare(u"SQLOLEDB.1", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const auto mode = loginModeOf(settings.loginMode);
    if (!mode) return std::nullopt;
    target.dialect = Dialect::SqlServer;
    target.odbcConnectionString =
        odbcConnectionString(oleDbConnectionString(*mode, settings.databaseName, settings.serverName));
    return target;
}

std::optional<DatabaseTarget> databaseTargetAtStartup(const QString& appDir) {
    return databaseTargetFor(readDatabaseSettings(appDir), appDir);
}

bool openDatabaseAtStartup(DataModule& data, const QString& appDir, const std::function<void()>& openLists,
                           QString* serverReason) {
    // Whatever goes wrong here ends in the same message: the error's own text is not shown.
    std::optional<DatabaseTarget> target;
    try {
        target = databaseTargetAtStartup(appDir);
        if (!target) return false;
        data.openConnection(*target);
        if (openLists) openLists();
        return true;
    } catch (const Error& error) {
        if (serverReason && target && target->dialect == Dialect::Postgresql) *serverReason = error.text();
        return false;
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        return false;
    }
}

}  // namespace orvelo
