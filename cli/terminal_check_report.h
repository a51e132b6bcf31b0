#pragma once

#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "collection/collection_history.h"
#include "device/terminal_check.h"

namespace orvelo::cli {

// What orveloctl terminals --check holds a terminal to.
struct HealthLimits {
    std::int64_t maxClockOffsetSeconds = 60;  // --max-clock-offset; the offset may be this much either way
    std::optional<double> maxAgeHours;        // --max-age; without it the last collection is only shown
};

// One terminal of the check.
struct CheckedTerminal {
    QString name;
    QString key;  // the connection it stands for (TerminalAddress::key), the history's key
    // Another command held the application folder's lock for the whole --wait: the terminal was
    // not tried, and of `health` only checkedAt is set.
    bool busy = false;
    TerminalHealth health;
    std::optional<LastCollection> lastCollection;  // from data/.collections.json
};

// Hours from the last collection to the check; nullopt without one (or with a time that does not
// read as a date-time).
std::optional<double> collectionAgeHours(const CheckedTerminal& terminal);

// What is wrong with the terminal by the limits, as the words of the JSON's "problems", in this
// order: "busy" (not checked) or "not-reachable" (no connection, or settings that do not convert);
// "clock-off" (the offset is known and beyond the limit either way); with a maximum age,
// "no-collection" or "collection-too-old". A clock the terminal cannot tell is no problem. Empty:
// the terminal is healthy.
QStringList healthProblems(const CheckedTerminal& terminal, const HealthLimits& limits);

// The table: a line of column titles (terminal, state, clock, users, records, new, last
// collection, problems) and one row per terminal, aligned; state 在线, 离线 or busy; "?" for a
// value an online terminal did not give, "-" for one of a terminal not reached; problems "ok"
// when there are none.
QString healthTable(const QList<CheckedTerminal>& terminals, const HealthLimits& limits);

// {"terminals": [{"name", "terminal", "checked", "reachable", "busy", "error", "clock_offset_seconds",
//  "users", "records", "new_records", "last_collection": {"when", "by", "result", "age_hours"},
//  "problems", "ok"}, ...], "max_clock_offset_seconds", "max_age_hours", "exit"}; a value not known
// is null (docs/orveloctl.md describes each key).
QJsonDocument healthJson(const QList<CheckedTerminal>& terminals, const HealthLimits& limits);

// 1 when any terminal has a problem, else 0.
int healthExitStatus(const QList<CheckedTerminal>& terminals, const HealthLimits& limits);

}  // namespace orvelo::cli
