#include "device/terminal_check.h"

#include <cmath>

#include "access/connection.h"
#include "access/device_session.h"
#include "access/terminal_library.h"
#include "core/errors.h"
#include "core/ports.h"

namespace orvelo {

namespace {

constexpr double kSecondsPerDay = 86400.0;

std::optional<std::int32_t> readStatus(TerminalLibrary& terminal, std::int32_t handle, std::int32_t code) {
    std::int32_t value = 0;
    if (terminal.FK_GetDeviceStatus(handle, code, &value) != FK_OK) return std::nullopt;
    return value;
}

// The terminal's clock against the PC's at the middle of the call, so that the time the request
// travels counts half each way.
std::optional<std::int64_t> readClockOffset(TerminalLibrary& terminal, std::int32_t handle,
                                            const Clock& clock) {
    double terminalTime = 0;
    std::int32_t result = 0;
    const DateTimeValue before = clock.now();
    try {
        result = terminal.FK_GetDeviceTime(handle, &terminalTime);
    } catch (const LibraryError&) {
        // A library older than the clock read: the offset is unknown, the rest of the check stands.
        return std::nullopt;
    }
    const DateTimeValue after = clock.now();
    if (result != FK_OK) return std::nullopt;
    const double pcTime = before + (after - before) / 2.0;
    return static_cast<std::int64_t>(std::llround((terminalTime - pcTime) * kSecondsPerDay));
}

}  // namespace

TerminalHealth checkTerminal(const ConnectionPanelState& panel, TerminalLibrary& terminal,
                             const Clock& clock) {
    TerminalHealth health;
    health.checkedAt = clock.now();
    ConnectionSettings settings;
    try {
        if (!ConnectDevice(panel, settings, terminal)) return health;
    } catch (const ConversionError& error) {
        health.settingsError = error.text();
        return health;
    }
    health.reachable = true;
    // Untouched: a check must never keep the terminal's users waiting.
    DeviceSession session(terminal, settings.DeviceHandle, DeviceSession::Start::Untouched);
    const std::int32_t handle = settings.DeviceHandle;
    health.users = readStatus(terminal, handle, FK_STATUS_USERS);
    health.records = readStatus(terminal, handle, FK_STATUS_ALL_LOGS);
    health.newRecords = readStatus(terminal, handle, FK_STATUS_NEW_LOGS);
    health.clockOffsetSeconds = readClockOffset(terminal, handle, clock);
    session.close();
    return health;
}

}  // namespace orvelo
