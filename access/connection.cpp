#include "access/connection.h"

#include "access/terminal_library.h"
#include "core/ports.h"
#include "core/terminal_address.h"

namespace orvelo {

namespace {

// The library takes an empty text as a null pointer, never as a pointer to an empty string.
const char* textArgument(const QByteArray& text) {
    return text.isEmpty() ? nullptr : text.constData();
}

// The connection setting that `field` of the address fills.
void store(const TerminalAddress& address, TerminalAddress::Field field, ConnectionSettings& settings) {
    using Field = TerminalAddress::Field;
    switch (field) {
        case Field::MachineNo:
            settings.MachineNo = address.machineNo;
            break;
        case Field::ComPort:
            settings.ComPort = address.comPort;
            break;
        case Field::BaudRate:
            settings.BaudRate = address.baudRate;
            break;
        case Field::Host:
            settings.IpAddress = address.host.toUtf8();
            break;
        case Field::Port:
            settings.NetPort = address.port;
            break;
        case Field::Password:
            settings.NetPassword = address.password;
            break;
        case Field::TimeOut:
            settings.TimeOut = address.timeOut;
            break;
        case Field::Udp:
            settings.UdpFlag = address.link == TerminalAddress::Link::Udp ? 1 : 0;
            break;
    }
}

}  // namespace

bool ConnectDevice(const ConnectionPanelState& state, ConnectionSettings& settings,
                   TerminalLibrary& terminal) {
    const TerminalAddress address = parseTerminalAddress(state);
    // Each field is stored as soon as it converts, so a later conversion error leaves the earlier
    // fields refreshed; no library call happens before the last conversion.
    for (const TerminalAddress::Field field : address.fieldsBeforeFailure()) store(address, field, settings);
    address.throwConversionError();

    std::int32_t handle;
    if (address.link == TerminalAddress::Link::Serial) {
        handle = terminal.FK_ConnectComm(settings.MachineNo, settings.ComPort, settings.BaudRate, nullptr, 0);
    } else if (address.isNetwork()) {
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
