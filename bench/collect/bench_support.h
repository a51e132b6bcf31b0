#pragma once

// What the collection benchmarks share: an embedded database seeded in bulk and the terminal
// emulator on loopback.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <memory>

#include "db/data_module.h"

namespace orvelo::bench {

// The employees 1..count with cardid "%.5d" and emplid "%.6d" of the enroll number.
void seedEmployees(DataModule& data, int count);
// `rows` attendance rows of those employees on earlier days, so the duplicate test has an index
// of realistic depth to search.
void seedAttendance(DataModule& data, int rows, int employees);
// Inserts the given AtdRecord rows (9 columns each) in one transaction with one prepared
// statement: the floor for any store of these rows. Returns the seconds taken.
double insertFloor(DataModule& data, const std::vector<std::vector<QVariant>>& rows);
// The AtdRecord rows after `rowid`, 9 columns each.
std::vector<std::vector<QVariant>> atdRowsAfter(DataModule& data, qint64 rowid);
qint64 maxAtdRowid(DataModule& data);

// The same attendance rows on a PostgreSQL database, made by the server itself in one statement.
void seedAttendanceOnServer(DataModule& data, int rows, int employees);
// The AtdRecord rows that seedAttendance did not write (9 columns each), taken out of the table:
// a PostgreSQL table has no rowid, and its unique index would refuse the floor's rows otherwise.
std::vector<std::vector<QVariant>> takeNewAtdRows(DataModule& data);

// A private PostgreSQL server for a benchmark (tests/support/postgresql-server): started in
// `folder`, on its socket and a free loopback port only, stopped and removed with the object.
class PrivateServer {
public:
    explicit PrivateServer(const QString& folder);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;
    // Where the data module connects to for `database`.
    DatabaseTarget target(const QString& database) const;
    // hv.ini's section [database] for `database`.
    QByteArray iniSection(const QString& database) const;
    // One statement on the database "postgres" (CREATE DATABASE ...).
    void run(const QString& statement) const;

private:
    QString m_folder;
    QString m_socket;
    int m_port = 0;
    QString m_user;
};

// orvelo-terminal from the benchmark's own folder, on 127.0.0.1 with a free port.
class Emulator {
public:
    explicit Emulator(const QString& stateFile);
    ~Emulator();
    int tcpPort() const { return m_port; }
    // `seed` chooses the records (the same seed gives the same log); 0 leaves the emulator's own.
    static void seed(const QString& stateFile, int users, int logs, int seed = 0);

private:
    QProcess m_process;
    int m_port = 0;
};

QString benchFolder();

}  // namespace orvelo::bench
