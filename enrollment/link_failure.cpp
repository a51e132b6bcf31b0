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

QString downloadCancelledLine(int done, int total) {
    return QStringLiteral(
               "获取注册信息已取消，在获取%1个人（共%2个人）的注册信息后停止，其余人员的注册信息没有获取！"
               "再次执行本命令可获取其余的注册信息。")
        .arg(done)
        .arg(total);
}

QString downloadAllCancelledLine(int users, int userCount) {
    const QString counted = userCount >= 0 ? QStringLiteral("（设备共有%1个人）").arg(userCount) : QString();
    return QStringLiteral(
               "获取全部注册信息已取消，在获取%1个人%2的注册信息后停止，其余人员的注册信息没有获取！"
               "再次执行本命令可获取其余的注册信息。")
        .arg(users)
        .arg(counted);
}

QString uploadCancelledLine(int done, int total) {
    return QStringLiteral(
               "写入指纹及姓名已取消，在写入%1个人（共%2个人）后停止，其余的人员没有写入！"
               "再次执行本命令可写入其余的人员。")
        .arg(done)
        .arg(total);
}

QString deleteCancelledLine(int done, int total) {
    return QStringLiteral(
               "删除注册信息已取消，在删除%1个人（共%"
               "2个人）的注册信息后停止，其余人员的注册信息没有从设备删除！"
               "再次执行本命令可删除其余的注册信息。")
        .arg(done)
        .arg(total);
}

void showCancelled(CommandContext& ctx, const QString& caption, const QStringList& lines) {
    ctx.workEnded();
    ctx.view.messageBox(lines.join(u'\n'), caption, BoxIcon::Warning);
}

}  // namespace orvelo
