#pragma once

#include <QString>
#include <cstdint>

#include "collection/attendance_store.h"
#include "core/datetime.h"

namespace orvelo {
class DataModule;
}

namespace orvelo::live {

// The lines a watch prints, one per punch and one per change of a terminal's link, in English like
// orveloctl's other console words. Fields are separated by two spaces so that a name with a space
// stays readable:
//
//   2026-12-10 08:15:02  gate-1  punch  123  E0012  张三  stored
//   2026-12-10 08:15:40  gate-1  punch  977  -  -  unknown person
//   2026-12-10 08:14:58  gate-1  connected
//   2026-12-10 08:14:58  gate-1  collected  3 read, 2 stored, 1 rejected, 0 refused
//   2026-12-10 08:14:58  gate-1  listening
//   2026-12-10 08:20:11  gate-1  lost  silent link (no heartbeat)
//   2026-12-10 08:20:11  gate-1  reconnect  in 1 s
//
// A punch line carries the punch's own time from the terminal; every other line the time it was
// printed.

// The employee that holds an enroll number, for the punch line; empty fields for none.
struct PunchOwner {
    QString emplid;
    QString name;
};
PunchOwner lookUpPunchOwner(DataModule& data, std::int32_t enrollNumber);

// "stored", "duplicate", "unknown person", "refused".
QString punchResultWord(StoreResult result);

QString punchLine(DateTimeValue punchTime, const QString& terminal, std::int32_t enrollNumber,
                  const PunchOwner& owner, StoreResult result);
// "<time>  <terminal>  <word>" and, when `detail` is not empty, "  <detail>".
QString linkLine(DateTimeValue now, const QString& terminal, const QString& word, const QString& detail = {});

}  // namespace orvelo::live
