// The terminal's bulk reads: one request for what the library would otherwise ask in many, so
// that a walk over the users costs one round trip per user instead of one per call.
#include <span>

#include "emulator/terminal_service.h"
#include "terminal/text_utils.h"

namespace orvelo::emulator {

using namespace orvelo::terminal;

namespace {

// The single operations whose answers a bulk read carries.
std::span<const Op> partsOf(Op op) {
    static constexpr Op kUserRecordParts[] = {Op::GetName, Op::GetEnroll};
    static constexpr Op kAllStatusParts[] = {Op::GetStatus};
    switch (op) {
        case Op::GetUserRecord:
            return kUserRecordParts;
        case Op::GetAllStatus:
            return kAllStatusParts;
        default:
            return {};
    }
}

}  // namespace

bool TerminalService::refusedAsPart(Op op, const Bytes& payload) const {
    const auto parts = partsOf(op);
    if (parts.empty() || (m_faults.refusedOps.empty() && m_faults.refusedArgs.empty())) return false;
    // The user record's enroll number is what refuse=GetUserName:N and refuse=GetEnrollData:N
    // compare with; a status refusal of any one code refuses the nine together.
    const auto enroll = op == Op::GetUserRecord ? decodeI32(payload) : std::nullopt;
    for (const Op part : parts) {
        const auto code = static_cast<std::uint16_t>(part);
        if (m_faults.refusedOps.count(code) != 0) return true;
        for (const auto& [refusedOp, value] : m_faults.refusedArgs)
            if (refusedOp == code && (op == Op::GetAllStatus || (enroll && *enroll == value))) return true;
    }
    return false;
}

Status TerminalService::getUserRecord(Session&, const Bytes& payload, Bytes& reply) {
    const auto enroll = decodeI32(payload);
    if (!enroll) return Status::BadRequest;
    const auto user = m_state.users.find(*enroll);
    if (user == m_state.users.end()) return Status::Failed;
    UserRecord record;
    // The same name GetUserName answers.
    const std::string& name = user->second.name;
    record.name = name.substr(0, utf8PrefixLength(name, kMaxNameBytes));
    for (const auto& [backup, e] : user->second.enrollments) {
        EnrollData data{e.privilege, e.password, e.templateValues};
        // The library delivers no more of a template than this; the rest would only fill the link.
        if (data.templateValues.size() > kMaxRecordTemplateValues)
            data.templateValues.resize(kMaxRecordTemplateValues);
        record.enrollments.push_back({backup, std::move(data)});
    }
    reply = encodeUserRecord(record);
    return Status::Ok;
}

Status TerminalService::getAllStatus(Session&, const Bytes& payload, Bytes& reply) {
    if (!decodeEmpty(payload)) return Status::BadRequest;
    std::vector<std::int32_t> values;
    values.reserve(kStatusCodes);
    for (std::uint32_t code = 1; code <= kStatusCodes; ++code) {
        const auto value = status(static_cast<std::int32_t>(code));
        if (!value) return Status::Failed;
        values.push_back(*value);
    }
    reply = encodeAllStatus(values);
    return Status::Ok;
}

}  // namespace orvelo::emulator
