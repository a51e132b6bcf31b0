/* The terminal library's C interface (libfkattend.so).
 *
 * Every operation returns int32_t. Connect calls return a handle > 0 on success and 0 on any
 * failure. Every other call returns FK_OK (1) on success and something else on failure:
 *   FK_NO           0  the terminal refused, holds no such thing, or a list/log is at its end
 *   FK_BAD_HANDLE  -1  no open connection has this handle (or machine number)
 *   FK_LINK_ERROR  -2  time-out, connection lost, nothing listening
 *   FK_BAD_REPLY   -3  a damaged or malformed reply
 *   FK_BAD_ARG     -4  an argument the library or the terminal cannot take
 *
 * Buffers: every pointer argument belongs to the caller and is only used during the call; the
 * library keeps none of them. Texts are zero-terminated UTF-8; a null text counts as empty.
 * Output pointers may be null: that output is then not written.
 */
#ifndef ORVELO_FKATTEND_H
#define ORVELO_FKATTEND_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FK_OK 1
#define FK_NO 0
#define FK_BAD_HANDLE (-1)
#define FK_LINK_ERROR (-2)
#define FK_BAD_REPLY (-3)
#define FK_BAD_ARG (-4)

/* Values FK_GetEnrollData writes into the caller's template buffer, at most. */
#define FK_TEMPLATE_VALUES 458
/* Size of the caller's area for FK_GetUserName: at most 39 bytes of name and a zero. */
#define FK_NAME_BYTES 40
/* Time-out of serial and USB links, and of FK_ConnectNet when given 0 or less. */
#define FK_DEFAULT_TIMEOUT_MS 3000

int32_t FK_ConnectComm(int32_t machineNo, int32_t comPort, int32_t baudRate, const char* dialText,
                       int32_t reserved);
int32_t FK_ConnectNet(int32_t machineNo, const char* ipAddress, int32_t netPort, int32_t timeOutMs,
                      int32_t udpFlag, int32_t netPassword);
int32_t FK_ConnectUSB(int32_t machineNo);
int32_t FK_DisConnect(int32_t handle);
int32_t FK_EnableDevice(int32_t handle, int32_t enable);
int32_t FK_GetDeviceStatus(int32_t handle, int32_t statusCode, int32_t* value);
int32_t FK_SetDeviceTime(int32_t handle, double dateTime);
int32_t FK_ReadAllUserID(int32_t machineNo);
int32_t FK_GetAllUserID(int32_t handle, int32_t* enrollNumber, int32_t* backupNumber, int32_t* privilege,
                        int32_t* value);
int32_t FK_ModifyPrivilege(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t privilege);
int32_t FK_ClearKeeperData(int32_t machineNo);
int32_t FK_LoadGeneralLogData(int32_t handle, int32_t newOnly);
int32_t FK_USBLoadGeneralLogDataFromFile(int32_t handle, const char* path);
int32_t FK_GetGeneralLogData(int32_t handle, int32_t* enrollNumber, int32_t* modeCode, int32_t* value,
                             double* dateTime);
int32_t FK_GetEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t* privilege,
                         int32_t* templateBuffer, int32_t* password);
int32_t FK_PutEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t privilege,
                         const int32_t* templateBuffer, int32_t password);
int32_t FK_DeleteEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber);
int32_t FK_GetUserName(int32_t handle, int32_t enrollNumber, char* nameBuffer);
int32_t FK_SetUserName(int32_t handle, int32_t enrollNumber, const char* name);

#ifdef __cplusplus
}
#endif

#endif
