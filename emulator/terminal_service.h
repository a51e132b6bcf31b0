#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "emulator/state.h"
#include "terminal/event_messages.h"
#include "terminal/frame.h"
#include "terminal/messages.h"

namespace orvelo::emulator {

enum class LinkKind { Tcp, Udp, Serial, Usb };

// Faults injected for tests (--fault). Counts are per session: a session starts with its link
// (a TCP or USB connection, a UDP peer's connect, the serial line's connect).
struct Faults {
    std::optional<int> dropAfter;        // close the link instead of sending reply number N+1
    std::optional<int> corruptAfter;     // send reply number N+1 damaged (once per session)
    int delayMs = 0;                     // wait before every reply
    std::set<std::uint16_t> refusedOps;  // refuse=OP
    std::set<std::pair<std::uint16_t, std::int32_t>> refusedArgs;  // refuse=OP:VALUE (first integer)
};

// Parses one --fault FAULT into `faults`; false when FAULT is not one of the known forms, or gives
// a VALUE to an operation whose request carries no integer.
bool parseFault(const std::string& fault, Faults& faults);

// The integer that refuse=OP:VALUE compares with: the first integer the request carries (the
// status code, the enable flag, the enroll number, ...); nullopt for an operation whose request
// carries none, or a payload that does not decode.
std::optional<std::int32_t> firstIntegerArgument(terminal::Op op, const terminal::Bytes& payload);
bool takesIntegerArgument(terminal::Op op);

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

// The terminal's behaviour: one request in, one reply out.
//
// Changes are held in memory and written to the state file together, since the file of a large
// terminal is tens of megabytes and an upload changes it thousands of times. The file is written
// (always whole, atomically) when the terminal is enabled again, when a session ends (goodbye,
// closed or dropped link, idle session, SIGTERM), and at the latest `saveDelay` after the first
// change not yet written: before the reply to a request that comes later, or by the server loop
// when none comes (saveDeadline / saveIfDue). A kill therefore loses at most the changes of the
// last `saveDelay`, and never leaves a torn file; with a delay of 0 every change is written before
// the reply that confirms it.
class TerminalService {
public:
    using SaveClock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDefaultSaveDelay{500};

    TerminalService(TerminalState state, std::string statePath, Faults faults,
                    std::chrono::milliseconds saveDelay = kDefaultSaveDelay);

    // nullopt when the terminal stays silent: on a serial bus a terminal answers only frames with
    // its own machine number.
    std::optional<terminal::Frame> handle(Session& session, const terminal::Frame& request);

    // The session's link is gone: a terminal that this session disabled serves its users again,
    // and every change so far is written. False when the file could not be written.
    bool endSession(Session& session);

    bool hasUnsavedChanges() const { return m_unsaved; }
    // When the changes not yet written must be written; nullopt when there are none.
    std::optional<SaveClock::time_point> saveDeadline() const;
    // Writes the changes when their deadline is not after `now`.
    void saveIfDue(SaveClock::time_point now);
    // Writes the changes not yet written, if any. False when the file could not be written: the
    // changes stay unsaved and are tried again after the save delay.
    bool saveNow();

    std::uint64_t newSessionId() { return ++m_lastSessionId; }
    const TerminalState& state() const { return m_state; }
    const Faults& faults() const { return m_faults; }

    // Status counters of FK_GetDeviceStatus; nullopt for an unknown code.
    std::optional<std::int32_t> status(std::int32_t code) const;

    // The terminal's clock (this machine's local time and the state's clock offset), to the
    // second as the terminal keeps its time: what GetDeviceTime answers and a punch is stamped with.
    double clockDays() const;

    // A punch at the terminal's clock (punches.cpp): a new record of the log, not yet collected,
    // so that the next download of the new records finds it. Returns it with its place in the log.
    terminal::EventRecord recordPunch(std::int32_t enroll, std::int32_t mode);

    // Requests received since the start, whatever their answer: what a benchmark divides by the
    // users it moved.
    std::uint64_t requestsReceived() const { return m_requestsReceived; }

private:
    terminal::Status execute(Session& session, terminal::Op op, const terminal::Bytes& payload,
                             terminal::Bytes& reply);

    // What one operation does: its request's payload in, its reply's payload out.
    using Handler = terminal::Status (TerminalService::*)(Session& session, const terminal::Bytes& payload,
                                                          terminal::Bytes& reply);
    static Handler handlerFor(terminal::Op op);
#define ORVELO_EMULATOR_HANDLER(name) \
    terminal::Status name(Session& session, const terminal::Bytes& payload, terminal::Bytes& reply);
    ORVELO_EMULATOR_HANDLER(connect)
    ORVELO_EMULATOR_HANDLER(disconnect)
    ORVELO_EMULATOR_HANDLER(enable)
    ORVELO_EMULATOR_HANDLER(getStatus)
    ORVELO_EMULATOR_HANDLER(setTime)
    ORVELO_EMULATOR_HANDLER(userListBegin)
    ORVELO_EMULATOR_HANDLER(userListPage)
    ORVELO_EMULATOR_HANDLER(modifyPrivilege)
    ORVELO_EMULATOR_HANDLER(clearData)
    ORVELO_EMULATOR_HANDLER(logBegin)
    ORVELO_EMULATOR_HANDLER(logPage)
    ORVELO_EMULATOR_HANDLER(logCommit)
    ORVELO_EMULATOR_HANDLER(getEnroll)
    ORVELO_EMULATOR_HANDLER(putEnroll)
    ORVELO_EMULATOR_HANDLER(deleteEnroll)
    ORVELO_EMULATOR_HANDLER(getName)
    ORVELO_EMULATOR_HANDLER(setName)
    ORVELO_EMULATOR_HANDLER(getTime)
    ORVELO_EMULATOR_HANDLER(getUserRecord)  // bulk_reads.cpp
    ORVELO_EMULATOR_HANDLER(getAllStatus)   // bulk_reads.cpp
#undef ORVELO_EMULATOR_HANDLER
    // Something in m_state differs from the file now.
    void changed();
    // A bulk read answers for single operations; a refusal fault that would refuse one of them for
    // this request refuses the bulk read too, so the client's answers stay those of the single ones.
    bool refusedAsPart(terminal::Op op, const terminal::Bytes& payload) const;

    TerminalState m_state;
    StateFileWriter m_writer;
    Faults m_faults;
    std::chrono::milliseconds m_saveDelay;
    bool m_unsaved = false;
    SaveClock::time_point m_unsavedSince;
    std::uint64_t m_lastSessionId = 0;
    std::uint64_t m_disabledBy = 0;
    std::uint64_t m_generation = 1;
    std::uint64_t m_requestsReceived = 0;
};

}  // namespace orvelo::emulator
