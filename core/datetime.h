#pragma once

#include <QString>
#include <optional>

#include "terminal/day_count.h"

namespace orvelo {

// A date-time as the terminal library and the commands use it: days since 1899-12-30,
// the time of day as the fraction.
using DateTimeValue = double;

using DateTimeParts = terminal::CivilDateTime;

// The library's own day count (terminal/day_count.h), for any date QDate takes. Returns nullopt
// for a date or time that does not exist.
std::optional<DateTimeValue> encodeDateTime(const DateTimeParts& parts);

// Rounds to the nearest millisecond, carrying into the next second, minute and day.
DateTimeParts decodeDateTime(DateTimeValue value);

// "yyyy-mm-dd hh:nn:ss", always 19 characters, whatever the locale.
QString dateTimeText(DateTimeValue value);

// Reads "yyyy-mm-dd hh:nn:ss" or "yyyy-mm-dd hh:nn" (seconds 0); nullopt when it does not parse.
std::optional<DateTimeValue> parseDateTimeText(const QString& text);

// Where the commands read the present time from; tests give a fixed one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTimeValue now() const = 0;
};

// The PC's local date and time, with milliseconds.
class SystemClock final : public Clock {
public:
    DateTimeValue now() const override;
};

}  // namespace orvelo
