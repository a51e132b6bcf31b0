// The C entry points of libfkattend.so. One process-wide table of connections, guarded by one
// mutex: the library is meant to be called from one thread, but two threads must not corrupt it.
#include "fkattend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "terminal/client_connection.h"
#include "terminal/client_link.h"
#include "terminal/read_cache.h"
#include "terminal/text_utils.h"
#include "terminal/usb_log_file.h"

using namespace orvelo::terminal;

namespace {

constexpr int kMaxTimeoutMs = 600'000;
// The goodbye is a courtesy: a terminal that does not answer it must not hold the caller long.
constexpr int kDisconnectTimeoutMs = 500;

// Where FK_GetGeneralLogData takes its records from: a terminal's log, page by page, or a
// USB-disk file read whole by FK_USBLoadGeneralLogDataFromFile.
struct LogSource {
    bool fromFile = false;
    // file
    std::vector<LogEntry> records;
    // terminal
    bool newOnly = false;
    std::uint32_t total = 0;
    std::uint32_t fetched = 0;
    std::vector<LogEntry> page;
    // both
    std::size_t index = 0;
    bool ended = false;
};

struct OpenConnection {
    // Shared, so that FK_WaitEvent can wait on it without holding the library's lock.
    std::shared_ptr<Connection> connection;
    std::uint64_t openedAt = 0;
};

struct Library {
    std::mutex mutex;
    std::map<std::int32_t, OpenConnection> connections;
    // Keyed by the handle value the caller gives, which for a USB-disk file need not be open.
    std::map<std::int32_t, LogSource> logs;
    std::int32_t nextHandle = 1;
    std::uint64_t opened = 0;
    std::mt19937 random{std::random_device{}()};
};

Library& library() {
    static Library instance;
    return instance;
}

Connection* find(Library& lib, std::int32_t handle) {
    const auto it = lib.connections.find(handle);
    return it == lib.connections.end() ? nullptr : it->second.connection.get();
}

// The most recently opened connection to that machine number that takes requests.
Connection* findByMachine(Library& lib, std::int32_t machine) {
    Connection* best = nullptr;
    std::uint64_t bestOpened = 0;
    for (auto& [handle, open] : lib.connections) {
        // An event connection takes no requests: the machine-number operations pass it over.
        if (open.connection->machine() == machine && !open.connection->subscribed() &&
            (best == nullptr || open.openedAt > bestOpened)) {
            best = open.connection.get();
            bestOpened = open.openedAt;
        }
    }
    return best;
}

std::int32_t allocateHandle(Library& lib) {
    while (lib.connections.count(lib.nextHandle) != 0 || lib.nextHandle <= 0) {
        lib.nextHandle = lib.nextHandle == INT32_MAX ? 1 : lib.nextHandle + 1;
    }
    const std::int32_t handle = lib.nextHandle;
    lib.nextHandle = handle == INT32_MAX ? 1 : handle + 1;
    return handle;
}

// `bulkReads` false for a serial line: at low baud rates one user's record (up to 17 KB) could take
// longer than the time-out, and the line's byte time outweighs its latency anyway.
std::int32_t finishConnect(std::int32_t machine, std::unique_ptr<Link> link, int timeoutMs,
                           std::int32_t password, bool bulkReads = true) {
    if (!link) return 0;
    Library& lib = library();
    auto connection = std::make_unique<Connection>(machine, std::move(link), timeoutMs,
                                                   static_cast<std::uint32_t>(lib.random()));
    if (connection->exchange(Op::Connect, encodeI32(password), nullptr) != FK_OK) return 0;
    if (!bulkReads || oneByOneRequested()) connection->cache.disable();
    const std::int32_t handle = allocateHandle(lib);
    lib.connections[handle] = OpenConnection{std::move(connection), ++lib.opened};
    lib.logs.erase(handle);
    return handle;
}

template <typename T>
void put(T* out, T value) {
    if (out != nullptr) *out = value;
}

// Reads a regular file whole; false for anything else (a folder, a FIFO that would block, a file
// above the size limit).
bool readRegularFile(const char* path, std::string& content) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::uint64_t>(info.st_size) <= kMaxUsbLogFileBytes;
    if (ok) {
        content.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (ok && done < content.size()) {
            const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                ok = false;
        }
        // A file that grows while it is read is taken as far as its size said.
    }
    ::close(fd);
    return ok;
}

