#pragma once

#include <QSqlDatabase>
#include <chrono>

struct sqlite3;

namespace orvelo::sql {

// The SQLite handle of an open QSQLITE connection, when Qt's driver uses the very SQLite library
// this program links (Debian's Qt does: both load the system's libsqlite3.so.0); null otherwise, or
// when the connection is not an open SQLite one. Only then may SQLite's C interface be called on it.
sqlite3* sameLibrarySqliteHandle(const QSqlDatabase& db);

// How a connection waits for another connection's write lock: it tries again every millisecond
// until `limit` has passed since its first try. SQLite's own handler sleeps longer and longer
// between tries (up to 100 ms), so a writer that commits in groups and begins its next group a few
// milliseconds later would keep it out for good; trying every millisecond, it gets in at the next
// hand-over (db/commit_group.h).
class BusyWait {
public:
    explicit BusyWait(std::chrono::milliseconds limit) : m_limit(limit) {}
    BusyWait(const BusyWait&) = delete;
    BusyWait& operator=(const BusyWait&) = delete;

    // Installs itself as the busy handler of `handle` (one sameLibrarySqliteHandle gave). It must
    // outlive the connection's use.
    void install(sqlite3* handle);

private:
    static int onBusy(void* self, int tries);

    std::chrono::milliseconds m_limit;
    std::chrono::steady_clock::time_point m_firstTry;
};

}  // namespace orvelo::sql
