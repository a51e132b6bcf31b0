#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "collection/log_record.h"
#include "core/datetime.h"
#include "db/commit_group.h"
#include "db/data_module.h"

namespace orvelo {

// What became of one record handed to the store.
enum class StoreResult {
    Stored,         // a row was written
    UnknownPerson,  // no employee holds the enroll number (or its emplid is NULL)
    Duplicate,      // the employee has a row for that day and minute already
    Refused,        // the database refused this record's statements (a constraint, a bad value)
    Unusable,       // the database refused the work as a whole (busy past the time-out, read-only,
                    // connection lost): the records after this one would fare no better
};

// Whether the database, not the record, kept the row from being written.
inline bool refusedByDatabase(StoreResult result) {
    return result == StoreResult::Refused || result == StoreResult::Unusable;
}

// What became of the records of a run, counted once their group has committed.
struct StoreCounts {
    int stored = 0;
    int duplicates = 0;
    int unknownPersons = 0;
    int refused = 0;  // by the database: Refused and Unusable, and every member of a group whose
                      // commit failed
    // The first enroll numbers (at most kNamedUnknownPersons, each once, in the order met) of the
    // unknown persons: the operator is told whom to enter before importing their records again.
    std::vector<std::int32_t> unknownEnrollNumbers = {};
    bool moreUnknownPersons = false;  // unknown persons beyond those named
    static constexpr std::size_t kNamedUnknownPersons = 5;

    int settled() const { return stored + duplicates + unknownPersons + refused; }
    // Counts one record whose result is final; `enrollNumber` is the record's.
    void add(StoreResult result, std::int32_t enrollNumber = 0);
};

// Stores the records of one run (a download, an import) in the data module's commit groups. On
// SQL Server the statement texts go through two queries of the store's own (the lookup; the test
// and the write) one record at a time, as the larger system's users of the database see them: the
// data module's qry_1..qry_5 stay with the window and its commands. On the embedded database the same
// lookup and write run as statements prepared once for the run, and each enroll number is looked
// up once per run; so on PostgreSQL, whose write is an insert that its unique index turns into
// nothing for a row already there. Nothing is reported to the operator and no error
// leaves it: the counts say what became of the records.
//
// A record counts as stored only once the group holding its row has committed; if that commit
// fails, the group's records count as refused by the database, their rows never existed, and
// the run stops (the caller keeps them in its raw record file or journal, which it wrote before
// handing them here). The duplicate test inside a group sees the group's own rows, uncommitted
// as they are: it runs on the same connection in the same transaction.
class AttendanceStore {
public:
    AttendanceStore(DataModule& data, const Clock& clock);
    // A group still open here is rolled back, uncounted: its caller stopped on an error, and the
    // records are in the file it read them from or wrote them to.
    ~AttendanceStore();
    AttendanceStore(const AttendanceStore&) = delete;
    AttendanceStore& operator=(const AttendanceStore&) = delete;

    // Stores one record in the open group (commits the group first when it is due). Returns false
    // once the database can take nothing more: the record counts as refused, and so does every
    // uncommitted record of the group; the caller stops there.
    bool store(const LogRecord& record);
    // Commits the open group when it has reached its count or age: called before a step that may
    // wait (a read from a terminal), so a slow link does not hold the group and its lock long.
    // Returns false when the commit failed.
    bool settleIfDue();
    // Commits whatever is open. Returns false when the commit failed (or the run had stopped).
    bool settle();

    // Marks a step that may wait and does not touch the database (a read from a terminal): a group
    // left open through a long wait commits during it (db/commit_group.h), and what that commit
    // did is counted when the step is over.
    class Waiting {
    public:
        explicit Waiting(AttendanceStore& store) : m_store(store) { m_store.m_group.waitBegins(); }
        ~Waiting() { m_store.waitEnded(); }
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;

    private:
        AttendanceStore& m_store;
    };

    const StoreCounts& counts() const { return m_counts; }
    // Records handed in whose group has not committed yet.
    int pending() const { return int(m_pending.size()); }
    bool stopped() const { return m_stopped; }
    // The outcome of the last record handed in, as far as it is known: Stored and Duplicate may
    // still turn into Refused if its group's commit fails.
    StoreResult lastResult() const { return m_last; }

private:
    struct Pending {
        StoreResult result;
        bool needsGroup;  // stored, or a duplicate of a row written in this group
        std::int32_t enrollNumber = 0;
    };
    struct EmbeddedStatements;
    Pending storeOne(const LogRecord& record);
    Pending storeOneEmbedded(const LogRecord& record);
    void stop();
    void committed();
    void waitEnded();

    DataModule& m_data;
    const Clock& m_clock;
    Query m_lookup;  // SQL Server: the employee lookup
    Query m_write;   // SQL Server: the duplicate test and the write
    CommitGroup m_group;
    std::vector<Pending> m_pending;
    QSet<QString> m_writtenInGroup;                  // employee, day and minute of the group's rows
    std::unique_ptr<EmbeddedStatements> m_embedded;  // prepared at the first record
    QHash<std::int32_t, QVariant> m_employees;       // enroll number -> emplid (null: nobody)
    StoreCounts m_counts;
    StoreResult m_last = StoreResult::Stored;
    bool m_stopped = false;
};

// Stores one record on its own: a group of one, committed before it returns, so the result is
// final. On SQLite the duplicate test and the insert run in one BEGIN IMMEDIATE transaction, so
// two processes storing the same record at once write it once: the second one waits for the
// first one's commit (up to the connection's busy time-out) and then finds its row. SQL Server
// gets the test and the batch as they are, outside a transaction.
StoreResult StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record);

}  // namespace orvelo