std::int32_t nextFromTerminal(Connection& connection, LogSource& source, LogEntry& out) {
    if (source.index == source.page.size()) {
        if (source.fetched >= source.total) {
            source.ended = true;
            // Only the read that ends the log marks the records collected: a client that stops
            // earlier finds them new again next time.
            if (source.newOnly && source.total > 0) {
                const std::int32_t r = connection.exchange(Op::LogCommit, {}, nullptr);
                return r == FK_OK ? FK_NO : r;
            }
            return FK_NO;
        }
        Bytes reply;
        const std::uint32_t want = std::min(source.total - source.fetched, kMaxLogPage);
        const std::int32_t r =
            connection.exchange(Op::LogPage, encodePageRequest({source.fetched, want}), &reply);
        auto page = r == FK_OK ? decodeLogPage(reply) : std::nullopt;
        if (r != FK_OK || !page || page->size() > want) {
            // The transfer is broken off: later reads end at once instead of waiting again.
            source.ended = true;
            return r != FK_OK ? r : FK_BAD_REPLY;
        }
        if (page->empty()) {
            source.ended = true;
            return FK_NO;
        }
        source.fetched += static_cast<std::uint32_t>(page->size());
        source.page = std::move(*page);
        source.index = 0;
    }
    out = source.page[source.index++];
    return FK_OK;
}

// No exception may unwind into a C caller, which could neither catch it nor clean up after it:
// whatever escapes an operation (std::bad_alloc included) becomes the result `failure`.
template <typename Body>
int32_t guarded(int32_t failure, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// The frame of every operation on an open connection: the exception barrier, the library's lock
// for the whole call, and FK_BAD_HANDLE when `lookUp` (Library& -> Connection*) finds no open
// connection.
template <typename LookUp, typename Body>
int32_t onFound(LookUp lookUp, Body body) noexcept {
    return guarded(FK_INTERNAL_ERROR, [&]() -> int32_t {
        Library& lib = library();
        std::lock_guard lock(lib.mutex);
        Connection* c = lookUp(lib);
        if (c == nullptr) return FK_BAD_HANDLE;
        return body(*c);
    });
}

// An operation on the connection a handle names.
template <typename Body>
int32_t onConnection(std::int32_t handle, Body body) noexcept {
    return onFound([handle](Library& lib) { return find(lib, handle); }, body);
}

// An operation on the connection of a machine number (the calls that name no handle).
template <typename Body>
int32_t onMachine(std::int32_t machineNo, Body body) noexcept {
    return onFound([machineNo](Library& lib) { return findByMachine(lib, machineNo); }, body);
}

}  // namespace

extern "C" {

int32_t FK_ConnectComm(int32_t machineNo, int32_t comPort, int32_t baudRate, const char* /*dialText*/,
                       int32_t /*reserved*/) {
    return guarded(0, [&]() -> int32_t {
        std::lock_guard lock(library().mutex);
        return finishConnect(machineNo, openSerialLink(serialDevicePath(comPort), baudRate),
                             FK_DEFAULT_TIMEOUT_MS, 0, false);
    });
}

int32_t FK_ConnectNet(int32_t machineNo, const char* ipAddress, int32_t netPort, int32_t timeOutMs,
                      int32_t udpFlag, int32_t netPassword) {
    return guarded(0, [&]() -> int32_t {
        std::lock_guard lock(library().mutex);
        const int timeout = timeOutMs <= 0 ? FK_DEFAULT_TIMEOUT_MS : std::min(timeOutMs, kMaxTimeoutMs);
        const Deadline deadline = SteadyClock::now() + std::chrono::milliseconds(timeout);
        auto link =
            udpFlag == 1 ? openUdpLink(ipAddress, netPort) : openTcpLink(ipAddress, netPort, deadline);
        return finishConnect(machineNo, std::move(link), timeout, netPassword);
    });
}

int32_t FK_ConnectUSB(int32_t machineNo) {
    return guarded(0, [&]() -> int32_t {
        std::lock_guard lock(library().mutex);
        return finishConnect(machineNo, openUnixLink(usbSocketPath(machineNo)), FK_DEFAULT_TIMEOUT_MS, 0);
    });
}

int32_t FK_DisConnect(int32_t handle) {
    return guarded(FK_INTERNAL_ERROR, [&]() -> int32_t {
        Library& lib = library();
        std::lock_guard lock(lib.mutex);
        const auto it = lib.connections.find(handle);
        if (it == lib.connections.end()) return FK_BAD_HANDLE;
        // Tells the terminal the session is over (a serial or UDP terminal cannot see it otherwise).
        it->second.connection->exchange(Op::Disconnect, {}, nullptr, nullptr, kDisconnectTimeoutMs);
        lib.connections.erase(it);
        if (const auto log = lib.logs.find(handle); log != lib.logs.end() && !log->second.fromFile)
            lib.logs.erase(log);
        return FK_OK;
    });
}

int32_t FK_EnableDevice(int32_t handle, int32_t enable) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        return c.exchange(Op::Enable, encodeI32(enable != 0 ? 1 : 0), nullptr);
    });
}

