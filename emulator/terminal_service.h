#pragma once

#include "emulator/state.h"
#include "terminal/frame.h"
#include "terminal/messages.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orvelo::emulator {

enum class LinkKind { Tcp, Udp, Serial, Usb };

// Faults injected for tests (--fault). Counts are per session: a session starts with its link
// (a TCP or USB connection, a UDP peer's connect, the serial line's connect).
struct Faults {
    std::optional<int> dropAfter;     // close the link instead of sending reply number N+1
    std::optional<int> corruptAfter;  // send reply number N+1 damaged (once per session)
    int delayMs = 0;                  // wait before every reply
    std::set<std::uint16_t> refusedOps;                          // refuse=OP
    std::set<std::pair<std::uint16_t, std::int32_t>> refusedArgs;  // refuse=OP:VALUE (status code)
};

// Parses one --fault SPEC into `faults`; false when SPEC is not one of the known forms.
bool parseFault(const std::string& spec, Faults& faults);

struct Session {
    std::uint64_t id = 0;
    LinkKind link = LinkKind::Tcp;
    bool authenticated = false;
    int repliesSent = 0;
    // The user list and the log are served from the snapshot taken when the client asked for
    // them, so that changes made while the client walks them cannot shift the pages.
    std::uint64_t generation = 0;
    bool userListReady = false;
    std::vector<terminal::UserEntry> userList;
    bool logReady = false;
    bool logNewOnly = false;
    std::vector<std::uint32_t> logSnapshot;  // indices into TerminalState::logs
};

// The terminal's behaviour: one request in, one reply out. Every change is written to the state
// file before the reply that confirms it is sent.
class TerminalService {
public:
    TerminalService(TerminalState state, std::string statePath, Faults faults);

    // nullopt when the terminal stays silent: on a serial bus a terminal answers only frames with
    // its own machine number.
    std::optional<terminal::Frame> handle(Session& session, const terminal::Frame& request);

    // The session's link is gone: a terminal that this session disabled serves its users again.
    void endSession(Session& session);

    std::uint64_t newSessionId() { return ++m_lastSessionId; }
    const TerminalState& state() const { return m_state; }
    const Faults& faults() const { return m_faults; }

    // Status counters of FK_GetDeviceStatus; nullopt for an unknown code.
    std::optional<std::int32_t> status(std::int32_t code) const;

private:
    terminal::Status execute(Session& session, terminal::Op op, const terminal::Bytes& payload,
                             terminal::Bytes& reply);
    bool save();

    TerminalState m_state;
    StateFileWriter m_writer;
    Faults m_faults;
    std::uint64_t m_lastSessionId = 0;
    std::uint64_t m_disabledBy = 0;
    std::uint64_t m_generation = 1;
};

}  // namespace orvelo::emulator
