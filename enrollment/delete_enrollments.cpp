#include <cstdint>

#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/command_outcome.h"
#include "core/errors.h"
#include "core/ports.h"
#include "core/text.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_run.h"
#include "enrollment/link_failure.h"

namespace orvelo {

namespace {

QString summaryText(int total, int succeeded) {
    return QStringLiteral("共删除注册信息：") + QString::number(total) + QStringLiteral("；其中成功：") +
           QString::number(succeeded) + QStringLiteral("条；失败：") + QString::number(total - succeeded) +
           QStringLiteral("条！");
}

}  // namespace

CommandOutcome btn_DelEntryInfoClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("删除注册信息");

    // Stays up to the end, also while the summary is open: this command has no completion text.
    ctx.view.setStatusText(QStringLiteral("正在删除设备中的注册信息，请稍等......"));
    ctx.view.setProgress(0, true);

    EnrollmentRun run(ctx);
    if (!run.connect()) return showConnectionFailure(ctx, caption);
    run.disableDevice();

    const int total = selectedCount(ctx);
    int succeeded = 0;
    int done = 0;
    bool cancelled = false;
    for (int i = 0; i < total; ++i) {
        if (ctx.cancelRequested()) {
            cancelled = true;
            break;
        }
        bool deleted = false;
        try {
            ctx.selection->makeCurrent(i);
            const std::int32_t enrollNumber = selectedEnrollNumber(*ctx.selection);
            // Every backup number is asked, also after one was deleted.
            for (std::int32_t backupNumber = FK_BACKUP_FIRST; backupNumber <= FK_BACKUP_LAST;
                 ++backupNumber) {
                if (ctx.terminal.FK_DeleteEnrollData(run.handle(), enrollNumber, backupNumber) == 1)
                    deleted = true;
            }
        } catch (const ConversionError& error) {
            // A registration number that is no number: shown, counted failed, and the others still go.
            ctx.view.errorBox(defaultErrorText(error.text()));
        }
        if (deleted) ++succeeded;
        ++done;
        ctx.view.setProgress(percentOf(succeeded, total), true);
    }

    run.enableDevice();
    CommandOutcome outcome;
    outcome.read = done;
    outcome.stored = succeeded;
    outcome.rejected = done - succeeded;
    if (cancelled) {
        // The summary counts the employees dealt with before the stop.
        outcome.result = CommandOutcome::Result::Incomplete;
        showCancelled(ctx, caption, {deleteCancelledLine(done, total), summaryText(done, succeeded)});
        return outcome;
    }
    ctx.workEnded();
    ctx.view.messageBox(summaryText(total, succeeded), caption, BoxIcon::Information);
    return outcome;
}

}  // namespace orvelo
