#pragma once

#include "access/terminal_library.h"

namespace orvelo::cli {

// The terminal library as orveloctl's commands reach it: every operation goes on to the real
// library, and a connect call that fails (a handle of 0 or below) is remembered, since the exit
// status tells whether the command could reach its terminal.
class ConnectWatch final : public ForwardingTerminalLibrary {
public:
    explicit ConnectWatch(TerminalLibrary& target) : ForwardingTerminalLibrary(target) {}

    bool connectFailed() const { return m_connectFailed; }

    std::int32_t FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                const char* dialText, std::int32_t reserved) override;
    std::int32_t FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                               std::int32_t timeOutMs, std::int32_t udpFlag,
                               std::int32_t netPassword) override;
    std::int32_t FK_ConnectUSB(std::int32_t machineNo) override;

private:
    std::int32_t watched(std::int32_t handle);

    bool m_connectFailed = false;
};

}  // namespace orvelo::cli
