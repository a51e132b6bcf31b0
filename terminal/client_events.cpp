// The library's side of a subscription: the events and heartbeats a terminal sends unasked.
#include <algorithm>

#include "fkattend.h"
#include "terminal/client_connection.h"

namespace orvelo::terminal {

std::int32_t Connection::subscribe() {
    if (m_subscribed) return FK_OK;
    // A datagram link could lose an event without anyone noticing; the terminal refuses it, and so
    // does the library before asking.
    if (m_link->datagram()) return FK_NO;
    Bytes reply;
    const std::int32_t r = exchange(Op::Subscribe, {}, &reply);
    if (r != FK_OK) return r;
    const auto interval = decodeHeartbeatInterval(reply);
    if (!interval) return FK_BAD_REPLY;
    m_heartbeat = std::chrono::milliseconds(*interval);
    m_lastHeard = SteadyClock::now();
    m_subscribed = true;
    return FK_OK;
}

std::int32_t Connection::unsubscribe() {
    if (m_broken) return FK_LINK_ERROR;
    if (!m_subscribed) return FK_NOT_SUBSCRIBED;
    // Events sent before the terminal read the request are passed over by the exchange, which
    // waits for its own reply only.
    const std::int32_t r = exchange(Op::Unsubscribe, {}, nullptr);
    if (r == FK_OK) m_subscribed = false;
    return r;
}

std::int32_t Connection::waitEvent(int timeoutMs, EventRecord& out) {
    if (m_broken) return FK_LINK_ERROR;
    if (!m_subscribed) return FK_NOT_SUBSCRIBED;
    const Deadline deadline = SteadyClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        Frame frame;
        switch (m_decoder.next(frame)) {
            case DecodeEvent::Frame:
                if (!frame.reply || frame.machine != m_machine ||
                    frame.op != static_cast<std::uint16_t>(Op::Event))
                    continue;  // a heartbeat, or a late reply to an earlier request
                if (const auto event = decodeEvent(frame.payload); event && frame.status == 0) {
                    out = *event;
                    return FK_OK;
                }
                m_broken = true;
                return FK_BAD_REPLY;
            case DecodeEvent::Corrupt:
                // A damaged event cannot be told again: the caller reconnects and collects it.
                if (frame.reply && frame.op == static_cast<std::uint16_t>(Op::Event)) {
                    m_broken = true;
                    return FK_BAD_REPLY;
                }
                continue;
            case DecodeEvent::NeedMore:
                break;
        }
        // Whatever the terminal sends proves it alive, the heartbeat only when nothing else comes.
        const Deadline silentAt = m_lastHeard + m_heartbeat * FK_SILENT_HEARTBEATS;
        // What already arrived is read even when the deadline has passed: a caller that came back
        // late must not take a terminal for silent whose heartbeats wait in the socket.
        const long n =
            m_link->receive(m_readBuffer.data(), m_readBuffer.size(), std::min(deadline, silentAt));
        if (n < 0) {
            m_broken = true;
            return FK_LINK_ERROR;
        }
        const auto now = SteadyClock::now();
        if (n > 0) {
            m_lastHeard = now;
            m_decoder.feed(m_readBuffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (now >= silentAt) {
            m_broken = true;
            return FK_SILENT_LINK;
        }
        if (now >= deadline) return FK_NO;
    }
}

}  // namespace orvelo::terminal
