#include "enrollment/enrollment_run.h"

#include <algorithm>
#include <limits>

#include "access/connection.h"
#include "access/terminal_library.h"
#include "core/ports.h"
#include "core/text.h"

namespace orvelo {

EnrollmentRun::~EnrollmentRun() {
    try {
        finish();
    } catch (...) {
        // The session's own destructor still owes the terminal its enable and disconnect.
    }
}

bool EnrollmentRun::connect() {
    const bool open = ConnectDevice(m_ctx.panel, m_ctx.settings, m_ctx.terminal);
    m_session.emplace(m_ctx.terminal, handle(), DeviceSession::Start::Untouched);
    return open;
}

void EnrollmentRun::disableDevice() {
    m_session->disable();
}

void EnrollmentRun::enableDevice() {
    if (m_session) m_session->enable();
}

void EnrollmentRun::finish() {
    if (m_finished) return;
    m_finished = true;
    if (m_session) m_session->close();
    m_ctx.view.setProgress(0, false);
    m_ctx.view.setStatusText(QString());
}

CommandOutcome showConnectionFailure(CommandContext& ctx, const QString& caption) {
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("设备连接失败，请连接好设备后重试！"), caption, BoxIcon::Warning);
    CommandOutcome outcome;
    outcome.result = CommandOutcome::Result::NotReachable;
    return outcome;
}

int selectedCount(const CommandContext& ctx) {
    return ctx.selection ? ctx.selection->count() : 0;
}

QString selectedText(const EmployeeSelection& selection, const QString& column) {
    return selection.value(column).toString();
}

std::int32_t selectedEnrollNumber(const EmployeeSelection& selection) {
    return strToInt(trimBlanks(selectedText(selection, QStringLiteral("登记号码"))));
}

int percentOf(qint64 part, qint64 whole) {
    const qint64 percent = part * 100 / std::max<qint64>(whole, 1);
    return int(std::clamp<qint64>(percent, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace orvelo
