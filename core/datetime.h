#pragma once

#include <QString>
#include <optional>

namespace orvelo {

// A date-time as the terminal library and the commands use it: days since 1899-12-30,
// the time of day as the fraction.
using DateTimeValue = double;

struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
    bool operator==(const DateTimeParts&) const = default;
};

// Computed on dates and times of day, never through a local QDateTime, so daylight-saving
// changes cannot shift a value. Returns nullopt for a date or time that does not exist.
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
