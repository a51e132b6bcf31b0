#include "terminal/event_messages.h"

#include "terminal/wire.h"

namespace orvelo::terminal {

Bytes encodeEvent(const EventRecord& v) {
    Bytes out;
    ByteWriter w(out);
    w.i32(v.entry.enroll);
    w.i32(v.entry.mode);
    w.f64(v.entry.time);
    w.u32(v.position);
    return out;
}

std::optional<EventRecord> decodeEvent(const Bytes& p) {
    return decodeWith<EventRecord>(p, [](ByteReader& r) {
        EventRecord v;
        v.entry.enroll = r.i32();
        v.entry.mode = r.i32();
        v.entry.time = r.f64();
        v.position = r.u32();
        return v;
    });
}

Bytes encodePunch(const PunchRequest& v) {
    Bytes out;
    ByteWriter w(out);
    w.i32(v.enroll);
    w.i32(v.mode);
    return out;
}

std::optional<PunchRequest> decodePunch(const Bytes& p) {
    return decodeWith<PunchRequest>(p, [](ByteReader& r) {
        PunchRequest v;
        v.enroll = r.i32();
        v.mode = r.i32();
        return v;
    });
}

std::optional<std::uint32_t> decodeHeartbeatInterval(const Bytes& p) {
    const auto ms = decodeU32(p);
    if (!ms || *ms < kMinHeartbeatMs || *ms > kMaxHeartbeatMs) return std::nullopt;
    return ms;
}

}  // namespace orvelo::terminal
