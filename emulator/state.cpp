#include "emulator/state.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "terminal/text_utils.h"

namespace orvelo::emulator {

namespace {

using terminal::formatDateTimeText;
using terminal::parseDateTimeText;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw StateError(where + ": " + what);
}

QJsonValue member(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key));
}

std::int32_t toInt32(const QJsonValue& value, const std::string& where) {
    if (!value.isDouble()) fail(where, "expected an integer");
    const double d = value.toDouble();
    if (d != std::floor(d) || d < INT32_MIN || d > INT32_MAX) fail(where, "expected a 32-bit integer");
    return static_cast<std::int32_t>(d);
}

std::int32_t optionalInt32(const QJsonObject& object, const char* key, std::int32_t fallback,
                           const std::string& where) {
    const QJsonValue value = member(object, key);
    if (value.isUndefined()) return fallback;
    return toInt32(value, where + "." + key);
}

bool optionalBool(const QJsonObject& object, const char* key, bool fallback, const std::string& where) {
    const QJsonValue value = member(object, key);
    if (value.isUndefined()) return fallback;
    if (!value.isBool()) fail(where + "." + key, "expected true or false");
    return value.toBool();
}

QJsonObject toObject(const QJsonValue& value, const std::string& where) {
    if (!value.isObject()) fail(where, "expected an object");
    return value.toObject();
}

QJsonArray requiredArray(const QJsonObject& object, const char* key, const std::string& where) {
    const QJsonValue value = member(object, key);
    if (value.isUndefined()) fail(where + "." + key, "missing");
    if (!value.isArray()) fail(where + "." + key, "expected an array");
    return value.toArray();
}

Enrollment parseEnrollment(const QJsonObject& object, const std::string& where, std::int32_t& backup) {
    const QJsonValue backupValue = member(object, "backup");
    if (backupValue.isUndefined()) fail(where + ".backup", "missing");
    backup = toInt32(backupValue, where + ".backup");
    if (backup < FK_BACKUP_FIRST || backup > FK_BACKUP_LAST) fail(where + ".backup", "expected 0 to 10");
    Enrollment e;
    e.privilege = optionalInt32(object, "privilege", 0, where);
    e.password = optionalInt32(object, "password", 0, where);
    const QJsonValue templateValue = member(object, "template");
    if (!templateValue.isUndefined()) {
        if (!templateValue.isArray()) fail(where + ".template", "expected an array of integers");
        const QJsonArray values = templateValue.toArray();
        e.templateValues.reserve(static_cast<std::size_t>(values.size()));
        for (qsizetype i = 0; i < values.size(); ++i)
            e.templateValues.push_back(toInt32(values[i], where + ".template[" + std::to_string(i) + "]"));
    }
    return e;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void appendNumber(std::string& out, double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

}  // namespace

TerminalState parseState(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError)
        fail("offset " + std::to_string(error.offset), error.errorString().toStdString());
    if (!document.isObject()) fail("state", "expected an object");
    const QJsonObject root = document.object();
    TerminalState state;
    state.machine = optionalInt32(root, "machine", state.machine, "state");
    state.password = optionalInt32(root, "password", state.password, "state");
    state.enabled = optionalBool(root, "enabled", state.enabled, "state");
    if (const QJsonValue offset = member(root, "clock_offset_s"); !offset.isUndefined()) {
        if (!offset.isDouble() || !std::isfinite(offset.toDouble()))
            fail("state.clock_offset_s", "expected a number");
        state.clockOffsetS = offset.toDouble();
    }
    if (const QJsonValue log = member(root, "management_log"); !log.isUndefined()) {
        const QJsonObject object = toObject(log, "state.management_log");
        state.managementNew = optionalInt32(object, "new", 0, "state.management_log");
        state.managementAll = optionalInt32(object, "all", 0, "state.management_log");
    }

    const QJsonArray users = requiredArray(root, "users", "state");
    for (qsizetype i = 0; i < users.size(); ++i) {
        const std::string where = "state.users[" + std::to_string(i) + "]";
        const QJsonObject object = toObject(users[i], where);
        const QJsonValue enrollValue = member(object, "enroll");
        if (enrollValue.isUndefined()) fail(where + ".enroll", "missing");
        const std::int32_t enroll = toInt32(enrollValue, where + ".enroll");
        if (state.users.count(enroll) != 0) fail(where + ".enroll", "enroll number given twice");
        User user;
        if (const QJsonValue name = member(object, "name"); !name.isUndefined()) {
            if (!name.isString()) fail(where + ".name", "expected a text");
            user.name = name.toString().toStdString();
        }
        if (const QJsonValue list = member(object, "enrollments"); !list.isUndefined()) {
            if (!list.isArray()) fail(where + ".enrollments", "expected an array");
            const QJsonArray enrollments = list.toArray();
            for (qsizetype k = 0; k < enrollments.size(); ++k) {
                const std::string at = where + ".enrollments[" + std::to_string(k) + "]";
                std::int32_t backup = 0;
                Enrollment e = parseEnrollment(toObject(enrollments[k], at), at, backup);
                if (!user.enrollments.emplace(backup, std::move(e)).second)
                    fail(at + ".backup", "backup number given twice");
            }
        }
        state.users.emplace(enroll, std::move(user));
    }

    const QJsonArray logs = requiredArray(root, "logs", "state");
    state.logs.reserve(static_cast<std::size_t>(logs.size()));
    for (qsizetype i = 0; i < logs.size(); ++i) {
        const std::string where = "state.logs[" + std::to_string(i) + "]";
        const QJsonObject object = toObject(logs[i], where);
        LogRecord record;
        const QJsonValue enrollValue = member(object, "enroll");
        if (enrollValue.isUndefined()) fail(where + ".enroll", "missing");
        record.enroll = toInt32(enrollValue, where + ".enroll");
        record.mode = optionalInt32(object, "mode", 1, where);
        const QJsonValue time = member(object, "time");
        if (!time.isString()) fail(where + ".time", "expected a text yyyy-mm-dd hh:nn:ss");
        const auto days = parseDateTimeText(time.toString().toStdString());
        if (!days) fail(where + ".time", "expected a text yyyy-mm-dd hh:nn:ss");
        record.time = *days;
        record.collected = optionalBool(object, "collected", false, where);
        state.logs.push_back(record);
    }
    return state;
}

