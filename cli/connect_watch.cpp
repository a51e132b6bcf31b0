#include "cli/connect_watch.h"

namespace orvelo::cli {

std::int32_t ConnectWatch::watched(std::int32_t handle) {
    if (handle <= 0) m_connectFailed = true;
    return handle;
}

std::int32_t ConnectWatch::FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                          const char* dialText, std::int32_t reserved) {
    return watched(
        ForwardingTerminalLibrary::FK_ConnectComm(machineNo, comPort, baudRate, dialText, reserved));
}

std::int32_t ConnectWatch::FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                                         std::int32_t timeOutMs, std::int32_t udpFlag,
                                         std::int32_t netPassword) {
    return watched(ForwardingTerminalLibrary::FK_ConnectNet(machineNo, ipAddress, netPort, timeOutMs, udpFlag,
                                                            netPassword));
}

std::int32_t ConnectWatch::FK_ConnectUSB(std::int32_t machineNo) {
    return watched(ForwardingTerminalLibrary::FK_ConnectUSB(machineNo));
}

}  // namespace orvelo::cli
