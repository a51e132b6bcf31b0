#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <map>
#include <set>
#include <vector>

#include "access/terminal_library.h"
#include "tests/support/call_log.h"

namespace orvelo::test {

// A scripted stand-in for the terminal library: a small in-memory terminal whose answers a test
// sets, recording every call in the CallLog as "<operation>(<arguments>)" with the input
// arguments only, in the library's order: numbers in decimal, a text in double quotes, a null
// text as null, a date-time as its date-time text (e.g. FK_SetDeviceTime(1,2024-05-06 07:08:09)).
// Buffers and out references are not printed; the written templates are kept in `puts`.
//
// Every operation records and checks forcedResults the same way; only its scripted behaviour is
// written out for it.
//
// forcedResults["FK_X"] = {r1, r2, ...} makes the next calls of FK_X return r1, r2, ... without
// doing anything else (no output written); once the queue is empty, the scripted behaviour returns.
class ScriptedTerminalLibrary : public TerminalLibrary {
public:
    struct UserEntry {
        std::int32_t enrollNumber;
        std::int32_t backupNumber;
        std::int32_t privilege;
        std::int32_t value = 0;
    };
    struct LogEntry {
        std::int32_t enrollNumber;
        std::int32_t modeCode;
        double dateTime;
    };
    struct Enrollment {
        std::int32_t privilege = 0;
        std::int32_t password = 0;
        std::vector<std::int32_t> templateValues;  // at most 458 are written into a caller's buffer
    };
    struct Put {
        std::int32_t enrollNumber;
        std::int32_t backupNumber;
        std::int32_t privilege;
        std::vector<std::int32_t> templateValues;  // the 458 values the caller passed
        std::int32_t password;
    };

    explicit ScriptedTerminalLibrary(CallLog& log) : m_log(log) {}

    // What every connect call returns (the handle).
    std::int32_t connectResult = 1;

    // FK_GetDeviceStatus: a code listed here returns 1 and writes its value; any other code
    // returns 0 and leaves the value untouched.
    std::map<std::int32_t, std::int32_t> status;

    // FK_SetDeviceTime returns 1 and keeps the value; FK_GetDeviceTime returns 1 and writes it.
    double deviceTime = 0;

    // The user list walked by FK_ReadAllUserID / FK_GetAllUserID (one entry per call; 0 at the end).
    std::vector<UserEntry> userList;
    // FK_ModifyPrivilege: (enroll, backup) pairs refused with 0; others return 1 and update userList.
    std::set<std::pair<std::int32_t, std::int32_t>> refusedPrivilegeChanges;

    // The log walked after FK_LoadGeneralLogData or FK_USBLoadGeneralLogDataFromFile returns 1.
    std::vector<LogEntry> logs;
    // FK_GetGeneralLogData returns this after the last record (any value other than 1 ends a walk).
    std::int32_t endOfLogResult = 0;

    // Enrollments by (enroll, backup); FK_GetEnrollData returns 1 for those present.
    std::map<std::pair<std::int32_t, std::int32_t>, Enrollment> enrollments;
    // FK_PutEnrollData stores into `enrollments` and appends to `puts`; pairs listed here are refused.
    std::set<std::pair<std::int32_t, std::int32_t>> refusedPuts;
    std::vector<Put> puts;
    // FK_DeleteEnrollData returns 1 and removes the enrollment when present, else 0.

    // Names by enroll number (UTF-8); FK_GetUserName returns 1 for those present.
    std::map<std::int32_t, QByteArray> names;
    // FK_SetUserName: enroll numbers refused with 0; others return 1 and set `names`.
    std::set<std::int32_t> refusedNames;

    bool cleared = false;  // set by FK_ClearKeeperData

    // Live events. FK_SubscribeEvents returns 1 and subscribes; FK_WaitEvent hands out `events`
    // one per call while subscribed, then returns `idleWaitResult` (0: nothing within the
    // time-out; -6 for a silent link); unsubscribed, it and FK_UnsubscribeEvents return -8.
    struct Event {
        std::int32_t enrollNumber;
        std::int32_t modeCode;
        double dateTime;
        std::int32_t logPosition;
    };
    std::deque<Event> events;
    std::int32_t idleWaitResult = 0;
    bool subscribed = false;

    std::map<QString, std::deque<std::int32_t>> forcedResults;

#define ORVELO_SCRIPTED_OPERATION(name, result, parameters, arguments) result name parameters override;
    ORVELO_TERMINAL_OPERATIONS(ORVELO_SCRIPTED_OPERATION)
#undef ORVELO_SCRIPTED_OPERATION

    // The recorded calls of one operation, e.g. calls("FK_GetDeviceStatus").
    QStringList calls(const QString& operation) const;

private:
    // What each operation does once its call is recorded and no forced result is queued for it.
#define ORVELO_SCRIPTED_BEHAVIOUR(name, result, parameters, arguments) result scripted_##name parameters;
    ORVELO_TERMINAL_OPERATIONS(ORVELO_SCRIPTED_BEHAVIOUR)
#undef ORVELO_SCRIPTED_BEHAVIOUR

    void record(const QString& operation, const QStringList& arguments);
    bool forced(const QString& operation, std::int32_t& result);

    CallLog& m_log;
    std::size_t m_nextUser = 0;
    std::size_t m_nextLog = 0;
    bool m_logLoaded = false;
    bool m_userListRead = false;
};

}  // namespace orvelo::test
