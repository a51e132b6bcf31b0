#include "terminal/client_connection.h"

#include <algorithm>

#include "fkattend.h"

namespace orvelo::terminal {

namespace {

bool isOurReply(const Frame& f, const Frame& request) {
    return f.reply && f.seq == request.seq && f.op == request.op && f.machine == request.machine;
}

}  // namespace

Connection::Connection(std::int32_t machine, std::unique_ptr<Link> link, int timeoutMs,
                       std::uint32_t firstSeq)
    : m_machine(machine),
      m_link(std::move(link)),
      m_timeoutMs(timeoutMs),
      m_nextSeq(firstSeq),
      m_readBuffer(kMaxFrameSize) {}

std::int32_t Connection::exchange(Op op, const Bytes& payload, Bytes* reply, Status* status, int timeoutMs) {
    if (m_broken) return FK_LINK_ERROR;
    if (m_subscribed && op != Op::Unsubscribe && op != Op::Disconnect) return FK_EVENTS_ONLY;
    cache.beforeRequest(op);
    Frame request;
    request.op = static_cast<std::uint16_t>(op);
    request.machine = m_machine;
    request.seq = m_nextSeq++;
    request.payload = payload;
    Frame answer;
    const int timeout = timeoutMs > 0 ? timeoutMs : m_timeoutMs;
    const std::int32_t result = m_link->datagram() ? exchangeDatagram(request, answer, timeout)
                                                   : exchangeStream(request, answer, timeout);
    if (result != FK_OK) return result;
    if (status != nullptr) *status = static_cast<Status>(answer.status);
    if (answer.status != static_cast<std::uint16_t>(Status::Ok)) return FK_NO;
    if (reply != nullptr) *reply = std::move(answer.payload);
    return FK_OK;
}

std::int32_t Connection::exchangeStream(const Frame& request, Frame& reply, int timeoutMs) {
    const Deadline deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    const auto bytes = encodeFrame(request);
    if (bytes.empty()) return FK_BAD_ARG;
    if (!m_link->sendAll(bytes.data(), bytes.size(), deadline)) {
        m_broken = true;
        return FK_LINK_ERROR;
    }
    for (;;) {
        switch (m_decoder.next(reply)) {
            case DecodeEvent::Frame:
                if (isOurReply(reply, request)) return FK_OK;
                continue;  // a late reply to an exchange that timed out
            case DecodeEvent::Corrupt:
                if (reply.reply && reply.seq == request.seq) return FK_BAD_REPLY;
                continue;
            case DecodeEvent::NeedMore:
                break;
        }
        // Everything received so far is decoded: a peer that keeps sending something else must
        // not hold the caller past the time-out.
        if (SteadyClock::now() >= deadline) return FK_LINK_ERROR;
        const long n = m_link->receive(m_readBuffer.data(), m_readBuffer.size(), deadline);
        if (n == 0) return FK_LINK_ERROR;  // time-out; the link stays usable
        if (n < 0) {
            m_broken = true;
            return FK_LINK_ERROR;
        }
        m_decoder.feed(m_readBuffer.data(), static_cast<std::size_t>(n));
    }
}

std::int32_t Connection::exchangeDatagram(const Frame& request, Frame& reply, int timeoutMs) {
    const auto start = SteadyClock::now();
    const Deadline deadline = start + std::chrono::milliseconds(timeoutMs);
    // A lost datagram is sent again; the terminal answers a repeated request from its cache.
    const auto interval = std::chrono::milliseconds(std::clamp(timeoutMs / 5, 20, 500));
    const auto bytes = encodeFrame(request);
    if (bytes.empty()) return FK_BAD_ARG;
    Deadline resendAt = start + interval;
    if (!m_link->sendAll(bytes.data(), bytes.size(), deadline)) return FK_LINK_ERROR;
    for (;;) {
        const long n =
            m_link->receive(m_readBuffer.data(), m_readBuffer.size(), std::min(deadline, resendAt));
        if (n < 0) return FK_LINK_ERROR;
        if (n > 0) {
            if (decodeDatagram(m_readBuffer.data(), static_cast<std::size_t>(n), reply) ==
                    DatagramResult::Frame &&
                isOurReply(reply, request))
                return FK_OK;
            if (SteadyClock::now() >= deadline) return FK_LINK_ERROR;
            continue;  // damaged, foreign or late: wait on, the resend repairs a damaged one
        }
        const auto now = SteadyClock::now();
        if (now >= deadline) return FK_LINK_ERROR;
        if (now >= resendAt) {
            m_link->sendAll(bytes.data(), bytes.size(), deadline);
            resendAt = now + interval;
        }
    }
}

}  // namespace orvelo::terminal
