#include "terminal/text_utils.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orvelo::terminal {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

int daysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
    return kDays[month - 1];
}

// 1899-12-30 is 25569 days before 1970-01-01.
constexpr std::int64_t kEpochOffset = 25569;
constexpr std::int64_t kMsPerDay = 86'400'000;

bool digits(std::string_view text, std::size_t pos, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) return text.size();
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the start of the character that would be cut.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

std::optional<std::int32_t> parseInt32(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> toDays(const CivilDateTime& t)
{
    if (t.year < 1900 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > daysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 ||
        t.second < 0 || t.second > 59 || t.msec < 0 || t.msec > 999)
        return std::nullopt;
    const std::int64_t days = daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) +
                              kEpochOffset;
    const std::int64_t ms = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.msec;
    return static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay;
}

bool daysInRange(double days)
{
    // 1900-01-01 is day 2; the day after 9999-12-31 is day 2958466.
    return std::isfinite(days) && days >= 2.0 && days < 2958466.0;
}

CivilDateTime fromDays(double days)
{
    CivilDateTime t;
    if (!daysInRange(days)) return t;
    const auto totalMs = static_cast<std::int64_t>(std::llround(days * kMsPerDay));
    std::int64_t dayNumber = totalMs / kMsPerDay;
    std::int64_t ms = totalMs % kMsPerDay;
    civilFromDays(dayNumber - kEpochOffset, t.year, t.month, t.day);
    t.hour = static_cast<int>(ms / 3'600'000);
    ms %= 3'600'000;
    t.minute = static_cast<int>(ms / 60'000);
    ms %= 60'000;
    t.second = static_cast<int>(ms / 1000);
    t.msec = static_cast<int>(ms % 1000);
    return t;
}

std::optional<double> parseDateTimeText(std::string_view text)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    CivilDateTime t;
    if (!digits(text, 0, 4, t.year) || !digits(text, 5, 2, t.month) || !digits(text, 8, 2, t.day) ||
        !digits(text, 11, 2, t.hour) || !digits(text, 14, 2, t.minute) || !digits(text, 17, 2, t.second))
        return std::nullopt;
    return toDays(t);
}

std::string formatDateTimeText(double days)
{
    // Seconds are cut, not rounded, so that 08:15:59.7 stays in minute 08:15.
    CivilDateTime t = fromDays(days);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buffer;
}

double localNowDays()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    CivilDateTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                    local.tm_min,       std::min(local.tm_sec, 59), static_cast<int>(ms % 1000)};
    return toDays(t).value_or(0.0);
}

}  // namespace orvelo::terminal
