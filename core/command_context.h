#pragma once

#include <QString>

namespace orvelo {

class OperatorView;
class ConnectionPanel;
class EmployeeSelection;
class Clock;
class TerminalLibrary;
class DataModule;
struct ConnectionSettings;

// Everything a command function reaches: the ports, the data module, the terminal library, the
// connection settings kept by the window (DeviceHandle and the rest), the clock and the
// application folder. The window, orveloctl and the tests build one and call the same commands.
struct CommandContext {
    OperatorView& view;
    const ConnectionPanel& panel;
    ConnectionSettings& settings;
    TerminalLibrary& terminal;
    DataModule& data;
    const Clock& clock;
    QString appDir;                            // the application folder, ending with "/"
    EmployeeSelection* selection = nullptr;    // the shown employee grid's selection
};

}  // namespace orvelo
