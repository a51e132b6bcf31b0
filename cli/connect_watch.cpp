#include "cli/connect_watch.h"

namespace orvelo::cli {

std::int32_t ConnectWatch::watched(std::int32_t handle) {
    if (handle <= 0) m_connectFailed = true;
    return handle;
}

std::int32_t ConnectWatch::FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                          const char* dialText, std::int32_t reserved) {
    return watched(target().FK_ConnectComm(machineNo, comPort, baudRate, dialText, reserved));
}

std::int32_t ConnectWatch::FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                                         std::int32_t timeOutMs, std::int32_t udpFlag,
                                         std::int32_t netPassword) {
    return watched(target().FK_ConnectNet(machineNo, ipAddress, netPort, timeOutMs, udpFlag, netPassword));
}

std::int32_t ConnectWatch::FK_ConnectUSB(std::int32_t machineNo) {
    return watched(target().FK_ConnectUSB(machineNo));
}

std::int32_t ConnectWatch::FK_DisConnect(std::int32_t handle) {
    return target().FK_DisConnect(handle);
}

std::int32_t ConnectWatch::FK_EnableDevice(std::int32_t handle, std::int32_t enable) {
    return target().FK_EnableDevice(handle, enable);
}

std::int32_t ConnectWatch::FK_GetDeviceStatus(std::int32_t handle, std::int32_t statusCode,
                                              std::int32_t* value) {
    return target().FK_GetDeviceStatus(handle, statusCode, value);
}

std::int32_t ConnectWatch::FK_SetDeviceTime(std::int32_t handle, double dateTime) {
    return target().FK_SetDeviceTime(handle, dateTime);
}

std::int32_t ConnectWatch::FK_ReadAllUserID(std::int32_t machineNo) {
    return target().FK_ReadAllUserID(machineNo);
}

std::int32_t ConnectWatch::FK_GetAllUserID(std::int32_t handle, std::int32_t* enrollNumber,
                                           std::int32_t* backupNumber, std::int32_t* privilege,
                                           std::int32_t* value) {
    return target().FK_GetAllUserID(handle, enrollNumber, backupNumber, privilege, value);
}

std::int32_t ConnectWatch::FK_ModifyPrivilege(std::int32_t handle, std::int32_t enrollNumber,
                                              std::int32_t backupNumber, std::int32_t privilege) {
    return target().FK_ModifyPrivilege(handle, enrollNumber, backupNumber, privilege);
}

std::int32_t ConnectWatch::FK_ClearKeeperData(std::int32_t machineNo) {
    return target().FK_ClearKeeperData(machineNo);
}

std::int32_t ConnectWatch::FK_LoadGeneralLogData(std::int32_t handle, std::int32_t newOnly) {
    return target().FK_LoadGeneralLogData(handle, newOnly);
}

std::int32_t ConnectWatch::FK_USBLoadGeneralLogDataFromFile(std::int32_t handle, const char* path) {
    return target().FK_USBLoadGeneralLogDataFromFile(handle, path);
}

std::int32_t ConnectWatch::FK_GetGeneralLogData(std::int32_t handle, std::int32_t* enrollNumber,
                                                std::int32_t* modeCode, std::int32_t* value,
                                                double* dateTime) {
    return target().FK_GetGeneralLogData(handle, enrollNumber, modeCode, value, dateTime);
}

std::int32_t ConnectWatch::FK_GetEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                            std::int32_t backupNumber, std::int32_t* privilege,
                                            std::int32_t* templateBuffer, std::int32_t* password) {
    return target().FK_GetEnrollData(handle, enrollNumber, backupNumber, privilege, templateBuffer, password);
}

std::int32_t ConnectWatch::FK_PutEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                            std::int32_t backupNumber, std::int32_t privilege,
                                            std::int32_t* templateBuffer, std::int32_t password) {
    return target().FK_PutEnrollData(handle, enrollNumber, backupNumber, privilege, templateBuffer, password);
}

std::int32_t ConnectWatch::FK_DeleteEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                               std::int32_t backupNumber) {
    return target().FK_DeleteEnrollData(handle, enrollNumber, backupNumber);
}

std::int32_t ConnectWatch::FK_GetUserName(std::int32_t handle, std::int32_t enrollNumber, char* nameBuffer) {
    return target().FK_GetUserName(handle, enrollNumber, nameBuffer);
}

std::int32_t ConnectWatch::FK_SetUserName(std::int32_t handle, std::int32_t enrollNumber, const char* name) {
    return target().FK_SetUserName(handle, enrollNumber, name);
}

}  // namespace orvelo::cli
