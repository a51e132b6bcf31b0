#include "emulator/terminal_service.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "terminal/text_utils.h"

namespace orvelo::emulator {

using namespace orvelo::terminal;

namespace {

std::optional<int> parseCount(const std::string& text) {
    const auto value = parseInt32(text);
    if (!value || *value < 0) return std::nullopt;
    return *value;
}

// A name the terminal can show and give back whole in the caller's area.
bool acceptableName(const std::string& name) {
    if (name.size() > std::size_t{FK_NAME_BYTES - 1} || !isValidUtf8(name)) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

}  // namespace

bool takesIntegerArgument(Op op) {
    switch (op) {
        case Op::Connect:
        case Op::Enable:
        case Op::GetStatus:
        case Op::ModifyPrivilege:
        case Op::LogBegin:
        case Op::GetEnroll:
        case Op::PutEnroll:
        case Op::DeleteEnroll:
        case Op::GetName:
        case Op::SetName:
        case Op::GetUserRecord:
            return true;
        default:
            return false;
    }
}

std::optional<std::int32_t> firstIntegerArgument(Op op, const Bytes& payload) {
    switch (op) {
        case Op::Connect:
        case Op::Enable:
        case Op::GetStatus:
        case Op::LogBegin:
        case Op::GetName:
        case Op::GetUserRecord:
            return decodeI32(payload);
        case Op::ModifyPrivilege:
            if (const auto r = decodeModifyPrivilege(payload)) return r->enroll;
            return std::nullopt;
        case Op::GetEnroll:
        case Op::DeleteEnroll:
            if (const auto r = decodeEnrollKey(payload)) return r->enroll;
            return std::nullopt;
        case Op::PutEnroll:
            if (const auto r = decodePutEnroll(payload)) return r->enroll;
            return std::nullopt;
        case Op::SetName:
            if (const auto r = decodeSetName(payload)) return r->enroll;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

bool parseFault(const std::string& fault, Faults& faults) {
    const auto eq = fault.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = fault.substr(0, eq);
    const std::string value = fault.substr(eq + 1);
    if (key == "refuse") {
        const auto colon = value.find(':');
        const auto op = opFromName(value.substr(0, colon));
        if (!op) return false;
        if (colon == std::string::npos) {
            faults.refusedOps.insert(static_cast<std::uint16_t>(*op));
            return true;
        }
        const auto arg = parseInt32(value.substr(colon + 1));
        if (!arg || !takesIntegerArgument(*op)) return false;
        faults.refusedArgs.emplace(static_cast<std::uint16_t>(*op), *arg);
        return true;
    }
    const auto count = parseCount(value);
    if (!count) return false;
    if (key == "drop-after")
        faults.dropAfter = *count;
    else if (key == "corrupt-after")
        faults.corruptAfter = *count;
    else if (key == "delay-ms")
        faults.delayMs = *count;
    else
        return false;
    return true;
}

TerminalService::TerminalService(TerminalState state, std::string statePath, Faults faults,
                                 std::chrono::milliseconds saveDelay)
    : m_state(std::move(state)),
      m_writer(std::move(statePath)),
      m_faults(std::move(faults)),
      m_saveDelay(saveDelay) {}

void TerminalService::changed() {
    if (m_unsaved) return;
    m_unsaved = true;
    m_unsavedSince = SaveClock::now();
}

std::optional<TerminalService::SaveClock::time_point> TerminalService::saveDeadline() const {
    if (!m_unsaved) return std::nullopt;
    return m_unsavedSince + m_saveDelay;
}

void TerminalService::saveIfDue(SaveClock::time_point now) {
    if (m_unsaved && now >= m_unsavedSince + m_saveDelay) saveNow();
}

bool TerminalService::saveNow() {
    if (!m_unsaved) return true;
    try {
        m_writer.save(m_state);
        m_unsaved = false;
        return true;
    } catch (const StateError& e) {
        // A full disk or a removed folder: say so, and try again after the delay, not at once.
        std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
        m_unsavedSince = SaveClock::now();
        return false;
    }
}

std::optional<std::int32_t> TerminalService::status(std::int32_t code) const {
    auto countEnrollments = [this](auto pred) {
        std::int32_t n = 0;
        for (const auto& [enroll, user] : m_state.users)
            for (const auto& [backup, e] : user.enrollments)
                if (pred(backup)) ++n;
        return n;
    };
    switch (code) {
        case FK_STATUS_ADMINS: {
            std::int32_t n = 0;
            for (const auto& [enroll, user] : m_state.users)
                if (std::any_of(user.enrollments.begin(), user.enrollments.end(),
                                [](const auto& e) { return e.second.privilege != 0; }))
                    ++n;
            return n;
        }
        case FK_STATUS_USERS:
            return static_cast<std::int32_t>(m_state.users.size());
        case FK_STATUS_FINGERPRINTS:
            return countEnrollments(
                [](int b) { return b >= FK_BACKUP_FIRST_FINGERPRINT && b <= FK_BACKUP_LAST_FINGERPRINT; });
        case FK_STATUS_PASSWORDS:
            return countEnrollments([](int b) { return b == FK_BACKUP_PASSWORD; });
        case FK_STATUS_NEW_MANAGEMENT_LOGS:
            return m_state.managementNew;
        case FK_STATUS_NEW_LOGS:
            return static_cast<std::int32_t>(std::count_if(m_state.logs.begin(), m_state.logs.end(),
                                                           [](const LogRecord& r) { return !r.collected; }));
        case FK_STATUS_ALL_MANAGEMENT_LOGS:
            return m_state.managementAll;
        case FK_STATUS_ALL_LOGS:
            return static_cast<std::int32_t>(m_state.logs.size());
        case FK_STATUS_CARDS:
            return countEnrollments([](int b) { return b == FK_BACKUP_CARD; });
        default:
            return std::nullopt;
    }
}

std::optional<Frame> TerminalService::handle(Session& session, const Frame& request) {
    Frame reply;
    reply.reply = true;
    reply.op = request.op;
    reply.machine = request.machine;
    reply.seq = request.seq;
    if (request.reply) return std::nullopt;
    ++m_requestsReceived;
    if (request.machine != m_state.machine) {
        if (session.link == LinkKind::Serial) return std::nullopt;
        reply.status = static_cast<std::uint16_t>(Status::WrongMachine);
        return reply;
    }
    Status status;
    if (opName(request.op).empty()) {
        status = Status::UnknownOp;
    } else if (m_faults.refusedOps.count(request.op) != 0) {
        status = Status::Refused;
    } else {
        const auto op = static_cast<Op>(request.op);
        const auto arg =
            m_faults.refusedArgs.empty() ? std::nullopt : firstIntegerArgument(op, request.payload);
        if (arg && m_faults.refusedArgs.count({request.op, *arg}) != 0)
            status = Status::Refused;
        else if (refusedAsPart(op, request.payload))
            status = Status::Refused;
        else if (op != Op::Connect && !session.authenticated)
            status = Status::NoSession;
        else
            status = execute(session, op, request.payload, reply.payload);
    }
    // Changes whose time is up are written before the reply goes out: with a save delay of 0,
    // every change is on disk before it is confirmed.
    saveIfDue(SaveClock::now());
    reply.status = static_cast<std::uint16_t>(status);
    if (status != Status::Ok) reply.payload.clear();
    return reply;
}

// One member function per operation, indexed by the operation's number.
TerminalService::Handler TerminalService::handlerFor(Op op) {
    static constexpr std::array<std::pair<Op, Handler>, 20> kHandlers{{
        {Op::Connect, &TerminalService::connect},
        {Op::Disconnect, &TerminalService::disconnect},
        {Op::Enable, &TerminalService::enable},
        {Op::GetStatus, &TerminalService::getStatus},
        {Op::SetTime, &TerminalService::setTime},
        {Op::UserListBegin, &TerminalService::userListBegin},
        {Op::UserListPage, &TerminalService::userListPage},
        {Op::ModifyPrivilege, &TerminalService::modifyPrivilege},
        {Op::ClearData, &TerminalService::clearData},
        {Op::LogBegin, &TerminalService::logBegin},
        {Op::LogPage, &TerminalService::logPage},
        {Op::LogCommit, &TerminalService::logCommit},
        {Op::GetEnroll, &TerminalService::getEnroll},
        {Op::PutEnroll, &TerminalService::putEnroll},
        {Op::DeleteEnroll, &TerminalService::deleteEnroll},
        {Op::GetName, &TerminalService::getName},
        {Op::SetName, &TerminalService::setName},
        {Op::GetTime, &TerminalService::getTime},
        {Op::GetUserRecord, &TerminalService::getUserRecord},
        {Op::GetAllStatus, &TerminalService::getAllStatus},
    }};
    for (const auto& [known, handler] : kHandlers)
        if (known == op) return handler;
    return nullptr;
}

Status TerminalService::execute(Session& session, Op op, const Bytes& payload, Bytes& reply) {
    const Handler handler = handlerFor(op);
    return handler != nullptr ? (this->*handler)(session, payload, reply) : Status::UnknownOp;
}

Status TerminalService::connect(Session& session, const Bytes& payload, Bytes&) {
    const auto password = decodeI32(payload);
    if (!password) return Status::BadRequest;
    session.userListReady = false;
    session.logReady = false;
    // The communication password guards the network links; serial and USB have none.
    const bool network = session.link == LinkKind::Tcp || session.link == LinkKind::Udp;
    session.authenticated = !network || *password == m_state.password;
    return session.authenticated ? Status::Ok : Status::BadPassword;
}

Status TerminalService::disconnect(Session& session, const Bytes& payload, Bytes&) {
    if (!decodeEmpty(payload)) return Status::BadRequest;
    return endSession(session) ? Status::Ok : Status::StorageError;
}

Status TerminalService::enable(Session& session, const Bytes& payload, Bytes&) {
    const auto flag = decodeI32(payload);
    if (!flag) return Status::BadRequest;
    const bool enable = *flag != 0;
    m_disabledBy = enable ? 0 : session.id;
    if (m_state.enabled != enable) {
        m_state.enabled = enable;
        changed();
    }
    // Enabling ends a client's batch of changes: they are on disk before it is confirmed.
    if (enable && !saveNow()) return Status::StorageError;
    return Status::Ok;
}

Status TerminalService::getStatus(Session&, const Bytes& payload, Bytes& reply) {
    const auto code = decodeI32(payload);
    if (!code) return Status::BadRequest;
    const auto value = status(*code);
    if (!value) return Status::Failed;
    reply = encodeI32(*value);
    return Status::Ok;
}

Status TerminalService::setTime(Session&, const Bytes& payload, Bytes&) {
    const auto days = decodeF64(payload);
    if (!days) return Status::BadRequest;
    if (!daysInRange(*days)) return Status::Failed;
    m_state.clockOffsetS = (*days - localNowDays()) * 86400.0;
    changed();
    return Status::Ok;
}

double TerminalService::clockDays() const {
    const double days = localNowDays() + m_state.clockOffsetS / 86400.0;
    return std::round(days * 86400.0) / 86400.0;
}

Status TerminalService::getTime(Session&, const Bytes& payload, Bytes& reply) {
    if (!decodeEmpty(payload)) return Status::BadRequest;
    reply = encodeF64(clockDays());
    return Status::Ok;
}

Status TerminalService::userListBegin(Session& session, const Bytes& payload, Bytes& reply) {
    if (!decodeEmpty(payload)) return Status::BadRequest;
    session.userList.clear();
    for (const auto& [enroll, user] : m_state.users)
        for (const auto& [backup, e] : user.enrollments)
            session.userList.push_back({enroll, backup, e.privilege});
    session.userListReady = true;
    session.generation = m_generation;
    reply = encodeU32(static_cast<std::uint32_t>(session.userList.size()));
    return Status::Ok;
}

Status TerminalService::userListPage(Session& session, const Bytes& payload, Bytes& reply) {
    const auto page = decodePageRequest(payload);
    if (!page) return Status::BadRequest;
    if (!session.userListReady || session.generation != m_generation ||
        page->offset > session.userList.size())
        return Status::Failed;
    const std::size_t count =
        std::min<std::size_t>({page->maxCount, kMaxUserPage, session.userList.size() - page->offset});
    const auto first = session.userList.begin() + page->offset;
    reply = encodeUserPage(std::vector<UserEntry>(first, first + static_cast<std::ptrdiff_t>(count)));
    return Status::Ok;
}

Status TerminalService::modifyPrivilege(Session&, const Bytes& payload, Bytes&) {
    const auto request = decodeModifyPrivilege(payload);
    if (!request) return Status::BadRequest;
    const auto user = m_state.users.find(request->enroll);
    if (user == m_state.users.end()) return Status::Failed;
    const auto e = user->second.enrollments.find(request->backup);
    if (e == user->second.enrollments.end()) return Status::Failed;
    e->second.privilege = request->privilege;
    m_writer.userChanged(request->enroll);
    changed();
    return Status::Ok;
}

Status TerminalService::clearData(Session&, const Bytes& payload, Bytes&) {
    if (!decodeEmpty(payload)) return Status::BadRequest;
    m_state.users.clear();
    m_state.logs.clear();
    m_state.managementNew = 0;
    m_state.managementAll = 0;
    ++m_generation;
    m_writer.everythingChanged();
    changed();
    return Status::Ok;
}

Status TerminalService::logBegin(Session& session, const Bytes& payload, Bytes& reply) {
    const auto newOnly = decodeI32(payload);
    if (!newOnly) return Status::BadRequest;
    const auto& logs = m_state.logs;
    session.logSnapshot.clear();
    for (std::size_t i = 0; i < logs.size(); ++i)
        if (*newOnly == 0 || !logs[i].collected) session.logSnapshot.push_back(static_cast<std::uint32_t>(i));
    session.logReady = true;
    session.logNewOnly = *newOnly != 0;
    session.generation = m_generation;
    reply = encodeU32(static_cast<std::uint32_t>(session.logSnapshot.size()));
    return Status::Ok;
}

Status TerminalService::logPage(Session& session, const Bytes& payload, Bytes& reply) {
    const auto page = decodePageRequest(payload);
    if (!page) return Status::BadRequest;
    if (!session.logReady || session.generation != m_generation || page->offset > session.logSnapshot.size())
        return Status::Failed;
    const std::size_t count =
        std::min<std::size_t>({page->maxCount, kMaxLogPage, session.logSnapshot.size() - page->offset});
    std::vector<LogEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const LogRecord& r = m_state.logs[session.logSnapshot[page->offset + i]];
        entries.push_back({r.enroll, r.mode, r.time});
    }
    reply = encodeLogPage(entries);
    return Status::Ok;
}

Status TerminalService::logCommit(Session& session, const Bytes& payload, Bytes&) {
    if (!decodeEmpty(payload)) return Status::BadRequest;
    if (!session.logReady || !session.logNewOnly || session.generation != m_generation) return Status::Failed;
    for (std::uint32_t index : session.logSnapshot) m_state.logs[index].collected = true;
    session.logReady = false;
    session.logSnapshot.clear();
    m_writer.logsChanged();
    changed();
    return Status::Ok;
}

Status TerminalService::getEnroll(Session&, const Bytes& payload, Bytes& reply) {
    const auto key = decodeEnrollKey(payload);
    if (!key) return Status::BadRequest;
    const auto user = m_state.users.find(key->enroll);
    if (user == m_state.users.end()) return Status::Failed;
    const auto e = user->second.enrollments.find(key->backup);
    if (e == user->second.enrollments.end()) return Status::Failed;
    EnrollData data{e->second.privilege, e->second.password, e->second.templateValues};
    if (data.templateValues.size() > kMaxTemplateValues) data.templateValues.resize(kMaxTemplateValues);
    reply = encodeEnrollData(data);
    return Status::Ok;
}

Status TerminalService::putEnroll(Session&, const Bytes& payload, Bytes&) {
    const auto request = decodePutEnroll(payload);
    if (!request) return Status::BadRequest;
    if (request->backup < FK_BACKUP_FIRST || request->backup > FK_BACKUP_LAST) return Status::Failed;
    Enrollment& e = m_state.users[request->enroll].enrollments[request->backup];
    e.privilege = request->data.privilege;
    e.password = request->data.password;
    e.templateValues = request->data.templateValues;
    m_writer.userChanged(request->enroll);
    changed();
    return Status::Ok;
}

Status TerminalService::deleteEnroll(Session&, const Bytes& payload, Bytes&) {
    const auto key = decodeEnrollKey(payload);
    if (!key) return Status::BadRequest;
    const auto user = m_state.users.find(key->enroll);
    if (user == m_state.users.end() || user->second.enrollments.erase(key->backup) == 0)
        return Status::Failed;
    if (user->second.enrollments.empty()) m_state.users.erase(user);
    m_writer.userChanged(key->enroll);
    changed();
    return Status::Ok;
}

Status TerminalService::getName(Session&, const Bytes& payload, Bytes& reply) {
    const auto enroll = decodeI32(payload);
    if (!enroll) return Status::BadRequest;
    const auto user = m_state.users.find(*enroll);
    if (user == m_state.users.end()) return Status::Failed;
    const std::string& name = user->second.name;
    reply = encodeName(std::string_view(name).substr(0, utf8PrefixLength(name, kMaxNameBytes)));
    return Status::Ok;
}

Status TerminalService::setName(Session&, const Bytes& payload, Bytes&) {
    const auto request = decodeSetName(payload);
    if (!request) return Status::BadRequest;
    const auto user = m_state.users.find(request->enroll);
    if (user == m_state.users.end() || !acceptableName(request->name)) return Status::Failed;
    user->second.name = request->name;
    m_writer.userChanged(request->enroll);
    changed();
    return Status::Ok;
}

bool TerminalService::endSession(Session& session) {
    if (session.id != 0 && m_disabledBy == session.id) {
        m_disabledBy = 0;
        if (!m_state.enabled) {
            m_state.enabled = true;
            changed();
        }
    }
    session.authenticated = false;
    session.userListReady = false;
    session.logReady = false;
    session.userList.clear();
    session.logSnapshot.clear();
    return saveNow();
}

}  // namespace orvelo::emulator
