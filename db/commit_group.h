#pragma once

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <chrono>
#include <memory>
#include <optional>

#include "core/errors.h"
#include "db/data_module.h"

namespace orvelo {

// One transaction on con_1 that the statements of many records share, so that a long run of
// writes (a download, an import) pays for a commit now and then instead of once per record.
//
// On the embedded database a group is BEGIN IMMEDIATE ... COMMIT: it holds SQLite's write lock
// from its first write to its commit, so a test-then-insert inside it stays atomic against other
// processes, which wait for the commit within their busy time-out. The limits (the data module's
// commitGroupLimits) keep that wait short, and a group begins no sooner than kHandOver after the
// connection's last group committed: another writer, trying every millisecond (BusyWait), takes the
// lock in between instead of waiting behind back-to-back groups until its time-out refuses it.
//
// A group must not keep the lock while its caller waits for something else (a read from a
// terminal over a slow link): another process's writer, sleeping up to 100 ms between its tries
// (SQLite's own busy handler), would find the lock free only in the few milliseconds between two
// groups. The caller marks such a wait (waitBegins, waitEnded); a group still open kLongestHeldWait
// into it commits then, from a helper thread, while the caller's thread is away from the connection.
// Waits that end sooner (a read served from what the terminal library holds) cost nothing, so a
// download at full speed keeps its large groups.
//
// On PostgreSQL a group is BEGIN ... COMMIT too, with the same limits; rows are locked one by one,
// so a group keeps no other writer out but the one storing the same row, which waits for the commit
// and then finds the row there (the attendance store's ON CONFLICT DO NOTHING). A group left open
// through a long wait commits before it, as where the embedded handle is not reachable.
//
// On SQL Server there is no group: every statement commits on its own, as the larger system's
// users of the shared database expect; a transaction held open across records would hold its
// locks on AtdRecord and the employee rows against them. begin() and commit() do nothing there
// and isDue() is always true, so a caller settles each record at once.
class CommitGroup {
public:
    static constexpr std::chrono::milliseconds kHandOver{5};
    // How long a wait may keep an open group's write lock (give or take the helper's poll).
    static constexpr std::chrono::milliseconds kLongestHeldWait{100};

    explicit CommitGroup(DataModule& data);
    // An open group is rolled back: nothing of it was committed, so nothing of it may count.
    ~CommitGroup();
    CommitGroup(const CommitGroup&) = delete;
    CommitGroup& operator=(const CommitGroup&) = delete;

    // Whether this database groups at all (the embedded one and PostgreSQL).
    bool grouping() const { return m_grouping; }
    bool isOpen() const { return m_open; }
    // Opens a group unless one is open. Throws DatabaseError when the database refuses it (another
    // writer held it past the busy time-out, a read-only file).
    void begin();
    // One more record's statements belong to the open group.
    void addMember() { ++m_members; }
    int members() const { return m_members; }
    // The open group has reached its count or its age: time to commit it.
    bool isDue() const;
    // Commits the open group (nothing when none is open). Throws DatabaseError when the commit
    // fails; the group is rolled back and closed then, so none of its statements took effect.
    void commit();
    // Drops the open group's statements.
    void rollback();

    // What became of the open group during a wait.
    enum class DuringWait { Nothing, Committed, Failed };
    // The caller's thread leaves the connection alone from here to waitEnded(): no statement, no
    // call of this group. Where the connection's SQLite handle is not reachable (Qt's driver with a
    // SQLite of its own), a group older than kLongestHeldWait commits here instead; its failure
    // shows at waitEnded() too.
    void waitBegins();
    // Back from the wait: whether the group committed (isOpen() is false then) or its commit
    // failed (rolled back; failure() says why) during it.
    DuringWait waitEnded();
    // Why the last commit during a wait failed.
    const std::optional<DatabaseError>& failure() const { return m_failure; }

private:
    class WaitWatch;
    DuringWait commitDuringWait();

    DataModule& m_data;
    QSqlDatabase m_db;
    CommitGroupLimits m_limits;
    bool m_grouping = false;
    bool m_open = false;
    int m_members = 0;
    QElapsedTimer m_age;
    std::optional<DatabaseError> m_failure;
    DuringWait m_fallbackOutcome = DuringWait::Nothing;
    // Started at the first wait, on the embedded database when its handle is reachable; goes
    // before the members above that its thread touches.
    std::unique_ptr<WaitWatch> m_watch;
};

}  // namespace orvelo
