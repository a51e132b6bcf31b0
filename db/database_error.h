#pragma once

#include <QSqlError>
#include <QString>

#include "core/errors.h"
#include "db/data_module.h"

struct sqlite3;

// The one way a failure of a driver becomes a DatabaseError: the driver's text, and the kind of its
// native code. Texts differ between versions and languages of the drivers; codes do not.
namespace orvelo::sql {

// The kind of a SQLite result code, primary or extended (the extended ones keep the primary code in
// their low byte).
DatabaseErrorKind sqliteErrorKind(int resultCode);

// The kind of an ODBC SQLSTATE (five characters, e.g. 08S01).
DatabaseErrorKind sqlStateKind(const QString& sqlState);

// The kind of a SQL Server error number, or of one of the FreeTDS driver's own (20000 and up).
DatabaseErrorKind sqlServerErrorKind(long long number);

// The kind of a PostgreSQL SQLSTATE. An empty state is libpq's own failure (the server went away, a
// broken link): PostgreSQL itself gives every error of its own a state.
DatabaseErrorKind postgresqlErrorKind(const QString& sqlState);

// The driver's text of an error: the database's message, else Qt's own.
QString errorText(const QSqlError& error);

// The kind of an error of a QSQLITE connection: its native code is SQLite's result code.
DatabaseErrorKind sqliteErrorKind(const QSqlError& error);

// The kind of an error of a QODBC connection to SQL Server. Qt 6.4's QODBC puts only the native
// error number of the last diagnostic record into nativeErrorCode; Qt 6.5 and later put every
// record's number there joined by ';' and end the database text with ", " and the records'
// SQLSTATEs joined by ';'. The SQLSTATEs decide where they are given, the numbers otherwise.
DatabaseErrorKind odbcErrorKind(const QSqlError& error);

// A DatabaseError for an error of a connection of `dialect`.
DatabaseError databaseError(const QSqlError& error, Dialect dialect);

// A DatabaseError for the last failure on a SQLite handle (its message and extended result code).
DatabaseError databaseError(sqlite3* handle);

// The error of a statement run on a connection that is not open.
DatabaseError notOpenError();

}  // namespace orvelo::sql