namespace {

void appendUser(std::string& out, std::int32_t enroll, const User& user) {
    out += "    {\"enroll\": " + std::to_string(enroll) + ", \"name\": ";
    appendJsonString(out, user.name);
    out += ", \"enrollments\": [";
    bool first = true;
    for (const auto& [backup, e] : user.enrollments) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "      {\"backup\": " + std::to_string(backup) +
               ", \"privilege\": " + std::to_string(e.privilege) +
               ", \"password\": " + std::to_string(e.password) + ", \"template\": [";
        char buffer[16];
        for (std::size_t i = 0; i < e.templateValues.size(); ++i) {
            if (i > 0) out += ", ";
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, e.templateValues[i]);
            out.append(buffer, result.ptr);
        }
        out += "]}";
    }
    out += first ? "]}" : "\n    ]}";
}

void appendLogs(std::string& out, const std::vector<LogRecord>& logs) {
    out.reserve(out.size() + logs.size() * 80);
    bool first = true;
    char buffer[16];
    for (const auto& r : logs) {
        out += first ? "\n    {\"enroll\": " : ",\n    {\"enroll\": ";
        first = false;
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, r.enroll).ptr);
        out += ", \"mode\": ";
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, r.mode).ptr);
        out += ", \"time\": \"";
        out += formatDateTimeText(r.time);
        out += r.collected ? "\", \"collected\": true}" : "\", \"collected\": false}";
    }
    out += first ? "]" : "\n  ]";
}

