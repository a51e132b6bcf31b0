#include "terminal/messages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "terminal/wire.h"

namespace orvelo::terminal {

namespace {

constexpr std::array<std::pair<Op, std::string_view>, 20> kOpNames{{
    {Op::Connect, "Connect"},
    {Op::Disconnect, "DisConnect"},
    {Op::Enable, "EnableDevice"},
    {Op::GetStatus, "GetDeviceStatus"},
    {Op::SetTime, "SetDeviceTime"},
    {Op::UserListBegin, "ReadAllUserID"},
    {Op::UserListPage, "GetAllUserID"},
    {Op::ModifyPrivilege, "ModifyPrivilege"},
    {Op::ClearData, "ClearKeeperData"},
    {Op::LogBegin, "LoadGeneralLogData"},
    {Op::LogPage, "GetGeneralLogData"},
    {Op::LogCommit, "MarkCollected"},
    {Op::GetEnroll, "GetEnrollData"},
    {Op::PutEnroll, "PutEnrollData"},
    {Op::DeleteEnroll, "DeleteEnrollData"},
    {Op::GetName, "GetUserName"},
    {Op::SetName, "SetUserName"},
    {Op::GetTime, "GetDeviceTime"},
    {Op::GetUserRecord, "GetUserRecord"},
    {Op::GetAllStatus, "GetAllDeviceStatus"},
}};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void writeTemplate(ByteWriter& w, const std::vector<std::int32_t>& values) {
    w.u32(static_cast<std::uint32_t>(values.size()));
    for (std::int32_t v : values) w.i32(v);
}

std::vector<std::int32_t> readTemplate(ByteReader& r) {
    const std::uint32_t count = r.u32();
    if (count > kMaxTemplateValues || count > r.remaining() / 4) {
        r.fail();
        return {};
    }
    std::vector<std::int32_t> values(count);
    for (auto& v : values) v = r.i32();
    return values;
}

std::string readName(ByteReader& r) {
    const std::uint16_t length = r.u16();
    if (length > kMaxNameBytes) {
        r.fail();
        return {};
    }
    return r.bytes(length);
}

}  // namespace

std::string_view opName(std::uint16_t op) {
    for (const auto& [value, name] : kOpNames)
        if (static_cast<std::uint16_t>(value) == op) return name;
    return {};
}

std::optional<Op> opFromName(std::string_view name) {
    if (name.size() > 3 && equalsIgnoringCase(name.substr(0, 3), "FK_")) name.remove_prefix(3);
    for (const auto& [value, opName] : kOpNames)
        if (equalsIgnoringCase(opName, name)) return value;
    return std::nullopt;
}

Bytes encodeI32(std::int32_t v) {
    Bytes out;
    ByteWriter(out).i32(v);
    return out;
}

std::optional<std::int32_t> decodeI32(const Bytes& p) {
    return decodeWith<std::int32_t>(p, [](ByteReader& r) { return r.i32(); });
}

Bytes encodeU32(std::uint32_t v) {
    Bytes out;
    ByteWriter(out).u32(v);
    return out;
}

std::optional<std::uint32_t> decodeU32(const Bytes& p) {
    return decodeWith<std::uint32_t>(p, [](ByteReader& r) { return r.u32(); });
}

Bytes encodeF64(double v) {
    Bytes out;
    ByteWriter(out).f64(v);
    return out;
}

std::optional<double> decodeF64(const Bytes& p) {
    return decodeWith<double>(p, [](ByteReader& r) { return r.f64(); });
}

bool decodeEmpty(const Bytes& p) {
    return p.empty();
}

Bytes encodeEnrollKey(const EnrollKey& v) {
    Bytes out;
    ByteWriter w(out);
    w.i32(v.enroll);
    w.i32(v.backup);
    return out;
}

std::optional<EnrollKey> decodeEnrollKey(const Bytes& p) {
    return decodeWith<EnrollKey>(p, [](ByteReader& r) {
        EnrollKey v;
        v.enroll = r.i32();
        v.backup = r.i32();
        return v;
    });
}

Bytes encodePageRequest(const PageRequest& v) {
    Bytes out;
    ByteWriter w(out);
    w.u32(v.offset);
    w.u32(v.maxCount);
    return out;
}

std::optional<PageRequest> decodePageRequest(const Bytes& p) {
    return decodeWith<PageRequest>(p, [](ByteReader& r) {
        PageRequest v;
        v.offset = r.u32();
        v.maxCount = r.u32();
        return v;
    });
}

Bytes encodeUserPage(const std::vector<UserEntry>& v) {
    Bytes out;
    out.reserve(4 + v.size() * 12);
    ByteWriter w(out);
    w.u32(static_cast<std::uint32_t>(v.size()));
    for (const auto& e : v) {
        w.i32(e.enroll);
        w.i32(e.backup);
        w.i32(e.privilege);
    }
    return out;
}

std::optional<std::vector<UserEntry>> decodeUserPage(const Bytes& p) {
    return decodeWith<std::vector<UserEntry>>(p, [](ByteReader& r) {
        const std::uint32_t count = r.u32();
        std::vector<UserEntry> entries;
        if (count > kMaxUserPage || count > r.remaining() / 12) {
            r.fail();
            return entries;
        }
        entries.resize(count);
        for (auto& e : entries) {
            e.enroll = r.i32();
            e.backup = r.i32();
            e.privilege = r.i32();
        }
        return entries;
    });
}

Bytes encodeLogPage(const std::vector<LogEntry>& v) {
    Bytes out;
    out.reserve(4 + v.size() * 16);
    ByteWriter w(out);
    w.u32(static_cast<std::uint32_t>(v.size()));
    for (const auto& e : v) {
        w.i32(e.enroll);
        w.i32(e.mode);
        w.f64(e.time);
    }
    return out;
}

std::optional<std::vector<LogEntry>> decodeLogPage(const Bytes& p) {
    return decodeWith<std::vector<LogEntry>>(p, [](ByteReader& r) {
        const std::uint32_t count = r.u32();
        std::vector<LogEntry> entries;
        if (count > kMaxLogPage || count > r.remaining() / 16) {
            r.fail();
            return entries;
        }
        entries.resize(count);
        for (auto& e : entries) {
            e.enroll = r.i32();
            e.mode = r.i32();
            e.time = r.f64();
        }
        return entries;
    });
}

Bytes encodeEnrollData(const EnrollData& v) {
    Bytes out;
    ByteWriter w(out);
    w.i32(v.privilege);
    w.i32(v.password);
    writeTemplate(w, v.templateValues);
    return out;
}

std::optional<EnrollData> decodeEnrollData(const Bytes& p) {
    return decodeWith<EnrollData>(p, [](ByteReader& r) {
        EnrollData v;
        v.privilege = r.i32();
        v.password = r.i32();
        v.templateValues = readTemplate(r);
        return v;
    });
}

Bytes encodePutEnroll(const PutEnrollRequest& v) {
    Bytes out;
    ByteWriter w(out);
    w.i32(v.enroll);
    w.i32(v.backup);
    w.i32(v.data.privilege);
    w.i32(v.data.password);
    writeTemplate(w, v.data.templateValues);
    return out;
}

std::optional<PutEnrollRequest> decodePutEnroll(const Bytes& p) {
    return decodeWith<PutEnrollRequest>(p, [](ByteReader& r) {
        PutEnrollRequest v;
        v.enroll = r.i32();
        v.backup = r.i32();
        v.data.privilege = r.i32();
        v.data.password = r.i32();
        v.data.templateValues = readTemplate(r);
        return v;
    });
}

Bytes encodeModifyPrivilege(const ModifyPrivilegeRequest& v) {
    Bytes out;
    ByteWriter w(out);
    w.i32(v.enroll);
    w.i32(v.backup);
    w.i32(v.privilege);
    return out;
}

std::optional<ModifyPrivilegeRequest> decodeModifyPrivilege(const Bytes& p) {
    return decodeWith<ModifyPrivilegeRequest>(p, [](ByteReader& r) {
        ModifyPrivilegeRequest v;
        v.enroll = r.i32();
        v.backup = r.i32();
        v.privilege = r.i32();
        return v;
    });
}

Bytes encodeName(std::string_view name) {
    Bytes out;
    name = name.substr(0, kMaxNameBytes);
    out.reserve(2 + name.size());
    ByteWriter w(out);
    w.u16(static_cast<std::uint16_t>(name.size()));
    w.bytes(name);
    return out;
}

std::optional<std::string> decodeName(const Bytes& p) {
    return decodeWith<std::string>(p, [](ByteReader& r) { return readName(r); });
}

Bytes encodeSetName(const SetNameRequest& v) {
    Bytes out;
    const std::string_view name = std::string_view(v.name).substr(0, kMaxNameBytes);
    out.reserve(6 + name.size());
    ByteWriter w(out);
    w.i32(v.enroll);
    w.u16(static_cast<std::uint16_t>(name.size()));
    w.bytes(name);
    return out;
}

std::optional<SetNameRequest> decodeSetName(const Bytes& p) {
    return decodeWith<SetNameRequest>(p, [](ByteReader& r) {
        SetNameRequest v;
        v.enroll = r.i32();
        v.name = readName(r);
        return v;
    });
}

Bytes encodeUserRecord(const UserRecord& v) {
    Bytes out;
    ByteWriter w(out);
    const std::string_view name = std::string_view(v.name).substr(0, kMaxNameBytes);
    w.u16(static_cast<std::uint16_t>(name.size()));
    w.bytes(name);
    w.u32(static_cast<std::uint32_t>(v.enrollments.size()));
    for (const auto& e : v.enrollments) {
        w.i32(e.backup);
        w.i32(e.data.privilege);
        w.i32(e.data.password);
        writeTemplate(w, e.data.templateValues);
    }
    return out;
}

std::optional<UserRecord> decodeUserRecord(const Bytes& p) {
    return decodeWith<UserRecord>(p, [](ByteReader& r) {
        UserRecord v;
        v.name = readName(r);
        const std::uint32_t count = r.u32();
        if (count > kMaxRecordEnrollments || count > r.remaining() / 16) {
            r.fail();
            return v;
        }
        v.enrollments.resize(count);
        std::int32_t previous = -1;
        for (auto& e : v.enrollments) {
            e.backup = r.i32();
            e.data.privilege = r.i32();
            e.data.password = r.i32();
            e.data.templateValues = readTemplate(r);
            // Each backup once, in order: the reader looks them up, and a list that names one twice
            // could answer two different things for it.
            if (e.backup <= previous || e.backup >= static_cast<std::int32_t>(kMaxRecordEnrollments) ||
                e.data.templateValues.size() > kMaxRecordTemplateValues) {
                r.fail();
                return v;
            }
            previous = e.backup;
        }
        return v;
    });
}

Bytes encodeAllStatus(const std::vector<std::int32_t>& values) {
    Bytes out;
    ByteWriter w(out);
    w.u32(static_cast<std::uint32_t>(values.size()));
    for (std::int32_t v : values) w.i32(v);
    return out;
}

std::optional<std::vector<std::int32_t>> decodeAllStatus(const Bytes& p) {
    return decodeWith<std::vector<std::int32_t>>(p, [](ByteReader& r) {
        std::vector<std::int32_t> values;
        if (r.u32() != kStatusCodes) {
            r.fail();
            return values;
        }
        values.resize(kStatusCodes);
        for (auto& v : values) v = r.i32();
        return values;
    });
}

}  // namespace orvelo::terminal
