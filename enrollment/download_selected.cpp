#include <array>
#include <cstdint>

#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/command_outcome.h"
#include "core/ports.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_run.h"
#include "enrollment/enrollment_store.h"
#include "enrollment/link_failure.h"

namespace orvelo {

namespace {

// One value more than the library fills; the extra zero is stored as the 459th line.
constexpr int kDownloadTemplateValues = 459;

QString summaryText(int total, int succeeded) {
    return QStringLiteral("共获取注册信息") + QString::number(total) + QStringLiteral("条；其中成功") +
           QString::number(succeeded) + QStringLiteral("条；失败") + QString::number(total - succeeded) +
           QStringLiteral("条！");
}

}  // namespace

CommandOutcome btn_GetEntryInfoClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("获取注册信息");
    const QString finished = QStringLiteral("获取完成.");
    CommandOutcome outcome;

    EnrollmentRun run(ctx);
    if (!run.connect()) {
        ctx.view.setStatusText(finished);
        return showConnectionFailure(ctx, caption);
    }

    // The terminal stays enabled: this only reads from it.
    ctx.view.setStatusText(QStringLiteral("正在从设备中获取注册信息,请稍等......"));
    ctx.view.setProgress(0, true);

    const int total = selectedCount(ctx);
    int succeeded = 0;
    int done = 0;
    bool linkLost = false;
    bool cancelled = false;
    std::int32_t privilege = 0;
    std::array<std::int32_t, kDownloadTemplateValues> templateBuffer{};

    for (int i = 0; i < total && !linkLost; ++i) {
        if (ctx.cancelRequested()) {
            cancelled = true;
            break;
        }
        EmployeeSelection& selection = *ctx.selection;
        selection.makeCurrent(i);
        const std::int32_t enrollNumber = selectedEnrollNumber(selection);
        const QString employeeNumber = selectedText(selection, QStringLiteral("人员编号"));

        std::int32_t password = 0;
        bool got = false;
        for (std::int32_t backupNumber = FK_BACKUP_FIRST; backupNumber <= FK_BACKUP_LAST; ++backupNumber) {
            templateBuffer.fill(0);
            const std::int32_t result = ctx.terminal.FK_GetEnrollData(
                run.handle(), enrollNumber, backupNumber, &privilege, templateBuffer.data(), &password);
            if (linkFailed(result)) {
                // What this employee had stored before stays; the next run reads it again whole.
                linkLost = true;
                break;
            }
            if (result != 1) continue;
            StoreEnrollment(ctx.data, employeeNumber, enrollNumber, backupNumber, privilege, password,
                            templateBuffer);
            ++outcome.stored;
            got = true;
        }
        if (linkLost) break;
        if (got) ++succeeded;
        ++done;
        ctx.view.setProgress(percentOf(done, total), true);
    }
    outcome.read = done;
    outcome.rejected = done - succeeded;

    ctx.view.setStatusText(finished);
    // Shown while the connection is still open; the run disconnects once it is closed.
    if (linkLost) {
        outcome.result = CommandOutcome::Result::Incomplete;
        showIncompleteDownload(ctx, caption, done);
        return outcome;
    }
    if (cancelled) {
        // The summary counts the employees dealt with before the stop.
        outcome.result = CommandOutcome::Result::Incomplete;
        showCancelled(ctx, caption, {downloadCancelledLine(done, total), summaryText(done, succeeded)});
        return outcome;
    }
    ctx.workEnded();
    ctx.view.messageBox(summaryText(total, succeeded), caption, BoxIcon::Information);
    return outcome;
}

}  // namespace orvelo
