#include "tests/support/scripted_terminal_library.h"

#include "core/datetime.h"

#include <algorithm>
#include <cstring>

namespace orvelo::test {

namespace {

QString num(std::int64_t v)
{
    return QString::number(v);
}

QString text(const char* t)
{
    return t ? u'"' + QString::fromUtf8(t) + u'"' : QStringLiteral("null");
}

}  // namespace

void ScriptedTerminalLibrary::record(const QString& operation, const QStringList& arguments)
{
    m_log.add(operation + u'(' + arguments.join(u',') + u')');
}

bool ScriptedTerminalLibrary::forced(const QString& operation, std::int32_t& result)
{
    auto it = forcedResults.find(operation);
    if (it == forcedResults.end() || it->second.empty()) return false;
    result = it->second.front();
    it->second.pop_front();
    return true;
}

QStringList ScriptedTerminalLibrary::calls(const QString& operation) const
{
    return CallLog{m_log}.withPrefix(operation + u'(');
}

std::int32_t ScriptedTerminalLibrary::FK_ConnectComm(std::int32_t machineNo, std::int32_t comPort,
                                                     std::int32_t baudRate, const char* dialText,
                                                     std::int32_t reserved)
{
    record(QStringLiteral("FK_ConnectComm"), {num(machineNo), num(comPort), num(baudRate), text(dialText), num(reserved)});
    std::int32_t r;
    return forced(QStringLiteral("FK_ConnectComm"), r) ? r : connectResult;
}

std::int32_t ScriptedTerminalLibrary::FK_ConnectNet(std::int32_t machineNo, const char* ipAddress,
                                                    std::int32_t netPort, std::int32_t timeOutMs,
                                                    std::int32_t udpFlag, std::int32_t netPassword)
{
    record(QStringLiteral("FK_ConnectNet"),
           {num(machineNo), text(ipAddress), num(netPort), num(timeOutMs), num(udpFlag), num(netPassword)});
    std::int32_t r;
    return forced(QStringLiteral("FK_ConnectNet"), r) ? r : connectResult;
}

std::int32_t ScriptedTerminalLibrary::FK_ConnectUSB(std::int32_t machineNo)
{
    record(QStringLiteral("FK_ConnectUSB"), {num(machineNo)});
    std::int32_t r;
    return forced(QStringLiteral("FK_ConnectUSB"), r) ? r : connectResult;
}

std::int32_t ScriptedTerminalLibrary::FK_DisConnect(std::int32_t handle)
{
    record(QStringLiteral("FK_DisConnect"), {num(handle)});
    std::int32_t r;
    return forced(QStringLiteral("FK_DisConnect"), r) ? r : 1;
}

std::int32_t ScriptedTerminalLibrary::FK_EnableDevice(std::int32_t handle, std::int32_t enable)
{
    record(QStringLiteral("FK_EnableDevice"), {num(handle), num(enable)});
    std::int32_t r;
    return forced(QStringLiteral("FK_EnableDevice"), r) ? r : 1;
}

std::int32_t ScriptedTerminalLibrary::FK_GetDeviceStatus(std::int32_t handle, std::int32_t statusCode,
                                                         std::int32_t* value)
{
    record(QStringLiteral("FK_GetDeviceStatus"), {num(handle), num(statusCode)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_GetDeviceStatus"), r)) return r;
    auto it = status.find(statusCode);
    if (it == status.end()) return 0;
    *value = it->second;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_SetDeviceTime(std::int32_t handle, double dateTime)
{
    record(QStringLiteral("FK_SetDeviceTime"), {num(handle), dateTimeText(dateTime)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_SetDeviceTime"), r)) return r;
    deviceTime = dateTime;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_ReadAllUserID(std::int32_t machineNo)
{
    record(QStringLiteral("FK_ReadAllUserID"), {num(machineNo)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_ReadAllUserID"), r)) return r;
    m_nextUser = 0;
    m_userListRead = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_GetAllUserID(std::int32_t handle, std::int32_t* enrollNumber,
                                                      std::int32_t* backupNumber, std::int32_t* privilege,
                                                      std::int32_t* value)
{
    record(QStringLiteral("FK_GetAllUserID"), {num(handle)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_GetAllUserID"), r)) return r;
    if (!m_userListRead || m_nextUser >= userList.size()) return 0;
    const UserEntry& e = userList[m_nextUser++];
    *enrollNumber = e.enrollNumber;
    *backupNumber = e.backupNumber;
    *privilege = e.privilege;
    *value = e.value;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_ModifyPrivilege(std::int32_t handle, std::int32_t enrollNumber,
                                                         std::int32_t backupNumber, std::int32_t privilege)
{
    record(QStringLiteral("FK_ModifyPrivilege"), {num(handle), num(enrollNumber), num(backupNumber), num(privilege)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_ModifyPrivilege"), r)) return r;
    if (refusedPrivilegeChanges.count({enrollNumber, backupNumber})) return 0;
    for (UserEntry& e : userList)
        if (e.enrollNumber == enrollNumber && e.backupNumber == backupNumber) e.privilege = privilege;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_ClearKeeperData(std::int32_t machineNo)
{
    record(QStringLiteral("FK_ClearKeeperData"), {num(machineNo)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_ClearKeeperData"), r)) return r;
    cleared = true;
    userList.clear();
    logs.clear();
    enrollments.clear();
    names.clear();
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_LoadGeneralLogData(std::int32_t handle, std::int32_t newOnly)
{
    record(QStringLiteral("FK_LoadGeneralLogData"), {num(handle), num(newOnly)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_LoadGeneralLogData"), r)) return r;
    m_nextLog = 0;
    m_logLoaded = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_USBLoadGeneralLogDataFromFile(std::int32_t handle, const char* path)
{
    record(QStringLiteral("FK_USBLoadGeneralLogDataFromFile"), {num(handle), text(path)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_USBLoadGeneralLogDataFromFile"), r)) return r;
    m_nextLog = 0;
    m_logLoaded = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_GetGeneralLogData(std::int32_t handle, std::int32_t* enrollNumber,
                                                           std::int32_t* modeCode, std::int32_t* value,
                                                           double* dateTime)
{
    record(QStringLiteral("FK_GetGeneralLogData"), {num(handle)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_GetGeneralLogData"), r)) return r;
    if (!m_logLoaded || m_nextLog >= logs.size()) return endOfLogResult;
    const LogEntry& e = logs[m_nextLog++];
    *enrollNumber = e.enrollNumber;
    *modeCode = e.modeCode;
    *value = 0;
    *dateTime = e.dateTime;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_GetEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                                       std::int32_t backupNumber, std::int32_t* privilege,
                                                       std::int32_t* templateBuffer, std::int32_t* password)
{
    record(QStringLiteral("FK_GetEnrollData"), {num(handle), num(enrollNumber), num(backupNumber)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_GetEnrollData"), r)) return r;
    auto it = enrollments.find({enrollNumber, backupNumber});
    if (it == enrollments.end()) return 0;
    *privilege = it->second.privilege;
    *password = it->second.password;
    const std::size_t n = std::min<std::size_t>(it->second.templateValues.size(), kTemplateValues);
    std::copy_n(it->second.templateValues.begin(), n, templateBuffer);
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_PutEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                                       std::int32_t backupNumber, std::int32_t privilege,
                                                       std::int32_t* templateBuffer, std::int32_t password)
{
    record(QStringLiteral("FK_PutEnrollData"),
           {num(handle), num(enrollNumber), num(backupNumber), num(privilege), num(password)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_PutEnrollData"), r)) return r;
    std::vector<std::int32_t> values(templateBuffer, templateBuffer + kTemplateValues);
    puts.push_back({enrollNumber, backupNumber, privilege, values, password});
    if (refusedPuts.count({enrollNumber, backupNumber})) return 0;
    enrollments[{enrollNumber, backupNumber}] = {privilege, password, values};
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_DeleteEnrollData(std::int32_t handle, std::int32_t enrollNumber,
                                                          std::int32_t backupNumber)
{
    record(QStringLiteral("FK_DeleteEnrollData"), {num(handle), num(enrollNumber), num(backupNumber)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_DeleteEnrollData"), r)) return r;
    return enrollments.erase({enrollNumber, backupNumber}) ? 1 : 0;
}

std::int32_t ScriptedTerminalLibrary::FK_GetUserName(std::int32_t handle, std::int32_t enrollNumber,
                                                     char* nameBuffer)
{
    record(QStringLiteral("FK_GetUserName"), {num(handle), num(enrollNumber)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_GetUserName"), r)) return r;
    auto it = names.find(enrollNumber);
    if (it == names.end()) return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(it->second.size()), kNameBytes - 1);
    std::memcpy(nameBuffer, it->second.constData(), n);
    nameBuffer[n] = '\0';
    return 1;
}

std::int32_t ScriptedTerminalLibrary::FK_SetUserName(std::int32_t handle, std::int32_t enrollNumber,
                                                     const char* name)
{
    record(QStringLiteral("FK_SetUserName"), {num(handle), num(enrollNumber), text(name)});
    std::int32_t r;
    if (forced(QStringLiteral("FK_SetUserName"), r)) return r;
    if (refusedNames.count(enrollNumber)) return 0;
    names[enrollNumber] = name ? QByteArray(name) : QByteArray();
    return 1;
}

}  // namespace orvelo::test
