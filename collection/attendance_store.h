#pragma once

#include "collection/log_record.h"
#include "core/datetime.h"

namespace orvelo {

class DataModule;

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

// Stores one record through qry_1 (lookup) and qry_2 (test, write). Nothing is reported to the
// operator and no error leaves the function: the result says why a record was not stored.
//
// On SQLite the duplicate test and the insert run in one BEGIN IMMEDIATE transaction, so two
// processes storing the same record at once write it once: the second one waits for the first
// one's commit (up to the connection's busy time-out) and then finds its row. SQL Server gets the
// test and the batch as they are, outside a transaction.
StoreResult StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record);

}  // namespace orvelo
