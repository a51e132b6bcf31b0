#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "terminal/fkattend.h"

namespace orvelo {

// The operations of the terminal library that the client relies on, one line each:
// X(name, result type, parameter list, argument list), arguments in the library's order.
// Every C++ view of the library (the interface, the forwarding base, the loader's function
// pointers) is generated from ORVELO_TERMINAL_OPERATIONS, and the loader checks each line against
// the C header, so adding an operation is one line here and one in terminal/fkattend.h.
//
// The nineteen core operations every terminal library has; the loader refuses a library that
// lacks one.
// clang-format off
#define ORVELO_TERMINAL_CORE_OPERATIONS(X)                                                                     \
    X(FK_ConnectComm, std::int32_t,                                                                            \
      (std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate, const char* dialText,             \
       std::int32_t reserved),                                                                                 \
      (machineNo, comPort, baudRate, dialText, reserved))                                                      \
    X(FK_ConnectNet, std::int32_t,                                                                             \
      (std::int32_t machineNo, const char* ipAddress, std::int32_t netPort, std::int32_t timeOutMs,           \
       std::int32_t udpFlag, std::int32_t netPassword),                                                        \
      (machineNo, ipAddress, netPort, timeOutMs, udpFlag, netPassword))                                        \
    X(FK_ConnectUSB, std::int32_t, (std::int32_t machineNo), (machineNo))                                      \
    X(FK_DisConnect, std::int32_t, (std::int32_t handle), (handle))                                            \
    X(FK_EnableDevice, std::int32_t, (std::int32_t handle, std::int32_t enable), (handle, enable))            \
    X(FK_GetDeviceStatus, std::int32_t, (std::int32_t handle, std::int32_t statusCode, std::int32_t* value),  \
      (handle, statusCode, value))                                                                             \
    X(FK_SetDeviceTime, std::int32_t, (std::int32_t handle, double dateTime), (handle, dateTime))             \
    X(FK_ReadAllUserID, std::int32_t, (std::int32_t machineNo), (machineNo))                                   \
    X(FK_GetAllUserID, std::int32_t,                                                                           \
      (std::int32_t handle, std::int32_t* enrollNumber, std::int32_t* backupNumber, std::int32_t* privilege,  \
       std::int32_t* value),                                                                                   \
      (handle, enrollNumber, backupNumber, privilege, value))                                                  \
    X(FK_ModifyPrivilege, std::int32_t,                                                                        \
      (std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber, std::int32_t privilege),    \
      (handle, enrollNumber, backupNumber, privilege))                                                         \
    X(FK_ClearKeeperData, std::int32_t, (std::int32_t machineNo), (machineNo))                                 \
    X(FK_LoadGeneralLogData, std::int32_t, (std::int32_t handle, std::int32_t newOnly), (handle, newOnly))    \
    X(FK_USBLoadGeneralLogDataFromFile, std::int32_t, (std::int32_t handle, const char* path), (handle, path)) \
    X(FK_GetGeneralLogData, std::int32_t,                                                                      \
      (std::int32_t handle, std::int32_t* enrollNumber, std::int32_t* modeCode, std::int32_t* value,          \
       double* dateTime),                                                                                      \
      (handle, enrollNumber, modeCode, value, dateTime))                                                       \
    X(FK_GetEnrollData, std::int32_t,                                                                          \
      (std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber, std::int32_t* privilege,    \
       std::int32_t* templateBuffer, std::int32_t* password),                                                  \
      (handle, enrollNumber, backupNumber, privilege, templateBuffer, password))                                \
    X(FK_PutEnrollData, std::int32_t,                                                                          \
      (std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber, std::int32_t privilege,     \
       const std::int32_t* templateBuffer, std::int32_t password),                                             \
      (handle, enrollNumber, backupNumber, privilege, templateBuffer, password))                               \
    X(FK_DeleteEnrollData, std::int32_t,                                                                       \
      (std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber),                             \
      (handle, enrollNumber, backupNumber))                                                                    \
    X(FK_GetUserName, std::int32_t, (std::int32_t handle, std::int32_t enrollNumber, char* nameBuffer),       \
      (handle, enrollNumber, nameBuffer))                                                                      \
    X(FK_SetUserName, std::int32_t, (std::int32_t handle, std::int32_t enrollNumber, const char* name),       \
      (handle, enrollNumber, name))

// Our extension beside the nineteen: live events and reading the terminal's clock. A library
// without them still loads; calling one it lacks throws the LibraryError that names it.
#define ORVELO_TERMINAL_EXTENSION_OPERATIONS(X)                                                                \
    X(FK_SubscribeEvents, std::int32_t, (std::int32_t handle), (handle))                                       \
    X(FK_WaitEvent, std::int32_t,                                                                              \
      (std::int32_t handle, std::int32_t timeOutMs, std::int32_t* enrollNumber, std::int32_t* modeCode,        \
       double* dateTime, std::int32_t* logPosition),                                                           \
      (handle, timeOutMs, enrollNumber, modeCode, dateTime, logPosition))                                      \
    X(FK_UnsubscribeEvents, std::int32_t, (std::int32_t handle), (handle))                                     \
    X(FK_GetDeviceTime, std::int32_t, (std::int32_t handle, double* dateTime), (handle, dateTime))

#define ORVELO_TERMINAL_OPERATIONS(X) ORVELO_TERMINAL_CORE_OPERATIONS(X) ORVELO_TERMINAL_EXTENSION_OPERATIONS(X)
// clang-format on

// The terminal library as the client reaches it; the client reaches a terminal only through this
// interface. Connect calls return the handle (> 0 open, else failure); every other call returns
// FK_OK on success (the other result codes are in terminal/fkattend.h).
//
// Buffers belong to the caller: FK_GetEnrollData writes at most kTemplateValues values into
// `templateBuffer` and FK_PutEnrollData reads kTemplateValues from it; FK_GetUserName writes at
// most kNameBytes - 1 bytes and a terminating zero into `nameBuffer` (kNameBytes bytes); texts are
// zero-terminated UTF-8, an empty one nullptr. FK_WaitEvent writes one value into each of its four
// outputs when it returns FK_OK (see fkattend.h for the event operations' results).
class TerminalLibrary {
public:
    static constexpr int kTemplateValues = FK_TEMPLATE_VALUES;
    static constexpr int kNameBytes = FK_NAME_BYTES;

