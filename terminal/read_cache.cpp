#include "terminal/read_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fkattend.h"
#include "terminal/client_connection.h"

namespace orvelo::terminal {

static_assert(kMaxRecordTemplateValues == FK_TEMPLATE_VALUES,
              "a user record carries exactly what FK_GetEnrollData can deliver");
static_assert(kStatusCodes == FK_STATUS_CARDS, "the status codes are 1 to FK_STATUS_CARDS");

namespace {

// Counts the changes the library has sent, on any connection: what was fetched before a change is
// not used after it. The library's table mutex guards it with everything else.
std::uint64_t g_changes = 0;

bool changesTerminal(Op op) {
    switch (op) {
        case Op::ModifyPrivilege:
        case Op::ClearData:
        case Op::PutEnroll:
        case Op::DeleteEnroll:
        case Op::SetName:
        case Op::LogCommit:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool oneByOneRequested() {
    const char* value = std::getenv("FK_ONE_BY_ONE");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

const EnrollData* findEnrollment(const UserRecord& record, std::int32_t backup) {
    for (const auto& e : record.enrollments)
        if (e.backup == backup) return &e.data;
    return nullptr;
}

void ReadCache::beforeRequest(Op op) {
    if (changesTerminal(op)) ++g_changes;
    if (op != Op::GetStatus && op != Op::GetAllStatus) m_status.valid = false;
    if (op == Op::UserListBegin || op == Op::ClearData) m_user.valid = false;
}

bool ReadCache::fresh(const Held& held) const {
    return held.valid && held.generation == g_changes && SteadyClock::now() - held.fetchedAt < kMaxAge;
}

void ReadCache::hold(Held& held, bool oneByOne) {
    held.valid = true;
    held.oneByOne = oneByOne;
    held.generation = g_changes;
    held.fetchedAt = SteadyClock::now();
}

std::optional<std::int32_t> ReadCache::refusedOrUnknown(Held& held, Status status) {
    if (status == Status::UnknownOp)
        m_enabled = false;
    else
        hold(held, true);
    return std::nullopt;
}

std::optional<std::int32_t> ReadCache::notUnderstood() {
    // An intact frame whose payload is not what the bulk read answers: this terminal means something
    // else by the operation. Its reply is not used, and the connection asks one by one from now on,
    // each single reply checked as always.
    m_enabled = false;
    return std::nullopt;
}

std::optional<std::int32_t> ReadCache::userRecord(Connection& connection, std::int32_t enroll,
                                                  const UserRecord*& record) {
    if (!m_enabled) return std::nullopt;
    if (!fresh(m_user) || m_userEnroll != enroll) {
        m_user.valid = false;
        m_record.reset();
        Bytes reply;
        Status status = Status::Ok;
        // The request counts as a change when it is sent, so the generation is read after it.
        const std::int32_t r = connection.exchange(Op::GetUserRecord, encodeI32(enroll), &reply, &status);
        if (r < 0) return r;
        m_userEnroll = enroll;
        if (r == FK_NO) {
            // Failed is the terminal's answer for a user it does not hold: every read of it is 0.
            if (status != Status::Failed) return refusedOrUnknown(m_user, status);
            hold(m_user, false);
        } else {
            auto decoded = decodeUserRecord(reply);
            if (!decoded) return notUnderstood();
            m_record = std::move(*decoded);
            hold(m_user, false);
        }
    }
    if (m_user.oneByOne) return std::nullopt;
    record = m_record ? &*m_record : nullptr;
    return FK_OK;
}

std::optional<std::int32_t> ReadCache::status(Connection& connection, std::int32_t code,
                                              std::int32_t& value) {
    if (!m_enabled || code < 1 || code > static_cast<std::int32_t>(kStatusCodes)) return std::nullopt;
    if (!fresh(m_status)) {
        m_status.valid = false;
        Bytes reply;
        Status status = Status::Ok;
        const std::int32_t r = connection.exchange(Op::GetAllStatus, {}, &reply, &status);
        if (r < 0) return r;
        if (r == FK_NO) return refusedOrUnknown(m_status, status);
        auto values = decodeAllStatus(reply);
        if (!values) return notUnderstood();
        m_statusValues = std::move(*values);
        hold(m_status, false);
    }
    if (m_status.oneByOne) return std::nullopt;
    value = m_statusValues[static_cast<std::size_t>(code - 1)];
    return FK_OK;
}

}  // namespace orvelo::terminal
