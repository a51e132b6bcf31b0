#include <cstdint>

#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/ports.h"
#include "core/text.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_run.h"

namespace orvelo {

namespace {}  // namespace

void btn_DelEntryInfoClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("删除注册信息");

    // Stays up to the end, also while the summary is open: this command has no completion text.
    ctx.view.setStatusText(QStringLiteral("正在删除设备中的注册信息，请稍等......"));
    ctx.view.setProgress(0, true);

    EnrollmentRun run(ctx);
    if (!run.connect()) {
        showConnectionFailure(ctx, caption);
        return;
    }
    run.disableDevice();

    const int total = selectedCount(ctx);
    int succeeded = 0;
    for (int i = 0; i < total; ++i) {
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
        ctx.view.setProgress(percentOf(succeeded, total), true);
    }

    run.enableDevice();
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("共删除注册信息：") + QString::number(total) +
                            QStringLiteral("；其中成功：") + QString::number(succeeded) +
                            QStringLiteral("条；失败：") + QString::number(total - succeeded) +
                            QStringLiteral("条！"),
                        caption, BoxIcon::Information);
}

}  // namespace orvelo
