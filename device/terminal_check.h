#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "core/datetime.h"

namespace orvelo {

struct ConnectionPanelState;
class TerminalLibrary;

// What one look at a terminal found: whether it answered, how far its clock is off and what it
// holds. A value that could not be read is empty, never a guess.
struct TerminalHealth {
    DateTimeValue checkedAt = 0;  // the PC's clock when the check began
    bool reachable = false;       // the connect call opened a connection
    // Why the terminal could not even be tried: the text of the ConversionError its settings give
    // (a machine number or port that is no number). Empty for a terminal that was tried.
    QString settingsError;
    // The terminal's clock minus the PC's, in whole seconds (positive: the terminal is fast).
    // Empty when the library has no FK_GetDeviceTime or the terminal did not answer it.
    std::optional<std::int64_t> clockOffsetSeconds;
    std::optional<std::int32_t> users;       // FK_STATUS_USERS
    std::optional<std::int32_t> records;     // FK_STATUS_ALL_LOGS
    std::optional<std::int32_t> newRecords;  // FK_STATUS_NEW_LOGS

    friend bool operator==(const TerminalHealth&, const TerminalHealth&) = default;
};

// The health check of one terminal (the window's 检查, orveloctl terminals --check): connects
// with the panel's texts as a command connects, reads the counters and the clock, disconnects.
// It only reads: the terminal is never disabled, so its users punch on meanwhile. It reports to no
// view and does not take the application folder's lock (the caller decides); an unreachable
// terminal, settings that do not convert, a refused read or a library without the clock read are
// all in the result, never thrown. What can still throw is a library that cannot be loaded at
// all (LibraryError), which no terminal of the list could get past.
TerminalHealth checkTerminal(const ConnectionPanelState& panel, TerminalLibrary& terminal,
                             const Clock& clock);

}  // namespace orvelo
