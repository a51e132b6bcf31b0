#include "access/connection.h"

#include "access/terminal_library.h"
#include "core/ports.h"
#include "core/text.h"

namespace orvelo {

namespace {

// The library takes an empty text as a null pointer, never as a pointer to an empty string.
const char* textArgument(const QByteArray& text) {
    return text.isEmpty() ? nullptr : text.constData();
}

}  // namespace

bool ConnectDevice(const ConnectionPanelState& state, ConnectionSettings& settings,
                   TerminalLibrary& terminal) {
    // Each field is stored as soon as it converts, so a later conversion error leaves the earlier
    // fields refreshed; no library call happens before the last conversion.
    settings.MachineNo = strToInt(state.machineNo);

    std::int32_t handle;
    if (state.rs232Checked) {
        // Only the positions count: "COM10" and "com3" alike give the characters from the fourth on.
        settings.ComPort = strToInt(state.comPort.mid(3, 3));
        settings.BaudRate = strToInt(state.baudRate);
        handle = terminal.FK_ConnectComm(settings.MachineNo, settings.ComPort, settings.BaudRate, nullptr, 0);
    } else if (state.tcpIpChecked) {
        settings.IpAddress = state.ipAddress.toUtf8();
        settings.NetPort = strToInt(state.netPort);
        settings.NetPassword = strToInt(state.netPassword);
        settings.TimeOut = strToInt(state.timeOut);
        settings.UdpFlag = state.udpTicked ? 1 : 0;
        handle =
            terminal.FK_ConnectNet(settings.MachineNo, textArgument(settings.IpAddress), settings.NetPort,
                                   settings.TimeOut, settings.UdpFlag, settings.NetPassword);
    } else {
        handle = terminal.FK_ConnectUSB(settings.MachineNo);
    }

    settings.DeviceHandle = handle;
    return settings.DeviceHandle > 0;
}

}  // namespace orvelo
