#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "terminal/client_link.h"
#include "terminal/event_messages.h"
#include "terminal/frame.h"
#include "terminal/messages.h"
#include "terminal/read_cache.h"

namespace orvelo::terminal {

// The library's side of one connection: request/reply exchanges over a link, each bounded by the
// connection's time-out. Results are the library's return codes (fkattend.h).
class Connection {
public:
    Connection(std::int32_t machine, std::unique_ptr<Link> link, int timeoutMs, std::uint32_t firstSeq);

    std::int32_t machine() const { return m_machine; }
    bool broken() const { return m_broken; }

    // FK_OK with the reply's payload in `reply` when the terminal answered Ok; FK_NO when it
    // answered another status (in `status` when given); FK_LINK_ERROR or FK_BAD_REPLY otherwise.
    // `timeoutMs` overrides the connection's time-out for this exchange when positive.
    std::int32_t exchange(Op op, const Bytes& payload, Bytes* reply, Status* status = nullptr,
                          int timeoutMs = 0);

    // The user list of FK_ReadAllUserID, walked page by page by FK_GetAllUserID.
    struct UserCursor {
        bool active = false;
        std::uint32_t total = 0;
        std::uint32_t fetched = 0;
        std::vector<UserEntry> page;
        std::size_t index = 0;
    };
    UserCursor users;

    // What this connection fetched in bulk (read_cache.h).
    ReadCache cache;

    // Live events (client_events.cpp). While subscribed, every exchange but Unsubscribe and
    // DisConnect returns FK_EVENTS_ONLY: the events share the link with replies.
    bool subscribed() const { return m_subscribed; }
    std::int32_t subscribe();
    std::int32_t unsubscribe();
    // The results of FK_WaitEvent (fkattend.h).
    std::int32_t waitEvent(int timeoutMs, EventRecord& out);

private:
    std::int32_t exchangeStream(const Frame& request, Frame& reply, int timeoutMs);
    std::int32_t exchangeDatagram(const Frame& request, Frame& reply, int timeoutMs);

    std::int32_t m_machine;
    std::unique_ptr<Link> m_link;
    int m_timeoutMs;
    std::uint32_t m_nextSeq;
    bool m_broken = false;
    bool m_subscribed = false;
    std::chrono::milliseconds m_heartbeat{0};
    SteadyClock::time_point m_lastHeard;
    FrameDecoder m_decoder;
    std::vector<std::uint8_t> m_readBuffer;
};

}  // namespace orvelo::terminal
