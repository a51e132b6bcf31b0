#pragma once

#include <QString>
#include <functional>

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
// The panel is a value: the window snapshots its widgets when a handler starts. Commands run on
// the UI thread and block input while they work, so the snapshot equals what a read at connect
// time would give, and a caller that takes its terminal from a list rather than from the panel
// simply fills in another state.
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

    void workEnded() const {
        if (onWorkEnded) onWorkEnded();
    }
};

}  // namespace orvelo
