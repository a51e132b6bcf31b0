#pragma once

#include <cstdint>
#include <optional>

#include "terminal/messages.h"

namespace orvelo::terminal {

// Live events: what a subscribed connection carries (Op::Event, Op::Heartbeat, both sent by the
// terminal unasked, as reply frames with status Ok), and the emulator's punch request.

// One new record of the terminal's log, with its place in the log (0 for the first record).
struct EventRecord {
    LogEntry entry;
    std::uint32_t position = 0;
    bool operator==(const EventRecord&) const = default;
};

struct PunchRequest {
    std::int32_t enroll = 0;
    std::int32_t mode = 0;
    bool operator==(const PunchRequest&) const = default;
};

// The heartbeat intervals a terminal may announce in its answer to Subscribe.
constexpr std::uint32_t kMinHeartbeatMs = 10;
constexpr std::uint32_t kMaxHeartbeatMs = 60'000;

Bytes encodeEvent(const EventRecord& v);
std::optional<EventRecord> decodeEvent(const Bytes& p);
Bytes encodePunch(const PunchRequest& v);
std::optional<PunchRequest> decodePunch(const Bytes& p);
// The answer to Subscribe: the terminal's heartbeat interval in milliseconds; one outside
// kMinHeartbeatMs..kMaxHeartbeatMs does not decode.
std::optional<std::uint32_t> decodeHeartbeatInterval(const Bytes& p);

}  // namespace orvelo::terminal
