#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvelo::terminal {

// The operations of the wire protocol. Their numbers are part of the protocol: never renumber.
enum class Op : std::uint16_t {
    Connect = 1,
    Disconnect = 2,
    Enable = 3,
    GetStatus = 4,
    SetTime = 5,
    UserListBegin = 6,
    UserListPage = 7,
    ModifyPrivilege = 8,
    ClearData = 9,
    LogBegin = 10,
    LogPage = 11,
    LogCommit = 12,
    GetEnroll = 13,
    PutEnroll = 14,
    DeleteEnroll = 15,
    GetName = 16,
    SetName = 17,
    // Reads the terminal's clock. Not one of the operations every terminal has: one without it
    // answers UnknownOp.
    GetTime = 18,
    // Bulk reads: one request answers what a walk would otherwise ask in many. A terminal without
    // them answers UnknownOp, and the library asks one by one.
    GetUserRecord = 32,
    GetAllStatus = 33,
    // Live events (event_messages.h). Subscribe turns the connection into an event connection,
    // Unsubscribe back; Event and Heartbeat are sent by the terminal unasked; Punch makes the
    // emulator record a punch, as a finger on the sensor would.
    Subscribe = 48,
    Unsubscribe = 49,
    Event = 50,
    Heartbeat = 51,
    Punch = 52,
};

// The name under which an operation is refused by the emulator's --fault refuse=NAME; empty for
// a number that is no operation.
std::string_view opName(std::uint16_t op);
std::optional<Op> opFromName(std::string_view name);

// The status of a reply. Everything but Ok means the operation did nothing.
enum class Status : std::uint16_t {
    Ok = 0,
    Failed = 1,        // the terminal holds no such thing or cannot take the value
    BadPassword = 2,   // connect with a wrong communication password
    WrongMachine = 3,  // the frame's machine number is not the terminal's
    BadRequest = 4,    // the payload does not decode
    UnknownOp = 5,
    NoSession = 6,     // a request before a successful connect
    Refused = 7,       // refused on purpose (fault injection)
    StorageError = 8,  // the terminal could not keep the change
};

// Limits that both sides check when decoding.
constexpr std::size_t kMaxTemplateValues = 4096;
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::uint32_t kMaxUserPage = 4096;
constexpr std::uint32_t kMaxLogPage = 3072;
constexpr std::uint32_t kMaxLogRecords = 50'000'000;
// A user record carries at most one enrollment per backup number (0 to 10), and of a template only
// the values the library can ever deliver (FK_TEMPLATE_VALUES): that keeps the largest record
// (about 17 KB) well inside one frame and one datagram.
constexpr std::uint32_t kMaxRecordEnrollments = 11;
constexpr std::size_t kMaxRecordTemplateValues = 458;
// GetAllStatus answers the status codes 1 to kStatusCodes, in order.
constexpr std::uint32_t kStatusCodes = 9;

struct UserEntry {
    std::int32_t enroll = 0;
    std::int32_t backup = 0;
    std::int32_t privilege = 0;
    bool operator==(const UserEntry&) const = default;
};

struct LogEntry {
    std::int32_t enroll = 0;
    std::int32_t mode = 0;
    double time = 0;
    bool operator==(const LogEntry&) const = default;
};

struct EnrollData {
    std::int32_t privilege = 0;
    std::int32_t password = 0;
    std::vector<std::int32_t> templateValues;
    bool operator==(const EnrollData&) const = default;
};

struct EnrollKey {
    std::int32_t enroll = 0;
    std::int32_t backup = 0;
};

struct PageRequest {
    std::uint32_t offset = 0;
    std::uint32_t maxCount = 0;
};

struct PutEnrollRequest {
    std::int32_t enroll = 0;
    std::int32_t backup = 0;
    EnrollData data;
};

struct ModifyPrivilegeRequest {
    std::int32_t enroll = 0;
    std::int32_t backup = 0;
    std::int32_t privilege = 0;
};

struct SetNameRequest {
    std::int32_t enroll = 0;
    std::string name;
};

// Everything the library's per-user reads (GetUserName, GetEnrollData of every backup) would be
// told about one user, as one reply.
struct UserRecord {
    std::string name;  // as GetUserName answers it
    struct Entry {
        std::int32_t backup = 0;
        EnrollData data;
        bool operator==(const Entry&) const = default;
    };
    std::vector<Entry> enrollments;  // by backup number, each at most once
    bool operator==(const UserRecord&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// Payload codecs. Every decoder accepts exactly its own encoding: a short payload, trailing bytes
// or a count above its limit give nullopt.
Bytes encodeI32(std::int32_t v);
std::optional<std::int32_t> decodeI32(const Bytes& p);
Bytes encodeU32(std::uint32_t v);
std::optional<std::uint32_t> decodeU32(const Bytes& p);
Bytes encodeF64(double v);
std::optional<double> decodeF64(const Bytes& p);
bool decodeEmpty(const Bytes& p);

Bytes encodeEnrollKey(const EnrollKey& v);
std::optional<EnrollKey> decodeEnrollKey(const Bytes& p);
Bytes encodePageRequest(const PageRequest& v);
std::optional<PageRequest> decodePageRequest(const Bytes& p);
Bytes encodeUserPage(const std::vector<UserEntry>& v);
std::optional<std::vector<UserEntry>> decodeUserPage(const Bytes& p);
Bytes encodeLogPage(const std::vector<LogEntry>& v);
std::optional<std::vector<LogEntry>> decodeLogPage(const Bytes& p);
Bytes encodeEnrollData(const EnrollData& v);
std::optional<EnrollData> decodeEnrollData(const Bytes& p);
Bytes encodePutEnroll(const PutEnrollRequest& v);
std::optional<PutEnrollRequest> decodePutEnroll(const Bytes& p);
Bytes encodeModifyPrivilege(const ModifyPrivilegeRequest& v);
std::optional<ModifyPrivilegeRequest> decodeModifyPrivilege(const Bytes& p);
Bytes encodeName(std::string_view name);
std::optional<std::string> decodeName(const Bytes& p);
Bytes encodeSetName(const SetNameRequest& v);
std::optional<SetNameRequest> decodeSetName(const Bytes& p);
// A record whose enrollments are not in increasing backup order within 0 to 10, or whose template
// exceeds kMaxRecordTemplateValues, does not decode.
Bytes encodeUserRecord(const UserRecord& v);
std::optional<UserRecord> decodeUserRecord(const Bytes& p);
// kStatusCodes values; any other count does not decode.
Bytes encodeAllStatus(const std::vector<std::int32_t>& values);
std::optional<std::vector<std::int32_t>> decodeAllStatus(const Bytes& p);

}  // namespace orvelo::terminal