    virtual ~TerminalLibrary() = default;

#define ORVELO_DECLARE_OPERATION(name, result, parameters, arguments) virtual result name parameters = 0;
    ORVELO_TERMINAL_OPERATIONS(ORVELO_DECLARE_OPERATION)
#undef ORVELO_DECLARE_OPERATION
};

// Passes every operation on to an inner library unchanged, so that a wrapper or a fake overrides
// only the operations it changes. The inner library is the one given to the constructor, or, for
// a subclass that finds it later, whatever its inner() returns.
class ForwardingTerminalLibrary : public TerminalLibrary {
public:
    explicit ForwardingTerminalLibrary(TerminalLibrary& inner) : m_inner(&inner) {}

#define ORVELO_FORWARD_OPERATION(name, result, parameters, arguments) \
    result name parameters override {                                 \
        return inner().name arguments;                                \
    }
    ORVELO_TERMINAL_OPERATIONS(ORVELO_FORWARD_OPERATION)
#undef ORVELO_FORWARD_OPERATION

protected:
    ForwardingTerminalLibrary() = default;
    virtual TerminalLibrary& inner() {
        return *m_inner;
    }

private:
    TerminalLibrary* m_inner = nullptr;
};

// The production implementation: resolves the operations at run time from the shared library
// `libfkattend.so` in `folder` (the executable's folder). Throws LibraryError naming the file or
// the missing core operation; a missing extension operation throws when it is called.
std::unique_ptr<TerminalLibrary> loadTerminalLibrary(const QString& folder);

}  // namespace orvelo
