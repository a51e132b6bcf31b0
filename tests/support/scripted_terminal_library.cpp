#include "tests/support/scripted_terminal_library.h"

#include <algorithm>
#include <cstring>

#include "core/datetime.h"

namespace orvelo::test {

namespace {

QString text(const char* t) {
    return t ? u'"' + QString::fromUtf8(t) + u'"' : QStringLiteral("null");
}

// How each kind of argument appears in the call log: the inputs a test can check, while buffers
// and outputs are left out.
void describe(QStringList& out, std::int32_t value) {
    out << QString::number(value);
}
void describe(QStringList& out, double dateTime) {
    out << dateTimeText(dateTime);
}
void describe(QStringList& out, const char* t) {
    out << text(t);
}
void describe(QStringList&, char*) {}
void describe(QStringList&, std::int32_t*) {}
void describe(QStringList&, const std::int32_t*) {}
void describe(QStringList&, double*) {}

template <typename... Arguments>
QStringList inputArguments(Arguments... arguments) {
    QStringList out;
    (describe(out, arguments), ...);
    return out;
}

}  // namespace

void ScriptedTerminalLibrary::record(const QString& operation, const QStringList& arguments) {
    m_log.add(operation + u'(' + arguments.join(u',') + u')');
}

bool ScriptedTerminalLibrary::forced(const QString& operation, std::int32_t& result) {
    auto it = forcedResults.find(operation);
    if (it == forcedResults.end() || it->second.empty()) return false;
    result = it->second.front();
    it->second.pop_front();
    return true;
}

QStringList ScriptedTerminalLibrary::calls(const QString& operation) const {
    return CallLog{m_log}.withPrefix(operation + u'(');
}

#define ORVELO_RECORD_THEN_SCRIPT(name, result, parameters, arguments)                                 \
    result ScriptedTerminalLibrary::name parameters {                                                  \
        record(QStringLiteral(#name), inputArguments arguments);                                       \
        std::int32_t forcedResult;                                                                     \
        return forced(QStringLiteral(#name), forcedResult) ? forcedResult : scripted_##name arguments; \
    }
ORVELO_TERMINAL_OPERATIONS(ORVELO_RECORD_THEN_SCRIPT)
#undef ORVELO_RECORD_THEN_SCRIPT

std::int32_t ScriptedTerminalLibrary::scripted_FK_ConnectComm(std::int32_t /*machineNo*/,
                                                              std::int32_t /*comPort*/,
                                                              std::int32_t /*baudRate*/,
                                                              const char* /*dialText*/,
                                                              std::int32_t /*reserved*/) {
    return connectResult;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_ConnectNet(
    std::int32_t /*machineNo*/, const char* /*ipAddress*/, std::int32_t /*netPort*/,
    std::int32_t /*timeOutMs*/, std::int32_t /*udpFlag*/, std::int32_t /*netPassword*/) {
    return connectResult;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_ConnectUSB(std::int32_t /*machineNo*/) {
    return connectResult;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_DisConnect(std::int32_t /*handle*/) {
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_EnableDevice(std::int32_t /*handle*/,
                                                               std::int32_t /*enable*/) {
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_GetDeviceStatus(std::int32_t /*handle*/,
                                                                  std::int32_t statusCode,
                                                                  std::int32_t* value) {
    auto it = status.find(statusCode);
    if (it == status.end()) return 0;
    *value = it->second;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_SetDeviceTime(std::int32_t /*handle*/, double dateTime) {
    deviceTime = dateTime;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_GetDeviceTime(std::int32_t /*handle*/, double* dateTime) {
    *dateTime = deviceTime;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_ReadAllUserID(std::int32_t /*machineNo*/) {
    m_nextUser = 0;
    m_userListRead = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_GetAllUserID(std::int32_t /*handle*/,
                                                               std::int32_t* enrollNumber,
                                                               std::int32_t* backupNumber,
                                                               std::int32_t* privilege, std::int32_t* value) {
    if (!m_userListRead || m_nextUser >= userList.size()) return 0;
    const UserEntry& e = userList[m_nextUser++];
    *enrollNumber = e.enrollNumber;
    *backupNumber = e.backupNumber;
    *privilege = e.privilege;
    *value = e.value;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_ModifyPrivilege(std::int32_t /*handle*/,
                                                                  std::int32_t enrollNumber,
                                                                  std::int32_t backupNumber,
                                                                  std::int32_t privilege) {
    if (refusedPrivilegeChanges.count({enrollNumber, backupNumber})) return 0;
    for (UserEntry& e : userList)
        if (e.enrollNumber == enrollNumber && e.backupNumber == backupNumber) e.privilege = privilege;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_ClearKeeperData(std::int32_t /*machineNo*/) {
    cleared = true;
    userList.clear();
    logs.clear();
    enrollments.clear();
    names.clear();
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_LoadGeneralLogData(std::int32_t /*handle*/,
                                                                     std::int32_t /*newOnly*/) {
    m_nextLog = 0;
    m_logLoaded = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_USBLoadGeneralLogDataFromFile(std::int32_t /*handle*/,
                                                                                const char* /*path*/) {
    m_nextLog = 0;
    m_logLoaded = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_GetGeneralLogData(std::int32_t /*handle*/,
                                                                    std::int32_t* enrollNumber,
                                                                    std::int32_t* modeCode,
                                                                    std::int32_t* value, double* dateTime) {
    if (!m_logLoaded || m_nextLog >= logs.size()) return endOfLogResult;
    const LogEntry& e = logs[m_nextLog++];
    *enrollNumber = e.enrollNumber;
    *modeCode = e.modeCode;
    *value = 0;
    *dateTime = e.dateTime;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_GetEnrollData(
    std::int32_t /*handle*/, std::int32_t enrollNumber, std::int32_t backupNumber, std::int32_t* privilege,
    std::int32_t* templateBuffer, std::int32_t* password) {
    auto it = enrollments.find({enrollNumber, backupNumber});
    if (it == enrollments.end()) return 0;
    *privilege = it->second.privilege;
    *password = it->second.password;
    const std::size_t n = std::min<std::size_t>(it->second.templateValues.size(), kTemplateValues);
    std::copy_n(it->second.templateValues.begin(), n, templateBuffer);
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_PutEnrollData(
    std::int32_t /*handle*/, std::int32_t enrollNumber, std::int32_t backupNumber, std::int32_t privilege,
    const std::int32_t* templateBuffer, std::int32_t password) {
    std::vector<std::int32_t> values(templateBuffer, templateBuffer + kTemplateValues);
    puts.push_back({enrollNumber, backupNumber, privilege, values, password});
    if (refusedPuts.count({enrollNumber, backupNumber})) return 0;
    enrollments[{enrollNumber, backupNumber}] = {privilege, password, values};
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_DeleteEnrollData(std::int32_t /*handle*/,
                                                                   std::int32_t enrollNumber,
                                                                   std::int32_t backupNumber) {
    return enrollments.erase({enrollNumber, backupNumber}) ? 1 : 0;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_GetUserName(std::int32_t /*handle*/,
                                                              std::int32_t enrollNumber, char* nameBuffer) {
    auto it = names.find(enrollNumber);
    if (it == names.end()) return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(it->second.size()), kNameBytes - 1);
    std::memcpy(nameBuffer, it->second.constData(), n);
    nameBuffer[n] = '\0';
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_SetUserName(std::int32_t /*handle*/,
                                                              std::int32_t enrollNumber, const char* name) {
    if (refusedNames.count(enrollNumber)) return 0;
    names[enrollNumber] = name ? QByteArray(name) : QByteArray();
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_SubscribeEvents(std::int32_t /*handle*/) {
    subscribed = true;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_WaitEvent(std::int32_t /*handle*/,
                                                            std::int32_t /*timeOutMs*/,
                                                            std::int32_t* enrollNumber,
                                                            std::int32_t* modeCode, double* dateTime,
                                                            std::int32_t* logPosition) {
    if (!subscribed) return FK_NOT_SUBSCRIBED;
    if (events.empty()) return idleWaitResult;
    const Event e = events.front();
    events.pop_front();
    *enrollNumber = e.enrollNumber;
    *modeCode = e.modeCode;
    *dateTime = e.dateTime;
    *logPosition = e.logPosition;
    return 1;
}

std::int32_t ScriptedTerminalLibrary::scripted_FK_UnsubscribeEvents(std::int32_t /*handle*/) {
    if (!subscribed) return FK_NOT_SUBSCRIBED;
    subscribed = false;
    return 1;
}

}  // namespace orvelo::test
