#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "db/data_module.h"

namespace orvelo {

// What became of one table's rows in a copy from one database to another.
struct TableCopy {
    QString table;
    int sourceRows = 0;  // rows read from the source
    int copied = 0;      // rows written to the destination
    int present = 0;     // rows the destination had already, by the table's key
    // Every row of the source is in the destination now.
    bool complete() const { return copied + present == sourceRows; }
};

// Copies every table of the system (departments, employees, code rows, enrollments, cards,
// attendance rows) from `from` into `to`, whichever providers they use: typically the embedded
// file into a PostgreSQL server as a site grows past one PC. A row is skipped when the destination
// has one of the same key (a department's deptid, an employee's EmplID, a code's type and value,
// an enrollment's employee, registration and backup number, a card's number and employee, an
// attendance row's employee, day and minute; trailing blanks do not count), so a copy run again
// copies nothing. Each table is written in transactions of up to `groupRows` rows; `progress` is
// told each table's result as it ends. Throws DatabaseError when a statement fails: the tables
// already done stay copied, the table under way keeps the groups it committed.
std::vector<TableCopy> copyDatabase(DataModule& from, DataModule& to,
                                    const std::function<void(const TableCopy&)>& progress = {},
                                    int groupRows = 10000);

}  // namespace orvelo
