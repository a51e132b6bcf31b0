#pragma once

#include "device/terminal_library.h"

namespace orvelo::cli {

// The terminal library as orveloctl's commands reach it: every operation goes on to the real
// library, and a connect call that fails (a handle of 0 or below) is remembered, since the exit
// status tells whether the command could reach its terminal.
class ConnectWatch final : public TerminalLibrary {
public:
    explicit ConnectWatch(TerminalLibrary& target) : m_target(target) {}

    bool connectFailed() const { return m_connectFailed; }

    std::int32_t FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                const char* dialText, std::int32_t reserved) override;
    std::int32_t FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                               std::int32_t timeOutMs, std::int32_t udpFlag,
                               std::int32_t netPassword) override;
    std::int32_t FK_ConnectUSB(std::int32_t machineNo) override;
    std::int32_t FK_DisConnect(std::int32_t handle) override;
    std::int32_t FK_EnableDevice(std::int32_t handle, std::int32_t enable) override;
    std::int32_t FK_GetDeviceStatus(std::int32_t handle, std::int32_t statusCode,
                                    std::int32_t* value) override;
    std::int32_t FK_SetDeviceTime(std::int32_t handle, double dateTime) override;
    std::int32_t FK_ReadAllUserID(std::int32_t machineNo) override;
    std::int32_t FK_GetAllUserID(std::int32_t handle, std::int32_t* enrollNumber, std::int32_t* backupNumber,
                                 std::int32_t* privilege, std::int32_t* value) override;
    std::int32_t FK_ModifyPrivilege(std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber,
                                    std::int32_t privilege) override;
    std::int32_t FK_ClearKeeperData(std::int32_t machineNo) override;
    std::int32_t FK_LoadGeneralLogData(std::int32_t handle, std::int32_t newOnly) override;
    std::int32_t FK_USBLoadGeneralLogDataFromFile(std::int32_t handle, const char* path) override;
    std::int32_t FK_GetGeneralLogData(std::int32_t handle, std::int32_t* enrollNumber, std::int32_t* modeCode,
                                      std::int32_t* value, double* dateTime) override;
    std::int32_t FK_GetEnrollData(std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber,
                                  std::int32_t* privilege, std::int32_t* templateBuffer,
                                  std::int32_t* password) override;
    std::int32_t FK_PutEnrollData(std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber,
                                  std::int32_t privilege, std::int32_t* templateBuffer,
                                  std::int32_t password) override;
    std::int32_t FK_DeleteEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                     std::int32_t backupNumber) override;
    std::int32_t FK_GetUserName(std::int32_t handle, std::int32_t enrollNumber, char* nameBuffer) override;
    std::int32_t FK_SetUserName(std::int32_t handle, std::int32_t enrollNumber, const char* name) override;

private:
    std::int32_t watched(std::int32_t handle);
    TerminalLibrary& target() { return m_target; }

    TerminalLibrary& m_target;
    bool m_connectFailed = false;
};

}  // namespace orvelo::cli