int32_t FK_GetDeviceStatus(int32_t handle, int32_t statusCode, int32_t* value) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        std::int32_t held = 0;
        if (const auto r = c.cache.status(c, statusCode, held)) {
            if (*r == FK_OK) put(value, held);
            return *r;
        }
        Bytes reply;
        const std::int32_t r = c.exchange(Op::GetStatus, encodeI32(statusCode), &reply);
        if (r != FK_OK) return r;
        const auto v = decodeI32(reply);
        if (!v) return FK_BAD_REPLY;
        put(value, *v);
        return FK_OK;
    });
}

int32_t FK_SetDeviceTime(int32_t handle, double dateTime) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        if (!daysInRange(dateTime)) return FK_BAD_ARG;
        return c.exchange(Op::SetTime, encodeF64(dateTime), nullptr);
    });
}

int32_t FK_GetDeviceTime(int32_t handle, double* dateTime) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        Bytes reply;
        const std::int32_t r = c.exchange(Op::GetTime, {}, &reply);
        if (r != FK_OK) return r;
        // A clock the caller could not even format is a damaged answer, not a time.
        const auto days = decodeF64(reply);
        if (!days || !daysInRange(*days)) return FK_BAD_REPLY;
        put(dateTime, *days);
        return FK_OK;
    });
}

int32_t FK_ReadAllUserID(int32_t machineNo) {
    return onMachine(machineNo, [&](Connection& c) -> int32_t {
        c.users = {};
        Bytes reply;
        const std::int32_t r = c.exchange(Op::UserListBegin, {}, &reply);
        if (r != FK_OK) return r;
        const auto total = decodeU32(reply);
        if (!total) return FK_BAD_REPLY;
        c.users.active = true;
        c.users.total = *total;
        return FK_OK;
    });
}

int32_t FK_GetAllUserID(int32_t handle, int32_t* enrollNumber, int32_t* backupNumber, int32_t* privilege,
                        int32_t* value) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        auto& users = c.users;
        if (!users.active) return FK_NO;
        if (users.index == users.page.size()) {
            if (users.fetched >= users.total) {
                users.active = false;
                return FK_NO;
            }
            const std::uint32_t want = std::min(users.total - users.fetched, kMaxUserPage);
            Bytes reply;
            const std::int32_t r =
                c.exchange(Op::UserListPage, encodePageRequest({users.fetched, want}), &reply);
            auto page = r == FK_OK ? decodeUserPage(reply) : std::nullopt;
            if (r != FK_OK || !page || page->size() > want || page->empty()) {
                users.active = false;
                return r != FK_OK ? r : (page && page->empty() ? FK_NO : FK_BAD_REPLY);
            }
            users.fetched += static_cast<std::uint32_t>(page->size());
            users.page = std::move(*page);
            users.index = 0;
        }
        const UserEntry& e = users.page[users.index++];
        put(enrollNumber, e.enroll);
        put(backupNumber, e.backup);
        put(privilege, e.privilege);
        put(value, 0);
        return FK_OK;
    });
}

