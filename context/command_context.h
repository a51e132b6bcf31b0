#pragma once

#include <QString>
#include <functional>

#include "core/cancellation.h"
#include "core/ports.h"

namespace orvelo {

class Clock;
class TerminalLibrary;
class DataModule;
struct ConnectionSettings;

// Everything a command function reaches: the ports, the connection panel's state, the data
// module, the terminal library, the connection settings kept by the window (DeviceHandle and the
// rest), the clock and the application folder. The window, orveloctl and the tests build one and
// call the same commands.
//
// The panel is a value: the window snapshots its widgets when a handler starts, before the command
// goes to its worker thread, so the terminal is the one the operator had typed in at the click
// whatever the panel shows later; a caller that takes its terminal from a list rather than from
// the panel simply fills in another state. Every member is used by one thread at a time: the
// window runs one command at once, and the view it hands over passes each call to its own thread.
struct CommandContext {
    OperatorView& view;
    ConnectionPanelState panel;
    ConnectionSettings& settings;
    TerminalLibrary& terminal;
    DataModule& data;
    const Clock& clock;
    QString appDir;                          // the application folder, ending with "/"
    EmployeeSelection* selection = nullptr;  // the shown employee grid's selection
    QString program = {};  // who runs the command, "window" or "orveloctl": noted with each collection
    // Called by a command when its work on the terminal and the database is over, before its
    // closing box: the window lets go of the application folder's lock there, so that the
    // scheduled collection and orveloctl need not wait for the operator to close the box.
    std::function<void()> onWorkEnded = {};

    // Called by a command that added employees, once they are written, instead of re-opening the
    // active list itself: the window's lists live on its own connection and thread. Without it the
    // command re-opens the list of `data`.
    std::function<void()> onEmployeesChanged = {};
    // Set when the operator asks the running command to stop (the window's 取消, orveloctl's
    // SIGINT / SIGTERM); null when nobody can. A long command looks at it before each record or
    // user and ends as incomplete.
    const Cancellation* cancellation = nullptr;

    void workEnded() const {
        if (onWorkEnded) onWorkEnded();
    }
    bool cancelRequested() const;
};

inline bool CommandContext::cancelRequested() const {
    return cancellation != nullptr && cancellation->requested();
}

}  // namespace orvelo
