#pragma once

#include <QString>
#include <stdexcept>

namespace orvelo {

// The one error hierarchy of the layers. The guard around every command handler catches
// Error and shows text() in the default error box; orveloctl prints it and exits with 2.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const noexcept { return m_text; }

private:
    QString m_text;
};

// A text that does not convert to a number, date or time; carries the operator-facing text.
class ConversionError : public Error {
public:
    using Error::Error;
};

// What kind of failure a database error is, taken from the driver's own code (db/database_error.h)
// and never from its text: whether the same work would fail again for the next record decides
// whether a run goes on or stops.
enum class DatabaseErrorKind {
    Busy,            // another connection held a lock past the busy time-out, or a deadlock
    ReadOnly,        // the database or its file takes no writes
    Storage,         // disk full, an I/O error, a damaged file, no memory
    ConnectionLost,  // the database cannot be reached (or was never open)
    Constraint,      // this statement broke a constraint (a key, a trigger's refusal)
    Other,           // anything else about this statement: a syntax error, a missing table, a bad value
};

// The database refused a statement or the connection failed; carries the driver's text and the
// kind of its code.
class DatabaseError : public Error {
public:
    explicit DatabaseError(const QString& text, DatabaseErrorKind kind = DatabaseErrorKind::Other)
        : Error(text), m_kind(kind) {}
    DatabaseErrorKind kind() const noexcept { return m_kind; }
    // Whether the database as a whole failed rather than this statement: the next statement would
    // meet the same failure.
    bool aboutTheDatabase() const noexcept {
        return m_kind != DatabaseErrorKind::Constraint && m_kind != DatabaseErrorKind::Other;
    }

private:
    DatabaseErrorKind m_kind;
};

// A file could not be created, written or read.
class FileError : public Error {
public:
    using Error::Error;
};

// The terminal library could not be loaded or lacks an operation.
class LibraryError : public Error {
public:
    using Error::Error;
};

}  // namespace orvelo
