#include "device/loaded_terminal_library.h"

#include "core/errors.h"
#include "fkattend.h"

#include <QDir>
#include <QFile>
#include <dlfcn.h>

namespace orvelo {

namespace {

// One pointer per operation, typed from the library's own header so that a change of a signature
// there cannot go unnoticed here.
struct Operations {
#define ORVELO_FK_OPERATIONS(X)                                                                     \
    X(FK_ConnectComm) X(FK_ConnectNet) X(FK_ConnectUSB) X(FK_DisConnect) X(FK_EnableDevice)         \
    X(FK_GetDeviceStatus) X(FK_SetDeviceTime) X(FK_ReadAllUserID) X(FK_GetAllUserID)                \
    X(FK_ModifyPrivilege) X(FK_ClearKeeperData) X(FK_LoadGeneralLogData)                            \
    X(FK_USBLoadGeneralLogDataFromFile) X(FK_GetGeneralLogData) X(FK_GetEnrollData) X(FK_PutEnrollData) \
    X(FK_DeleteEnrollData) X(FK_GetUserName) X(FK_SetUserName)
#define ORVELO_DECLARE(name) decltype(&::name) name = nullptr;
    ORVELO_FK_OPERATIONS(ORVELO_DECLARE)
#undef ORVELO_DECLARE
};

class LoadedTerminalLibrary final : public TerminalLibrary {
public:
    LoadedTerminalLibrary(void* handle, const Operations& ops) : m_handle(handle), m_ops(ops) {}
    ~LoadedTerminalLibrary() override { ::dlclose(m_handle); }

    std::int32_t FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                const char* dialText, std::int32_t reserved) override
    {
        return m_ops.FK_ConnectComm(machineNo, comPort, baudRate, dialText, reserved);
    }
    std::int32_t FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                               std::int32_t timeOutMs, std::int32_t udpFlag, std::int32_t netPassword) override
    {
        return m_ops.FK_ConnectNet(machineNo, ipAddress, netPort, timeOutMs, udpFlag, netPassword);
    }
    std::int32_t FK_ConnectUSB(std::int32_t machineNo) override { return m_ops.FK_ConnectUSB(machineNo); }
    std::int32_t FK_DisConnect(std::int32_t handle) override { return m_ops.FK_DisConnect(handle); }
    std::int32_t FK_EnableDevice(std::int32_t handle, std::int32_t enable) override
    {
        return m_ops.FK_EnableDevice(handle, enable);
    }
    std::int32_t FK_GetDeviceStatus(std::int32_t handle, std::int32_t statusCode, std::int32_t* value) override
    {
        return m_ops.FK_GetDeviceStatus(handle, statusCode, value);
    }
    std::int32_t FK_SetDeviceTime(std::int32_t handle, double dateTime) override
    {
        return m_ops.FK_SetDeviceTime(handle, dateTime);
    }
    std::int32_t FK_ReadAllUserID(std::int32_t machineNo) override { return m_ops.FK_ReadAllUserID(machineNo); }
    std::int32_t FK_GetAllUserID(std::int32_t handle, std::int32_t* enrollNumber, std::int32_t* backupNumber,
                                 std::int32_t* privilege, std::int32_t* value) override
    {
        return m_ops.FK_GetAllUserID(handle, enrollNumber, backupNumber, privilege, value);
    }
    std::int32_t FK_ModifyPrivilege(std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber,
                                    std::int32_t privilege) override
    {
        return m_ops.FK_ModifyPrivilege(handle, enrollNumber, backupNumber, privilege);
    }
    std::int32_t FK_ClearKeeperData(std::int32_t machineNo) override { return m_ops.FK_ClearKeeperData(machineNo); }
    std::int32_t FK_LoadGeneralLogData(std::int32_t handle, std::int32_t newOnly) override
    {
        return m_ops.FK_LoadGeneralLogData(handle, newOnly);
    }
    std::int32_t FK_USBLoadGeneralLogDataFromFile(std::int32_t handle, const char* path) override
    {
        return m_ops.FK_USBLoadGeneralLogDataFromFile(handle, path);
    }
    std::int32_t FK_GetGeneralLogData(std::int32_t handle, std::int32_t* enrollNumber, std::int32_t* modeCode,
                                      std::int32_t* value, double* dateTime) override
    {
        return m_ops.FK_GetGeneralLogData(handle, enrollNumber, modeCode, value, dateTime);
    }
    std::int32_t FK_GetEnrollData(std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber,
                                  std::int32_t* privilege, std::int32_t* templateBuffer,
                                  std::int32_t* password) override
    {
        return m_ops.FK_GetEnrollData(handle, enrollNumber, backupNumber, privilege, templateBuffer, password);
    }
    std::int32_t FK_PutEnrollData(std::int32_t handle, std::int32_t enrollNumber, std::int32_t backupNumber,
                                  std::int32_t privilege, std::int32_t* templateBuffer,
                                  std::int32_t password) override
    {
        return m_ops.FK_PutEnrollData(handle, enrollNumber, backupNumber, privilege, templateBuffer, password);
    }
    std::int32_t FK_DeleteEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                     std::int32_t backupNumber) override
    {
        return m_ops.FK_DeleteEnrollData(handle, enrollNumber, backupNumber);
    }
    std::int32_t FK_GetUserName(std::int32_t handle, std::int32_t enrollNumber, char* nameBuffer) override
    {
        return m_ops.FK_GetUserName(handle, enrollNumber, nameBuffer);
    }
    std::int32_t FK_SetUserName(std::int32_t handle, std::int32_t enrollNumber, const char* name) override
    {
        return m_ops.FK_SetUserName(handle, enrollNumber, name);
    }

