#include "terminal/day_count.h"

#include <cmath>

namespace orvelo::terminal {

namespace {

// 1899-12-30 is 719468 - 25569 days after 0000-03-01, where the algorithms below count from.
constexpr std::int64_t kMarchFirstOfYearZero = 719468 - 25569;

}  // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && isLeapYear(year)) return 29;
    return kDays[month - 1];
}

std::int64_t dayNumber(int year, int month, int day) {
    const auto m = static_cast<unsigned>(month);
    const std::int64_t y = std::int64_t{year} - (m <= 2);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + static_cast<unsigned>(day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - kMarchFirstOfYearZero;
}

void civilDate(std::int64_t dayNumber, int& year, int& month, int& day) {
    const std::int64_t z = dayNumber + kMarchFirstOfYearZero;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

double encodeDays(const CivilDateTime& t) {
    const std::int64_t days = dayNumber(t.year, t.month, t.day);
    const std::int64_t msec = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.msec;
    const double fraction = static_cast<double>(msec) / static_cast<double>(kMsecPerDay);
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

CivilDateTime decodeDays(double days) {
    const double wholeDays = std::trunc(days);
    std::int64_t msec = std::llround(std::fabs(days - wholeDays) * static_cast<double>(kMsecPerDay));
    auto number = static_cast<std::int64_t>(wholeDays);
    if (msec >= kMsecPerDay) {
        msec -= kMsecPerDay;
        number += days >= 0 ? 1 : -1;
    }
    CivilDateTime t;
    civilDate(number, t.year, t.month, t.day);
    t.hour = static_cast<int>(msec / 3'600'000);
    t.minute = static_cast<int>(msec / 60'000 % 60);
    t.second = static_cast<int>(msec / 1000 % 60);
    t.msec = static_cast<int>(msec % 1000);
    return t;
}

}  // namespace orvelo::terminal
