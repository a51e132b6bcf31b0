#include "enrollment/enrollment_run.h"

#include <algorithm>
#include <limits>

#include "core/ports.h"
#include "core/text.h"
#include "device/connection.h"
#include "device/terminal_library.h"

namespace orvelo {

bool EnrollmentRun::connect() {
    const bool open = ConnectDevice(m_ctx.panel, m_ctx.settings, m_ctx.terminal);
    m_connectCalled = true;
    return open;
}

void EnrollmentRun::disableDevice() {
    m_ctx.terminal.FK_EnableDevice(handle(), 0);
    m_disabled = true;
}

void EnrollmentRun::enableDevice() {
    if (!m_disabled) return;
    m_disabled = false;
    m_ctx.terminal.FK_EnableDevice(handle(), 1);
}

void EnrollmentRun::finish() {
    if (m_finished) return;
    m_finished = true;
    enableDevice();
    // After a failed connect too: the library may keep something for the handle it returned.
    if (m_connectCalled) m_ctx.terminal.FK_DisConnect(handle());
    m_ctx.view.setProgress(0, false);
    m_ctx.view.setStatusText(QString());
}

void showConnectionFailure(CommandContext& ctx, const QString& caption) {
    ctx.view.messageBox(QStringLiteral("设备连接失败，请连接好设备后重试！"), caption, BoxIcon::Warning);
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
