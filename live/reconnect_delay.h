#pragma once

#include <algorithm>
#include <chrono>

namespace orvelo::live {

// The pause before the next connect after `failures` failed attempts in a row (0 for the first
// pause): first, twice that, four times ... never more than `longest`. A terminal that is away
// for long is asked once a minute, not hammered, and one that restarted is back within a second.
constexpr std::chrono::milliseconds reconnectDelay(int failures, std::chrono::milliseconds first,
                                                   std::chrono::milliseconds longest) {
    std::chrono::milliseconds delay = first;
    for (int i = 0; i < failures && delay < longest; ++i) delay *= 2;
    return std::min(delay, longest);
}

}  // namespace orvelo::live
