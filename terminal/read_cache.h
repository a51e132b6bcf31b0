#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "terminal/client_link.h"
#include "terminal/messages.h"

namespace orvelo::terminal {

class Connection;

// What one connection fetched in bulk, to answer the per-call reads from: one user's record
// (FK_GetUserName and FK_GetEnrollData of every backup), and the nine status counters.
//
// Lifetime, so that every answer is one the single request could have given at that moment:
// - the user's record serves that user until another user is asked, FK_ReadAllUserID starts a new
//   list, or kMaxAge has passed since it was fetched;
// - the counters serve until any other request goes to the terminal, or kMaxAge has passed;
// - both are dropped by every change the library sends to any terminal (FK_PutEnrollData,
//   FK_DeleteEnrollData, FK_SetUserName, FK_ModifyPrivilege, FK_ClearKeeperData, the marking of
//   collected records), whatever its result: a change that timed out may still have been made.
class ReadCache {
public:
    static constexpr std::chrono::milliseconds kMaxAge{1000};

    // False: every read goes one by one (a serial line, the terminal does not know the bulk reads,
    // or FK_ONE_BY_ONE is set).
    bool enabled() const { return m_enabled; }
    void disable() { m_enabled = false; }

    // Called by the connection before each request it sends.
    void beforeRequest(Op op);

    // The record of `enroll`: FK_OK with `record` pointing at it, or null when the terminal holds no
    // such user; a negative result when the fetch failed on the link or its reply was damaged.
    // nullopt: answer this call one by one (bulk reads off, or the terminal refused this user's
    // record).
    std::optional<std::int32_t> userRecord(Connection& connection, std::int32_t enroll,
                                           const UserRecord*& record);

    // The value of status code `code` (1 to 9) in `value` with FK_OK, or a negative result when the
    // fetch failed; nullopt: answer one by one (another code, bulk reads off or refused).
    std::optional<std::int32_t> status(Connection& connection, std::int32_t code, std::int32_t& value);

private:
    struct Held {
        bool valid = false;
        SteadyClock::time_point fetchedAt;
        std::uint64_t generation = 0;
        bool oneByOne = false;  // the terminal refused the bulk read: the calls it covers go singly
    };
    bool fresh(const Held& held) const;
    void hold(Held& held, bool oneByOne);
    // A refusal is for this read only; a terminal that does not know the operation never will.
    std::optional<std::int32_t> refusedOrUnknown(Held& held, Status status);
    std::optional<std::int32_t> notUnderstood();

    bool m_enabled = true;
    Held m_user;
    std::int32_t m_userEnroll = 0;
    std::optional<UserRecord> m_record;  // nullopt while held: no such user
    Held m_status;
    std::vector<std::int32_t> m_statusValues;
};

// The enrollment of `backup` in `record`, null when it has none.
const EnrollData* findEnrollment(const UserRecord& record, std::int32_t backup);

// True when the environment asks for one-by-one reads (FK_ONE_BY_ONE set, not empty and not "0"):
// a diagnostic, to compare the bulk answers with the single ones.
bool oneByOneRequested();

}  // namespace orvelo::terminal
