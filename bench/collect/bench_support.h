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
