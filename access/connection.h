#pragma once

#include <QByteArray>
#include <cstdint>

namespace orvelo {

struct ConnectionPanelState;
class TerminalLibrary;

// The connection settings, fields of the main window; all 0 or empty when it is created.
// A connect refreshes MachineNo and the chosen link's fields only; DeviceHandle keeps the last
// connect result after its connection is closed.
struct ConnectionSettings {
    std::int32_t DeviceHandle = 0;
    std::int32_t MachineNo = 0;
    std::int32_t ComPort = 0;
    std::int32_t BaudRate = 0;
    QByteArray IpAddress;  // UTF-8 bytes as typed; empty goes to the library as a null pointer
    std::int32_t NetPort = 0;
    std::int32_t NetPassword = 0;
    std::int32_t TimeOut = 0;
    std::int32_t UdpFlag = 0;
};

// Reads the panel's state into `settings`, calls the connect operation of the chosen link and keeps its
// result in DeviceHandle; true when the connection is open (DeviceHandle > 0). Every conversion
// happens before the connect call and throws ConversionError.
bool ConnectDevice(const ConnectionPanelState& panel, ConnectionSettings& settings,
                   TerminalLibrary& terminal);

}  // namespace orvelo
