#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "access/connection.h"
#include "access/device_session.h"
#include "context/command_context.h"
#include "core/command_outcome.h"

namespace orvelo {

class EmployeeSelection;

// What every enrollment command does on its way out, however it leaves (an error included):
// the terminal session (a DeviceSession from the connect call on, also a failed one) enables the
// terminal again if the command disabled it and disconnects once; then the progress is set to 0
// with the number hidden and the status text emptied. The order is the one of the normal end, so
// an error path looks the same.
class EnrollmentRun {
public:
    explicit EnrollmentRun(CommandContext& ctx) : m_ctx(ctx) {}
    ~EnrollmentRun();
    EnrollmentRun(const EnrollmentRun&) = delete;
    EnrollmentRun& operator=(const EnrollmentRun&) = delete;

    // ConnectDevice with the panel; true when the connection is open. A conversion error leaves
    // before any library call, so nothing is owed to the terminal then.
    bool connect();
    std::int32_t handle() const { return m_ctx.settings.DeviceHandle; }

    void disableDevice();
    // Enables the terminal again now, if this run disabled it.
    void enableDevice();

    // The end of the run: runs once, from the destructor at the latest.
    void finish();

private:
    CommandContext& m_ctx;
    std::optional<DeviceSession> m_session;
    bool m_finished = false;
};

// The warning box every enrollment command shows when the terminal cannot be reached; returns
// what the command then comes to (NotReachable, nothing read), for it to return:
//     if (!run.connect()) return showConnectionFailure(ctx, caption);
CommandOutcome showConnectionFailure(CommandContext& ctx, const QString& caption);

// The selected employees of the shown grid; an absent selection has no rows.
int selectedCount(const CommandContext& ctx);
// The text of a column of the current selected row (NULL gives an empty text).
QString selectedText(const EmployeeSelection& selection, const QString& column);
// The enroll number of the current selected row: its "登记号码" trimmed and converted.
std::int32_t selectedEnrollNumber(const EmployeeSelection& selection);

// The integer part of part / whole × 100, for the progress pane; a whole below 1 counts as 1.
int percentOf(qint64 part, qint64 whole);

}  // namespace orvelo
