// A stand-in terminal library that lacks FK_SetUserName: the loader must name what is missing.
#include "fkattend.h"

#define ORVELO_STUB(name, ...)             \
    extern "C" int32_t name(__VA_ARGS__) { \
        return 0;                          \
    }

ORVELO_STUB(FK_ConnectComm, int32_t, int32_t, int32_t, const char*, int32_t)
ORVELO_STUB(FK_ConnectNet, int32_t, const char*, int32_t, int32_t, int32_t, int32_t)
ORVELO_STUB(FK_ConnectUSB, int32_t)
ORVELO_STUB(FK_DisConnect, int32_t)
ORVELO_STUB(FK_EnableDevice, int32_t, int32_t)
ORVELO_STUB(FK_GetDeviceStatus, int32_t, int32_t, int32_t*)
ORVELO_STUB(FK_SetDeviceTime, int32_t, double)
ORVELO_STUB(FK_ReadAllUserID, int32_t)
ORVELO_STUB(FK_GetAllUserID, int32_t, int32_t*, int32_t*, int32_t*, int32_t*)
ORVELO_STUB(FK_ModifyPrivilege, int32_t, int32_t, int32_t, int32_t)
ORVELO_STUB(FK_ClearKeeperData, int32_t)
ORVELO_STUB(FK_LoadGeneralLogData, int32_t, int32_t)
ORVELO_STUB(FK_USBLoadGeneralLogDataFromFile, int32_t, const char*)
ORVELO_STUB(FK_GetGeneralLogData, int32_t, int32_t*, int32_t*, int32_t*, double*)
ORVELO_STUB(FK_GetEnrollData, int32_t, int32_t, int32_t, int32_t*, int32_t*, int32_t*)
ORVELO_STUB(FK_PutEnrollData, int32_t, int32_t, int32_t, int32_t, const int32_t*, int32_t)
ORVELO_STUB(FK_DeleteEnrollData, int32_t, int32_t, int32_t)
ORVELO_STUB(FK_GetUserName, int32_t, int32_t, char*)
