#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace orvelo {

struct CommandContext;

// The library answers 0 (FK_NO) for "no" and for the end of a list, a negative result for a link
// or a reply that failed: only the latter leaves something unread or unwritten on the terminal.
inline bool linkFailed(std::int32_t result) {
    return result < 0;
}

// The warning box of a download whose link failed after `users` people were brought in whole:
// what was read stays stored, and running the command again brings the rest. A `more` line (what
// the terminal refused before, say) follows the text.
void showIncompleteDownload(CommandContext& ctx, const QString& caption, int users, const QString& more = {});

// The warning box of an upload whose link failed after `written` employees were written whole.
void showIncompleteUpload(CommandContext& ctx, const QString& caption, int written);

// The first line of the warning box of a command the operator cancelled (the window's 取消,
// orveloctl's SIGINT / SIGTERM) before its next employee or user: `done` of `total` were dealt
// with, and running the command again does the rest.
QString downloadCancelledLine(int done, int total);  // 获取注册信息
// 获取所有注册信息: `users` people brought in whole; `userCount` is the terminal's count of its
// users, negative when it gave none.
QString downloadAllCancelledLine(int users, int userCount);
QString uploadCancelledLine(int done, int total);  // 写入指纹及姓名
QString deleteCancelledLine(int done, int total);  // 删除注册信息

// The warning box of a cancelled command: `lines` joined, after the work has ended.
void showCancelled(CommandContext& ctx, const QString& caption, const QStringList& lines);

}  // namespace orvelo
