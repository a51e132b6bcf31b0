#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>

#include "emulator/terminal_service.h"

namespace orvelo::emulator {

// The punches of --punch-every-ms: one every interval, of a user drawn from the enrolled ones,
// with a mode code drawn from those the record code table maps. The same seed gives the same
// users and mode codes in the same order.
class RandomPuncher {
public:
    using Clock = std::chrono::steady_clock;

    // An interval of 0 punches never.
    RandomPuncher(std::chrono::milliseconds interval, std::uint64_t seed);

    std::optional<Clock::time_point> nextDue() const;
    // Makes the punch due at `now`, if one is; nullopt when none is due or the terminal has no
    // user.
    std::optional<terminal::EventRecord> punchIfDue(TerminalService& service, Clock::time_point now);

private:
    std::chrono::milliseconds m_interval;
    std::mt19937_64 m_random;
    Clock::time_point m_next;
};

}  // namespace orvelo::emulator
