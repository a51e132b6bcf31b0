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

// The database refused a statement or the connection failed; carries the driver's text.
class DatabaseError : public Error {
public:
    using Error::Error;
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