// The file is the header, the users and the logs, pieced together so that the writer can keep
// the text of pieces that did not change and hand them to the kernel as they are: no copy of the
// whole file is made for a write. The pieces point into `head`, into the texts the callbacks
// return (which must outlive the pieces) and into literals.
template <typename UserText, typename LogsText>
std::vector<std::string_view> compose(const TerminalState& state, UserText userText, LogsText logsText,
                                      std::string& head) {
    head.clear();
    head += "{\n  \"machine\": " + std::to_string(state.machine);
    head += ",\n  \"password\": " + std::to_string(state.password);
    head += ",\n  \"enabled\": ";
    head += state.enabled ? "true" : "false";
    head += ",\n  \"clock_offset_s\": ";
    appendNumber(head, state.clockOffsetS);
    head += ",\n  \"management_log\": {\"new\": " + std::to_string(state.managementNew) +
            ", \"all\": " + std::to_string(state.managementAll) + "}";
    head += ",\n  \"users\": [";
    std::vector<std::string_view> pieces;
    pieces.reserve(2 * state.users.size() + 5);
    pieces.emplace_back(head);
    bool firstUser = true;
    for (const auto& [enroll, user] : state.users) {
        pieces.emplace_back(firstUser ? "\n" : ",\n");
        firstUser = false;
        pieces.emplace_back(userText(enroll, user));
    }
    pieces.emplace_back(firstUser ? "]" : "\n  ]");
    pieces.emplace_back(",\n  \"logs\": [");
    pieces.emplace_back(logsText());
    pieces.emplace_back("\n}\n");
    return pieces;
}

}  // namespace

std::string formatState(const TerminalState& state) {
    std::vector<std::string> userTexts;
    userTexts.reserve(state.users.size());  // the pieces point into them: no reallocation
    std::string logs;
    std::string head;
    const auto pieces = compose(
        state,
        [&](std::int32_t enroll, const User& user) -> const std::string& {
            appendUser(userTexts.emplace_back(), enroll, user);
            return userTexts.back();
        },
        [&]() -> const std::string& {
            appendLogs(logs, state.logs);
            return logs;
        },
        head);
    std::size_t size = 0;
    for (const auto piece : pieces) size += piece.size();
    std::string out;
    out.reserve(size);
    for (const auto piece : pieces) out += piece;
    return out;
}

void StateFileWriter::everythingChanged() {
    m_users.clear();
    m_logsValid = false;
}

void StateFileWriter::save(const TerminalState& state) {
    // Users that are gone drop out of the cache.
    for (auto it = m_users.begin(); it != m_users.end();) {
        if (state.users.count(it->first) == 0)
            it = m_users.erase(it);
        else
            ++it;
    }
    std::string head;
    const auto pieces = compose(
        state,
        [this](std::int32_t enroll, const User& user) -> const std::string& {
            auto it = m_users.find(enroll);
            if (it == m_users.end()) {
                it = m_users.emplace(enroll, std::string()).first;
                appendUser(it->second, enroll, user);
            }
            return it->second;
        },
        [&]() -> const std::string& {
            if (!m_logsValid) {
                m_logs.clear();
                appendLogs(m_logs, state.logs);
                m_logsValid = true;
            }
            return m_logs;
        },
        head);
    writeFileAtomically(m_path, pieces);
}

TerminalState loadStateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw StateError(path + ": cannot be read");
    std::ostringstream content;
    content << in.rdbuf();
    try {
        return parseState(content.str());
    } catch (const StateError& e) {
        throw StateError(path + ": " + e.what());
    }
}

void writeFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces) {
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw StateError(temporary + ": " + std::strerror(errno));
    auto abandon = [&](const std::string& reason) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw StateError(temporary + ": " + reason);
    };
    // Gathered writes, IOV_MAX pieces at a time, resumed where a short write stopped.
    std::size_t index = 0;
    std::size_t offset = 0;  // into pieces[index]
    std::vector<iovec> batch;
    while (index < pieces.size()) {
        batch.clear();
        for (std::size_t i = index; i < pieces.size() && batch.size() < IOV_MAX; ++i) {
            const std::string_view piece = i == index ? pieces[i].substr(offset) : pieces[i];
            if (!piece.empty()) batch.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
        if (batch.empty()) break;
        const ssize_t n = ::writev(fd, batch.data(), static_cast<int>(batch.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) abandon(n < 0 ? std::strerror(errno) : "nothing written");
        auto left = static_cast<std::size_t>(n);
        while (index < pieces.size() && left >= pieces[index].size() - offset) {
            left -= pieces[index].size() - offset;
            offset = 0;
            ++index;
        }
        offset += left;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw StateError(path + ": " + reason);
    }
}

void writeFileAtomically(const std::string& path, const std::string& content) {
    writeFileAtomically(path, std::vector<std::string_view>{content});
}

void saveStateFile(const std::string& path, const TerminalState& state) {
    writeFileAtomically(path, formatState(state));
}

}  // namespace orvelo::emulator
