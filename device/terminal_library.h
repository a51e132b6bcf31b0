#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace orvelo {

// The operations of the terminal library that the client relies on, arguments in the
// library's order. Connect calls return the handle (> 0 open, else failure); every other call
// returns 1 on success. The client reaches a terminal only through this interface.
//
// Buffers belong to the caller: FK_GetEnrollData writes at most kTemplateValues values into
// `templateBuffer`; FK_GetUserName writes at most kNameBytes - 1 bytes and a terminating zero
// into `nameBuffer` (kNameBytes bytes); texts are zero-terminated UTF-8, an empty one nullptr.
class TerminalLibrary {
public:
    static constexpr int kTemplateValues = 458;
    static constexpr int kNameBytes = 40;

    virtual ~TerminalLibrary() = default;

    virtual std::int32_t FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                        const char* dialText, std::int32_t reserved) = 0;
    virtual std::int32_t FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                                       std::int32_t timeOutMs, std::int32_t udpFlag,
                                       std::int32_t netPassword) = 0;
    virtual std::int32_t FK_ConnectUSB(std::int32_t machineNo) = 0;
    virtual std::int32_t FK_DisConnect(std::int32_t handle) = 0;
    virtual std::int32_t FK_EnableDevice(std::int32_t handle, std::int32_t enable) = 0;
    virtual std::int32_t FK_GetDeviceStatus(std::int32_t handle, std::int32_t statusCode, std::int32_t* value) = 0;
    virtual std::int32_t FK_SetDeviceTime(std::int32_t handle, double dateTime) = 0;
    virtual std::int32_t FK_ReadAllUserID(std::int32_t machineNo) = 0;
    virtual std::int32_t FK_GetAllUserID(std::int32_t handle, std::int32_t* enrollNumber,
                                         std::int32_t* backupNumber, std::int32_t* privilege,
                                         std::int32_t* value) = 0;
    virtual std::int32_t FK_ModifyPrivilege(std::int32_t handle, std::int32_t enrollNumber,
                                            std::int32_t backupNumber, std::int32_t privilege) = 0;
    virtual std::int32_t FK_ClearKeeperData(std::int32_t machineNo) = 0;
    virtual std::int32_t FK_LoadGeneralLogData(std::int32_t handle, std::int32_t newOnly) = 0;
    virtual std::int32_t FK_USBLoadGeneralLogDataFromFile(std::int32_t handle, const char* path) = 0;
    virtual std::int32_t FK_GetGeneralLogData(std::int32_t handle, std::int32_t* enrollNumber,
                                              std::int32_t* modeCode, std::int32_t* value,
                                              double* dateTime) = 0;
    virtual std::int32_t FK_GetEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                          std::int32_t backupNumber, std::int32_t* privilege,
                                          std::int32_t* templateBuffer, std::int32_t* password) = 0;
    virtual std::int32_t FK_PutEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                          std::int32_t backupNumber, std::int32_t privilege,
                                          std::int32_t* templateBuffer, std::int32_t password) = 0;
    virtual std::int32_t FK_DeleteEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                             std::int32_t backupNumber) = 0;
    virtual std::int32_t FK_GetUserName(std::int32_t handle, std::int32_t enrollNumber, char* nameBuffer) = 0;
    virtual std::int32_t FK_SetUserName(std::int32_t handle, std::int32_t enrollNumber, const char* name) = 0;
};

// The production implementation: resolves the operations at run time from the shared library
// `libfkattend.so` in `folder` (the executable's folder). Throws LibraryError naming the file or
// the missing operation.
std::unique_ptr<TerminalLibrary> loadTerminalLibrary(const QString& folder);

}  // namespace orvelo
