#pragma once

#include <QString>
#include <QVariant>
#include <initializer_list>
#include <memory>
#include <span>

namespace orvelo {
class DataModule;
}

namespace orvelo::sql {

// One statement of the embedded database, prepared once and run many times with its values bound:
// for a loop that handles a record at a time, where SQLite parsing the same text for every record
// would cost more than running it. The text uses '?' marks and the database's own syntax; nothing
// translates it. Not for SQL Server, which receives the system's statement texts as they are. On
// PostgreSQL it is a server-side prepared statement through Qt's driver (the Qt path).
//
// It runs on the connection's own SQLite handle through SQLite's C interface, which binds a value
// for a fraction of what QSqlQuery spends on it (a download binds eight per record). That needs
// Qt's driver to use the very SQLite library this program links (Debian's Qt does); when the two
// differ, the statement goes through QSqlQuery instead, with the same results.
//
// It must not outlive its connection: its owner (a store, for one run) goes first.
class PreparedStatement {
public:
    enum class Path { Native, Qt };

    // Prepares the text on the data module's connection, natively where its handle allows;
    // throws DatabaseError with the driver's text.
    PreparedStatement(const DataModule& data, const QString& text);
    // The same, on the path given (the tests run both).
    PreparedStatement(const DataModule& data, const QString& text, Path path);
    ~PreparedStatement();
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    // Runs the statement to its end with `values` bound to its marks in order (a QString as text,
    // an integer as integer, a null QVariant as NULL) and returns the first column of its first
    // row: invalid when it gave none, null for NULL. Throws DatabaseError with the driver's text.
    // The statement holds no read snapshot afterwards.
    QVariant run(std::span<const QVariant> values);
    QVariant run(std::initializer_list<QVariant> values) {
        return run(std::span(values.begin(), values.size()));
    }
    // The rows the last run inserted, updated or deleted itself (not those of triggers).
    int changes() const { return m_changes; }

    Path path() const;

    class Implementation;

private:
    std::unique_ptr<Implementation> m_impl;
    int m_changes = 0;
};

}  // namespace orvelo::sql
