#include "enrollment/link_failure.h"

#include "context/command_context.h"
#include "core/ports.h"

namespace orvelo {

void showIncompleteDownload(CommandContext& ctx, const QString& caption, int users, const QString& more) {
    QString text = QStringLiteral("与设备的连接在获取") + QString::number(users) +
                   QStringLiteral(
                       "个人的注册信息后中断，其余的注册信息没有获取！"
                       "请连接好设备后再次执行本命令，获取其余的注册信息。");
    if (!more.isEmpty()) text += u'\n' + more;
    ctx.workEnded();
    ctx.view.messageBox(text, caption, BoxIcon::Warning);
}

void showIncompleteUpload(CommandContext& ctx, const QString& caption, int written) {
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("与设备的连接在写入") + QString::number(written) +
                            QStringLiteral("个人的注册信息后中断，其余的人员没有写入！"
                                           "请连接好设备后再次执行本命令，写入其余的人员。"),
                        caption, BoxIcon::Warning);
}

}  // namespace orvelo
