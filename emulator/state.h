#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/fkattend.h"

namespace orvelo::emulator {

struct Enrollment {
    std::int32_t privilege = 0;
    std::int32_t password = 0;
    std::vector<std::int32_t> templateValues;
    bool operator==(const Enrollment&) const = default;
};

struct User {
    std::string name;                                // UTF-8
    std::map<std::int32_t, Enrollment> enrollments;  // by backup number 0..10
    bool operator==(const User&) const = default;
};

struct LogRecord {
    std::int32_t enroll = 0;
    std::int32_t mode = 0;
    double time = 0;  // days since 1899-12-30, whole seconds
    bool collected = false;
    bool operator==(const LogRecord&) const = default;
};

// What a terminal holds; the JSON state file is its picture.
struct TerminalState {
    std::int32_t machine = 1;
    std::int32_t password = 0;
    bool enabled = true;
    double clockOffsetS = 0;
    std::int32_t managementNew = 0;
    std::int32_t managementAll = 0;
    std::map<std::int32_t, User> users;  // by enroll number
    std::vector<LogRecord> logs;         // in the order they were recorded
    bool operator==(const TerminalState&) const = default;
};

class StateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws StateError naming the first field that is wrong.
TerminalState parseState(const std::string& json);
std::string formatState(const TerminalState& state);

TerminalState loadStateFile(const std::string& path);

// Writes the state file, keeping the text of what did not change: a terminal with a large log or
// many users rewrites its file after a batch of enrollments without formatting the rest again, and
// without copying it into one text. The caller says what changed; the file is always the whole
// formatState().
class StateFileWriter {
public:
    explicit StateFileWriter(std::string path) : m_path(std::move(path)) {}
    void userChanged(std::int32_t enroll) { m_users.erase(enroll); }
    void logsChanged() { m_logsValid = false; }
    void everythingChanged();
    // Throws StateError.
    void save(const TerminalState& state);

private:
    std::string m_path;
    std::map<std::int32_t, std::string> m_users;
    std::string m_logs;
    bool m_logsValid = false;
};
// Writes a temporary file beside `path` and renames it over `path`: a reader, or a kill at any
// moment, sees the old file or the new one, never a torn one. Throws StateError.
void saveStateFile(const std::string& path, const TerminalState& state);
// The same atomic write for any text file, and for a text given in pieces (written as they are,
// one after the other).
void writeFileAtomically(const std::string& path, const std::string& content);
void writeFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces);

}  // namespace orvelo::emulator
