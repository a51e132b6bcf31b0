#pragma once

#include "core/datetime.h"

#include <QString>
#include <cstdint>

namespace orvelo {

class DataModule;

// One attendance event as the collection commands hand it to the store.
struct LogRecord {
    std::int32_t EnrollNumber = 0;
    DateTimeValue RecordTime = 0;  // days since 1899-12-30
    std::int32_t RecordCode = 0;   // the stored record code, written into IsAuto
    std::int32_t MachineNo = 0;
    bool operator==(const LogRecord&) const = default;
};

// The record code for the terminal's mode code; a mode code without its own record code keeps the
// previous record's code, so the command passes its record code variable and stores the result back.
std::int32_t MapModeCode(std::int32_t modeCode, std::int32_t previousRecordCode);

// The statements of the store, as the database receives them.

// The employee that owns an enroll number (cardid holds it with at least five digits).
QString employeeLookupSql(std::int32_t enrollNumber);
// The test for an attendance row of the same employee, day and minute. `emplid` is the looked-up
// value; it is compared without surrounding blanks.
QString duplicateTestSql(const QString& emplid, DateTimeValue recordTime);
// The write batch: the duplicate test directly followed by the insert of the row, in one text.
// `emplid` is written exactly as the lookup returned it; `now` becomes OperDate.
QString attendanceWriteSql(const QString& emplid, const LogRecord& record, DateTimeValue now);

// Stores one record through qry_1 (lookup) and qry_2 (test, write): true when a row was written.
// Unknown enroll numbers, duplicates and every database error give false; nothing is reported.
bool StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record);

// What the collection commands report at their end.
QString collectionSuccessLine();                                  // "数据采集成功！"
QString collectionCaption();                                      // "数据采集"
QString collectionSummaryText(int readCount, int storedCount);    // log line and box text
QString rawImportSuccessLine();                                   // "原始记录数据导入成功！"
QString rawImportCaption();                                       // "原始数据导入"
QString rawImportLogSummaryText(int readCount, int storedCount);  // "共导入原始记录数据..."
QString rawImportBoxSummaryText(int readCount, int storedCount);  // "共导入原始数据记录..."

}  // namespace orvelo
