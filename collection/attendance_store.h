#pragma once

#include "collection/log_record.h"
#include "core/datetime.h"

namespace orvelo {

class DataModule;

// Stores one record through qry_1 (lookup) and qry_2 (test, write): true when a row was written.
// Unknown enroll numbers, duplicates and every database error give false; nothing is reported.
bool StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record);

}  // namespace orvelo
