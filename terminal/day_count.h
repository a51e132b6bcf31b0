#pragma once

#include <cstdint>

namespace orvelo::terminal {

// The day count behind every date-time the library and the client exchange: days since
// 1899-12-30, the time of day as the fraction. Plain arithmetic on dates and times of day, never
// through a local clock, so daylight-saving changes cannot shift a value. Each caller checks the
// range it accepts before it converts (the library 1900..9999; the client any date it can show).
struct CivilDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
    bool operator==(const CivilDateTime&) const = default;
};

constexpr std::int64_t kMsecPerDay = 86'400'000;

bool isLeapYear(int year);
// 1 to 12 only.
int daysInMonth(int year, int month);

// Days from 1899-12-30 to the date (proleptic Gregorian, negative before it), and back.
std::int64_t dayNumber(int year, int month, int day);
void civilDate(std::int64_t dayNumber, int& year, int& month, int& day);

// The value of a date and time that exists. Before the epoch the day number is negative while the
// time of day still counts forward, so the fraction is subtracted from it.
double encodeDays(const CivilDateTime& t);
// The date and time of a finite value, rounded to the nearest millisecond with carry into the
// next second, minute and day.
CivilDateTime decodeDays(double days);

}  // namespace orvelo::terminal
