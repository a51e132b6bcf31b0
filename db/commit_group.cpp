#include "db/commit_group.h"

#include <sqlite3.h>

#include <QSqlError>
#include <QSqlQuery>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "db/database_error.h"

namespace orvelo {

// The helper thread that commits a group its caller left open through a long wait. It looks every
// kPoll; the caller's thread only takes the mutex at the start and end of a wait, which costs next
// to nothing for the many short ones.
class CommitGroup::WaitWatch {
public:
    static constexpr std::chrono::milliseconds kPoll{20};

    explicit WaitWatch(CommitGroup& group) : m_group(group), m_thread([this] { run(); }) {}

    ~WaitWatch() {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void begin() {
        const std::lock_guard lock(m_mutex);
        m_waiting = true;
        m_since = std::chrono::steady_clock::now();
        m_outcome = DuringWait::Nothing;
    }

    // Waits for a commit under way: the caller's thread must not touch the connection before it ends.
    DuringWait end() {
        const std::lock_guard lock(m_mutex);
        m_waiting = false;
        return std::exchange(m_outcome, DuringWait::Nothing);
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            m_wake.wait_for(lock, kPoll);
            if (m_quit || !m_waiting || m_outcome != DuringWait::Nothing || !m_group.m_open) continue;
            if (std::chrono::steady_clock::now() - m_since < kLongestHeldWait) continue;
            m_outcome = m_group.commitDuringWait();
        }
    }

    CommitGroup& m_group;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_waiting = false;
    std::chrono::steady_clock::time_point m_since;
    DuringWait m_outcome = DuringWait::Nothing;
    std::thread m_thread;  // last: it starts once everything above is made
};

CommitGroup::CommitGroup(DataModule& data)
    : m_data(data),
      m_db(data.connection()),
      m_limits(data.commitGroupLimits()),
      m_grouping(data.dialect() != Dialect::SqlServer) {}

CommitGroup::~CommitGroup() {
    m_watch.reset();
    rollback();
}

void CommitGroup::begin() {
    if (m_open || !m_grouping) return;
    if (m_data.dialect() == Dialect::Postgresql) {
        // PostgreSQL locks rows, not the database: nobody waits for a turn between groups, and a
        // second writer of the same row waits for this group's commit inside its own insert.
        if (!m_db.transaction()) throw sql::databaseError(m_db.lastError(), Dialect::Postgresql);
    } else {
        const auto sinceLastCommit = std::chrono::steady_clock::now() - m_data.lastGroupCommit();
        if (sinceLastCommit < kHandOver) std::this_thread::sleep_for(kHandOver - sinceLastCommit);
        // IMMEDIATE takes the write lock now, before the group's first duplicate test: a second
        // writer waits here (busy time-out) instead of testing between our test and our insert.
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            throw sql::databaseError(query.lastError(), Dialect::Sqlite);
    }
    m_open = true;
    m_members = 0;
    m_age.start();
}

bool CommitGroup::isDue() const {
    if (!m_grouping) return true;
    if (!m_open) return false;
    return m_members >= m_limits.maxMembers ||
           std::chrono::nanoseconds(m_age.nsecsElapsed()) >= m_limits.maxAge;
}

void CommitGroup::commit() {
    if (!m_open) return;
    if (m_data.dialect() == Dialect::Postgresql) {
        // After a failed statement PostgreSQL answers COMMIT with a rollback, which Qt's driver
        // reports as a failed commit: none of the group took effect.
        if (m_db.commit()) {
            m_data.noteGroupCommit(std::chrono::steady_clock::now());
            m_open = false;
            m_members = 0;
            return;
        }
        const DatabaseError error = sql::databaseError(m_db.lastError(), Dialect::Postgresql);
        rollback();
        throw error;
    }
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("COMMIT"))) {
        m_data.noteGroupCommit(std::chrono::steady_clock::now());
        m_open = false;
        m_members = 0;
        return;
    }
    // A failed COMMIT may leave the transaction open (a deferred constraint) or may already have
    // lost it (an I/O error): either way none of the group may stay behind half-done.
    const DatabaseError error = sql::databaseError(query.lastError(), Dialect::Sqlite);
    rollback();
    throw error;
}

void CommitGroup::rollback() {
    if (!m_open) return;
    m_open = false;
    m_members = 0;
    if (m_data.dialect() == Dialect::Postgresql) {
        m_db.rollback();
        return;
    }
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("ROLLBACK"));
}

void CommitGroup::waitBegins() {
    if (!m_grouping) return;
    if (m_watch) {
        m_watch->begin();
        return;
    }
    if (m_data.nativeSqliteHandle() && m_open) {
        m_watch = std::make_unique<WaitWatch>(*this);
        m_watch->begin();
        return;
    }
    // Without the handle the helper cannot reach the connection: the group commits before the wait
    // once it is old enough that a wait of any length would keep the lock too long.
    m_fallbackOutcome = DuringWait::Nothing;
    if (!m_data.nativeSqliteHandle() && m_open &&
        std::chrono::nanoseconds(m_age.nsecsElapsed()) >= kLongestHeldWait) {
        try {
            commit();
            m_fallbackOutcome = DuringWait::Committed;
        } catch (const DatabaseError& error) {
            m_failure = error;
            m_fallbackOutcome = DuringWait::Failed;
        }
    }
}

CommitGroup::DuringWait CommitGroup::waitEnded() {
    if (!m_grouping) return DuringWait::Nothing;
    if (m_watch) return m_watch->end();
    return std::exchange(m_fallbackOutcome, DuringWait::Nothing);
}

// On the helper thread, with the caller's thread away from the connection: SQLite's own interface,
// since Qt's connection belongs to the thread that opened it.
CommitGroup::DuringWait CommitGroup::commitDuringWait() {
    sqlite3* handle = m_data.nativeSqliteHandle();
    if (sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        m_data.noteGroupCommit(std::chrono::steady_clock::now());
        m_open = false;
        m_members = 0;
        return DuringWait::Committed;
    }
    m_failure = sql::databaseError(handle);
    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    m_open = false;
    m_members = 0;
    return DuringWait::Failed;
}

}  // namespace orvelo