int32_t FK_ModifyPrivilege(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t privilege) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        return c.exchange(Op::ModifyPrivilege, encodeModifyPrivilege({enrollNumber, backupNumber, privilege}),
                          nullptr);
    });
}

int32_t FK_ClearKeeperData(int32_t machineNo) {
    return onMachine(machineNo, [&](Connection& c) -> int32_t {
        c.users = {};
        return c.exchange(Op::ClearData, {}, nullptr);
    });
}

int32_t FK_LoadGeneralLogData(int32_t handle, int32_t newOnly) {
    return guarded(FK_INTERNAL_ERROR, [&]() -> int32_t {
        Library& lib = library();
        std::lock_guard lock(lib.mutex);
        lib.logs.erase(handle);
        Connection* c = find(lib, handle);
        if (c == nullptr) return FK_BAD_HANDLE;
        Bytes reply;
        const std::int32_t r = c->exchange(Op::LogBegin, encodeI32(newOnly != 0 ? 1 : 0), &reply);
        if (r != FK_OK) return r;
        const auto total = decodeU32(reply);
        if (!total) return FK_BAD_REPLY;
        LogSource source;
        source.newOnly = newOnly != 0;
        source.total = *total;
        lib.logs[handle] = std::move(source);
        return FK_OK;
    });
}

int32_t FK_USBLoadGeneralLogDataFromFile(int32_t handle, const char* path) {
    return guarded(FK_INTERNAL_ERROR, [&]() -> int32_t {
        Library& lib = library();
        std::lock_guard lock(lib.mutex);
        lib.logs.erase(handle);
        if (path == nullptr || *path == '\0') return FK_BAD_ARG;
        std::string content;
        if (!readRegularFile(path, content)) return FK_NO;
        auto file = parseUsbLogFile(content);
        if (!file) return FK_NO;
        LogSource source;
        source.fromFile = true;
        source.records = std::move(file->records);
        lib.logs[handle] = std::move(source);
        return FK_OK;
    });
}

int32_t FK_GetGeneralLogData(int32_t handle, int32_t* enrollNumber, int32_t* modeCode, int32_t* value,
                             double* dateTime) {
    return guarded(FK_INTERNAL_ERROR, [&]() -> int32_t {
        Library& lib = library();
        std::lock_guard lock(lib.mutex);
        const auto it = lib.logs.find(handle);
        if (it == lib.logs.end() || it->second.ended) return FK_NO;
        LogSource& source = it->second;
        LogEntry entry;
        std::int32_t r;
        if (source.fromFile) {
            if (source.index < source.records.size()) {
                entry = source.records[source.index++];
                r = FK_OK;
            } else {
                source.ended = true;
                source.records = {};
                r = FK_NO;
            }
        } else {
            Connection* c = find(lib, handle);
            if (c == nullptr) return FK_BAD_HANDLE;
            r = nextFromTerminal(*c, source, entry);
        }
        if (r != FK_OK) return r;
        put(enrollNumber, entry.enroll);
        put(modeCode, entry.mode);
        put(value, 0);
        put(dateTime, entry.time);
        return FK_OK;
    });
}

int32_t FK_GetEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t* privilege,
                         int32_t* templateBuffer, int32_t* password) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        const auto deliver = [&](const EnrollData& data) {
            put(privilege, data.privilege);
            put(password, data.password);
            if (templateBuffer != nullptr) {
                const std::size_t n = std::min<std::size_t>(data.templateValues.size(), FK_TEMPLATE_VALUES);
                std::copy_n(data.templateValues.begin(), n, templateBuffer);
            }
            return FK_OK;
        };
        const UserRecord* record = nullptr;
        if (const auto r = c.cache.userRecord(c, enrollNumber, record)) {
            if (*r != FK_OK) return *r;
            const EnrollData* data = record != nullptr ? findEnrollment(*record, backupNumber) : nullptr;
            return data != nullptr ? deliver(*data) : FK_NO;
        }
        Bytes reply;
        const std::int32_t r =
            c.exchange(Op::GetEnroll, encodeEnrollKey({enrollNumber, backupNumber}), &reply);
        if (r != FK_OK) return r;
        const auto data = decodeEnrollData(reply);
        if (!data) return FK_BAD_REPLY;
        return deliver(*data);
    });
}

