// The server's live events: subscriptions, the events and heartbeats sent on them, and punches.
#include <algorithm>

#include "emulator/server.h"

namespace orvelo::emulator {

using namespace orvelo::terminal;

namespace {

Frame unasked(Op op, std::int32_t machine, Bytes payload) {
    Frame frame;
    frame.reply = true;
    frame.op = static_cast<std::uint16_t>(op);
    frame.machine = machine;
    frame.payload = std::move(payload);
    return frame;
}

}  // namespace

bool Server::answerLive(Session& session, const Frame& request, bool* subscribed, Frame& reply) {
    const auto op = static_cast<Op>(request.op);
    if (request.reply || (op != Op::Subscribe && op != Op::Unsubscribe && op != Op::Punch)) return false;
    // Another machine's request gets the terminal's usual answer (or its silence on a bus).
    if (request.machine != m_service.state().machine) return false;
    if (m_service.faults().refusedOps.count(request.op) != 0) return false;
    reply = Frame{};
    reply.reply = true;
    reply.op = request.op;
    reply.machine = request.machine;
    reply.seq = request.seq;
    Status status = Status::Ok;
    if (op == Op::Punch) {
        // Any connection may punch, with or without a session: it stands for a finger on the sensor.
        const auto punch = decodePunch(request.payload);
        if (!punch) {
            status = Status::BadRequest;
        } else {
            const EventRecord event = m_service.recordPunch(punch->enroll, punch->mode);
            reply.payload = encodeU32(event.position);
            m_punches.push_back(event);
        }
    } else if (!session.authenticated) {
        status = Status::NoSession;
    } else if (!decodeEmpty(request.payload)) {
        status = Status::BadRequest;
    } else if (subscribed == nullptr) {
        status = Status::Failed;  // a datagram could lose an event unnoticed
    } else if (op == Op::Subscribe) {
        *subscribed = true;
        reply.payload = encodeU32(static_cast<std::uint32_t>(m_config.heartbeatMs));
    } else {
        status = *subscribed ? Status::Ok : Status::Failed;
        *subscribed = false;
    }
    reply.status = static_cast<std::uint16_t>(status);
    if (status != Status::Ok) reply.payload.clear();
    m_service.saveIfDue(TerminalService::SaveClock::now());
    return true;
}

void Server::broadcastPunches() {
    if (m_punches.empty()) return;
    const auto now = Clock::now();
    for (auto& channel : m_channels) {
        if (!channel.subscribed || channel.closing) continue;
        for (const EventRecord& event : m_punches) {
            Frame frame = unasked(Op::Event, m_service.state().machine, encodeEvent(event));
            frame.seq = event.position;
            const auto bytes = encodeFrame(frame);
            channel.out.insert(channel.out.end(), bytes.begin(), bytes.end());
        }
        channel.lastSent = now;
    }
    m_punches.clear();
}

void Server::runLive(Clock::time_point now) {
    if (const auto event = m_puncher.punchIfDue(m_service, now)) m_punches.push_back(*event);
    broadcastPunches();
    const auto interval = std::chrono::milliseconds(m_config.heartbeatMs);
    for (auto& channel : m_channels) {
        if (!channel.subscribed || now - channel.lastSent < interval) continue;
        const auto bytes = encodeFrame(unasked(Op::Heartbeat, m_service.state().machine, {}));
        channel.out.insert(channel.out.end(), bytes.begin(), bytes.end());
        channel.lastSent = now;
        // Written at the next turn of the loop, which waits for the socket to take it.
    }
}

int Server::msUntilLive(Clock::time_point now) const {
    std::optional<Clock::time_point> next = m_puncher.nextDue();
    const auto interval = std::chrono::milliseconds(m_config.heartbeatMs);
    for (const auto& channel : m_channels)
        if (channel.subscribed && (!next || channel.lastSent + interval < *next))
            next = channel.lastSent + interval;
    if (!next) return 500;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 500));
}

}  // namespace orvelo::emulator
