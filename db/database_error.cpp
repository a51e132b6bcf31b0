#include "db/database_error.h"

#include <sqlite3.h>

#include <QRegularExpression>
#include <QStringList>

namespace orvelo::sql {

using namespace Qt::StringLiterals;

DatabaseErrorKind sqliteErrorKind(int resultCode) {
    switch (resultCode & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_PROTOCOL:  // the WAL's locks kept changing under it: another connection's turn
            return DatabaseErrorKind::Busy;
        case SQLITE_READONLY:
            return DatabaseErrorKind::ReadOnly;
        case SQLITE_IOERR:
        case SQLITE_FULL:
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_NOMEM:
        case SQLITE_NOLFS:
            return DatabaseErrorKind::Storage;
        case SQLITE_CANTOPEN:
        case SQLITE_MISUSE:  // a closed handle
            return DatabaseErrorKind::ConnectionLost;
        case SQLITE_CONSTRAINT:
            return DatabaseErrorKind::Constraint;
        default:
            return DatabaseErrorKind::Other;
    }
}

DatabaseErrorKind sqlStateKind(const QString& sqlState) {
    const QString state = sqlState.trimmed().toUpper();
    const QStringView cls = QStringView(state).left(2);
    if (cls == u"08" || cls == u"IM" || state == u"HYT01" || state == u"HY117" || state == u"40003")
        return DatabaseErrorKind::ConnectionLost;
    if (state == u"HYT00" || state == u"40001") return DatabaseErrorKind::Busy;
    if (cls == u"23" || state == u"40002") return DatabaseErrorKind::Constraint;
    if (state == u"25006") return DatabaseErrorKind::ReadOnly;
    if (state == u"HY001") return DatabaseErrorKind::Storage;
    return DatabaseErrorKind::Other;
}

DatabaseErrorKind sqlServerErrorKind(long long number) {
    switch (number) {
        case 1205:  // chosen as the deadlock victim
        case 1222:  // lock request time-out
            return DatabaseErrorKind::Busy;
        case 3906:  // the database is read-only
        case 3908:
            return DatabaseErrorKind::ReadOnly;
        case 823:   // operating system I/O error
        case 824:   // logical consistency I/O error
        case 1101:  // no room in the filegroup (pages)
        case 1105:  // no room in the filegroup
        case 9002:  // transaction log full
            return DatabaseErrorKind::Storage;
        case 515:   // NULL into a NOT NULL column
        case 547:   // foreign key or check
        case 2601:  // duplicate key in a unique index
        case 2627:  // primary key or unique constraint
            return DatabaseErrorKind::Constraint;
        default:
            break;
    }
    // FreeTDS's own errors are about the link to the server (20002 connection failed, 20003
    // time-out, 20004 read failed, 20006 write failed, 20009 unable to connect, 20017 unexpected
    // end of the stream, 20047 connection refused ...).
    if (number >= 20000 && number < 21000) return DatabaseErrorKind::ConnectionLost;
    return DatabaseErrorKind::Other;
}

DatabaseErrorKind postgresqlErrorKind(const QString& sqlState) {
    const QString state = sqlState.trimmed().toUpper();
    if (state.isEmpty()) return DatabaseErrorKind::ConnectionLost;
    const QStringView cls = QStringView(state).left(2);
    // 57P01..57P03: the server shuts down, crashed or is starting; the connection is gone or not yet
    // there.
    if (cls == u"08" || state == u"57P01" || state == u"57P02" || state == u"57P03")
        return DatabaseErrorKind::ConnectionLost;
    // Serialization failure, deadlock, a lock not available at once.
    if (state == u"40001" || state == u"40P01" || state == u"55P03") return DatabaseErrorKind::Busy;
    if (cls == u"23") return DatabaseErrorKind::Constraint;
    if (state == u"25006") return DatabaseErrorKind::ReadOnly;
    // Insufficient resources (disk full, out of memory), an I/O error, damaged data.
    if (cls == u"53" || state == u"58030" || state == u"XX001" || state == u"XX002")
        return DatabaseErrorKind::Storage;
    return DatabaseErrorKind::Other;
}

QString errorText(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

DatabaseErrorKind sqliteErrorKind(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? sqliteErrorKind(code) : DatabaseErrorKind::Other;
}

DatabaseErrorKind odbcErrorKind(const QSqlError& error) {
    // Warnings (class 01) say nothing about the failure; the first state of another class does.
    static const QRegularExpression states(u", ([0-9A-Z]{5}(?:;[0-9A-Z]{5})*)$"_s);
    const QRegularExpressionMatch match = states.match(error.databaseText().trimmed());
    if (match.hasMatch()) {
        for (const QString& state : match.captured(1).split(u';')) {
            if (!state.startsWith(u"01"_s)) return sqlStateKind(state);
        }
    }
    DatabaseErrorKind kind = DatabaseErrorKind::Other;
    for (const QString& number : error.nativeErrorCode().split(u';', Qt::SkipEmptyParts)) {
        bool ok = false;
        const long long value = number.trimmed().toLongLong(&ok);
        if (!ok) continue;
        kind = sqlServerErrorKind(value);
        if (kind != DatabaseErrorKind::Other) break;
    }
    return kind;
}

DatabaseError databaseError(const QSqlError& error, Dialect dialect) {
    switch (dialect) {
        case Dialect::SqlServer:
            return DatabaseError(errorText(error), odbcErrorKind(error));
        case Dialect::Postgresql:
            // Qt's PostgreSQL driver gives the SQLSTATE as the native code; none when libpq
            // failed on its own.
            return DatabaseError(errorText(error), postgresqlErrorKind(error.nativeErrorCode()));
        case Dialect::Sqlite:
            break;
    }
    return DatabaseError(errorText(error), sqliteErrorKind(error));
}

DatabaseError databaseError(sqlite3* handle) {
    const QString text = QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(handle)));
    return DatabaseError(text.trimmed(), sqliteErrorKind(sqlite3_extended_errcode(handle)));
}

DatabaseError notOpenError() {
    return DatabaseError(QStringLiteral("Connection not open"), DatabaseErrorKind::ConnectionLost);
}

}  // namespace orvelo::sql
