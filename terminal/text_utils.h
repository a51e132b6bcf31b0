#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/day_count.h"

namespace orvelo::terminal {

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// The length of the longest prefix of `text` of at most `maxBytes` bytes that ends on a
// character boundary. `text` must be valid UTF-8.
std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes);

// A decimal 32-bit signed integer: an optional '-', then 1 to 10 digits, nothing else.
std::optional<std::int32_t> parseInt32(std::string_view text);

// Date-times are days since 1899-12-30, the time of day as the fraction (terminal/day_count.h).
// nullopt for a date or time that does not exist or a year outside 1900..9999.
std::optional<double> toDays(const CivilDateTime& t);
// Rounds to the nearest millisecond. `days` must be finite and within toDays' range.
CivilDateTime fromDays(double days);
// True for a value that fromDays can take: a finite number within 1900-01-01..9999-12-31.
bool daysInRange(double days);

// Exactly "yyyy-mm-dd hh:nn:ss".
std::optional<double> parseDateTimeText(std::string_view text);
std::string formatDateTimeText(double days);

// The local date and time of this machine as a day count.
double localNowDays();

}  // namespace orvelo::terminal