private:
    void* m_handle;
    Operations m_ops;
};

}  // namespace

std::unique_ptr<TerminalLibrary> loadTerminalLibrary(const QString& folder)
{
    const QString path = QDir(folder).filePath(QString::fromLatin1(kTerminalLibraryFile));
    const QByteArray encodedPath = QFile::encodeName(path);
    // RTLD_LOCAL: the library's own symbols stay out of the client's namespace.
    void* handle = ::dlopen(encodedPath.constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        throw LibraryError(QStringLiteral("The terminal library %1 cannot be loaded: %2")
                               .arg(path, QString::fromLocal8Bit(reason != nullptr ? reason : "unknown error")));
    }
    Operations ops;
#define ORVELO_RESOLVE(name)                                                                               \
    ops.name = reinterpret_cast<decltype(ops.name)>(::dlsym(handle, #name));                               \
    if (ops.name == nullptr) {                                                                             \
        ::dlclose(handle);                                                                                 \
        throw LibraryError(                                                                                \
            QStringLiteral("The terminal library %1 has no operation %2").arg(path, QStringLiteral(#name))); \
    }
    ORVELO_FK_OPERATIONS(ORVELO_RESOLVE)
#undef ORVELO_RESOLVE
    return std::make_unique<LoadedTerminalLibrary>(handle, ops);
}

LazyTerminalLibrary::LazyTerminalLibrary(QString folder) : m_folder(std::move(folder)) {}

LazyTerminalLibrary::~LazyTerminalLibrary() = default;

TerminalLibrary& LazyTerminalLibrary::loaded()
{
    if (!m_library) m_library = loadTerminalLibrary(m_folder);
    return *m_library;
}

std::int32_t LazyTerminalLibrary::FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort, std::int32_t baudRate,
                                                 const char* dialText, std::int32_t reserved)
{
    return loaded().FK_ConnectComm(machineNo, comPort, baudRate, dialText, reserved);
}
std::int32_t LazyTerminalLibrary::FK_ConnectNet(std::int32_t machineNo, const char* ipAddress, std::int32_t netPort,
                                                std::int32_t timeOutMs, std::int32_t udpFlag,
                                                std::int32_t netPassword)
{
    return loaded().FK_ConnectNet(machineNo, ipAddress, netPort, timeOutMs, udpFlag, netPassword);
}
std::int32_t LazyTerminalLibrary::FK_ConnectUSB(std::int32_t machineNo) { return loaded().FK_ConnectUSB(machineNo); }
std::int32_t LazyTerminalLibrary::FK_DisConnect(std::int32_t handle) { return loaded().FK_DisConnect(handle); }
std::int32_t LazyTerminalLibrary::FK_EnableDevice(std::int32_t handle, std::int32_t enable)
{
    return loaded().FK_EnableDevice(handle, enable);
}
std::int32_t LazyTerminalLibrary::FK_GetDeviceStatus(std::int32_t handle, std::int32_t statusCode,
                                                     std::int32_t* value)
{
    return loaded().FK_GetDeviceStatus(handle, statusCode, value);
}
std::int32_t LazyTerminalLibrary::FK_SetDeviceTime(std::int32_t handle, double dateTime)
{
    return loaded().FK_SetDeviceTime(handle, dateTime);
}
std::int32_t LazyTerminalLibrary::FK_ReadAllUserID(std::int32_t machineNo)
{
    return loaded().FK_ReadAllUserID(machineNo);
}
std::int32_t LazyTerminalLibrary::FK_GetAllUserID(std::int32_t handle, std::int32_t* enrollNumber,
                                                  std::int32_t* backupNumber, std::int32_t* privilege,
                                                  std::int32_t* value)
{
    return loaded().FK_GetAllUserID(handle, enrollNumber, backupNumber, privilege, value);
}
std::int32_t LazyTerminalLibrary::FK_ModifyPrivilege(std::int32_t handle, std::int32_t enrollNumber,
                                                     std::int32_t backupNumber, std::int32_t privilege)
{
    return loaded().FK_ModifyPrivilege(handle, enrollNumber, backupNumber, privilege);
}
std::int32_t LazyTerminalLibrary::FK_ClearKeeperData(std::int32_t machineNo)
{
    return loaded().FK_ClearKeeperData(machineNo);
}
std::int32_t LazyTerminalLibrary::FK_LoadGeneralLogData(std::int32_t handle, std::int32_t newOnly)
{
    return loaded().FK_LoadGeneralLogData(handle, newOnly);
}
std::int32_t LazyTerminalLibrary::FK_USBLoadGeneralLogDataFromFile(std::int32_t handle, const char* path)
{
    return loaded().FK_USBLoadGeneralLogDataFromFile(handle, path);
}
std::int32_t LazyTerminalLibrary::FK_GetGeneralLogData(std::int32_t handle, std::int32_t* enrollNumber,
                                                       std::int32_t* modeCode, std::int32_t* value, double* dateTime)
{
    return loaded().FK_GetGeneralLogData(handle, enrollNumber, modeCode, value, dateTime);
}
std::int32_t LazyTerminalLibrary::FK_GetEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                                   std::int32_t backupNumber, std::int32_t* privilege,
                                                   std::int32_t* templateBuffer, std::int32_t* password)
{
    return loaded().FK_GetEnrollData(handle, enrollNumber, backupNumber, privilege, templateBuffer, password);
}
std::int32_t LazyTerminalLibrary::FK_PutEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                                   std::int32_t backupNumber, std::int32_t privilege,
                                                   std::int32_t* templateBuffer, std::int32_t password)
{
    return loaded().FK_PutEnrollData(handle, enrollNumber, backupNumber, privilege, templateBuffer, password);
}
std::int32_t LazyTerminalLibrary::FK_DeleteEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                                      std::int32_t backupNumber)
{
    return loaded().FK_DeleteEnrollData(handle, enrollNumber, backupNumber);
}
std::int32_t LazyTerminalLibrary::FK_GetUserName(std::int32_t handle, std::int32_t enrollNumber, char* nameBuffer)
{
    return loaded().FK_GetUserName(handle, enrollNumber, nameBuffer);
}
std::int32_t LazyTerminalLibrary::FK_SetUserName(std::int32_t handle, std::int32_t enrollNumber, const char* name)
{
    return loaded().FK_SetUserName(handle, enrollNumber, name);
}

}  // namespace orvelo