int32_t FK_PutEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t privilege,
                         const int32_t* templateBuffer, int32_t password) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        PutEnrollRequest request{enrollNumber, backupNumber, {privilege, password, {}}};
        // Fingerprints carry a template; the card and the password carry their number.
        if (backupNumber >= FK_BACKUP_FIRST_FINGERPRINT && backupNumber <= FK_BACKUP_LAST_FINGERPRINT &&
            templateBuffer != nullptr)
            request.data.templateValues.assign(templateBuffer, templateBuffer + FK_TEMPLATE_VALUES);
        return c.exchange(Op::PutEnroll, encodePutEnroll(request), nullptr);
    });
}

int32_t FK_DeleteEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        return c.exchange(Op::DeleteEnroll, encodeEnrollKey({enrollNumber, backupNumber}), nullptr);
    });
}

int32_t FK_GetUserName(int32_t handle, int32_t enrollNumber, char* nameBuffer) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        if (nameBuffer == nullptr) return FK_BAD_ARG;
        std::optional<std::string> name;
        const UserRecord* record = nullptr;
        if (const auto held = c.cache.userRecord(c, enrollNumber, record)) {
            if (*held != FK_OK) return *held;
            if (record == nullptr) return FK_NO;
            name = record->name;
        } else {
            Bytes reply;
            const std::int32_t r = c.exchange(Op::GetName, encodeI32(enrollNumber), &reply);
            if (r != FK_OK) return r;
            name = decodeName(reply);
            if (!name) return FK_BAD_REPLY;
        }
        name->resize(std::strlen(name->c_str()));  // a zero byte would end the caller's text anyway
        if (!isValidUtf8(*name)) return FK_BAD_REPLY;
        if (name->empty()) return FK_NO;
        const std::size_t length = utf8PrefixLength(*name, FK_NAME_BYTES - 1);
        std::memcpy(nameBuffer, name->data(), length);
        nameBuffer[length] = '\0';
        return FK_OK;
    });
}

int32_t FK_SetUserName(int32_t handle, int32_t enrollNumber, const char* name) {
    return onConnection(handle, [&](Connection& c) -> int32_t {
        const std::string_view text =
            name == nullptr ? std::string_view() : std::string_view(name, ::strnlen(name, FK_NAME_BYTES));
        // What FK_GetUserName could not deliver whole is refused before it reaches the terminal.
        if (text.size() > FK_NAME_BYTES - 1 || !isValidUtf8(text)) return FK_BAD_ARG;
        return c.exchange(Op::SetName, encodeSetName({enrollNumber, std::string(text)}), nullptr);
    });
}

int32_t FK_SubscribeEvents(int32_t handle) {
    return onConnection(handle, [&](Connection& c) -> int32_t { return c.subscribe(); });
}

int32_t FK_WaitEvent(int32_t handle, int32_t timeOutMs, int32_t* enrollNumber, int32_t* modeCode,
                     double* dateTime, int32_t* logPosition) {
    return guarded(FK_INTERNAL_ERROR, [&]() -> int32_t {
        Library& lib = library();
        std::shared_ptr<Connection> c;
        {
            std::lock_guard lock(lib.mutex);
            const auto it = lib.connections.find(handle);
            if (it == lib.connections.end()) return FK_BAD_HANDLE;
            c = it->second.connection;
        }
        // Waiting for events is most of an event connection's life: the other handles stay usable
        // meanwhile, from other threads.
        EventRecord event;
        const std::int32_t r = c->waitEvent(std::min<int32_t>(timeOutMs, kMaxTimeoutMs), event);
        if (r != FK_OK) return r;
        put(enrollNumber, event.entry.enroll);
        put(modeCode, event.entry.mode);
        put(dateTime, event.entry.time);
        put(logPosition, static_cast<int32_t>(event.position));
        return FK_OK;
    });
}

int32_t FK_UnsubscribeEvents(int32_t handle) {
    return onConnection(handle, [&](Connection& c) -> int32_t { return c.unsubscribe(); });
}

}  // extern "C"
