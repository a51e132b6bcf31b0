#pragma once

#include <QList>
#include <QString>
#include <chrono>
#include <functional>

#include "core/command_outcome.h"
#include "shell/terminal_list.h"

namespace orvelo {

struct CommandContext;

// How one terminal's collection in a run over several ended.
struct TerminalCollection {
    QString name;
    bool started = false;     // false: the run was cancelled before this terminal
    bool folderBusy = false;  // another command held the application folder for the whole wait
    CommandOutcome outcome;   // the collection's own outcome when it ran
    QString message;          // the text of its closing box, or of the error that stopped it
};

// The result of a terminal's collection in the operator's words: "完成", "未完成", "无法连接",
// "出错", "未执行", "目录被占用", with the counts when it ran ("完成：读取212条，保存209条").
QString terminalCollectionText(const TerminalCollection& collection);

// The box that ends a run over several terminals: one line per terminal and how many ended how.
QString terminalCollectionsSummary(const QList<TerminalCollection>& collections);

// 采集数据 on each of `terminals` in turn, new records or all, each on its own connection settings
// and under the application folder's lock (waiting up to `lockWait` for it, terminal by terminal,
// so that a scheduled run may come between two terminals). The commands report to a view that
// passes their log lines and progress on to `base.view` and keeps their boxes for the summary; a
// terminal's failure never stops the others. `base.cancellation`, when set, stops the run after the
// running terminal: the rest are not started. `onStart` and `onEnd` are told each terminal's index.
QList<TerminalCollection> collectFromTerminals(
    const CommandContext& base, const QList<TerminalEntry>& terminals, bool newRecordsOnly,
    std::chrono::milliseconds lockWait, const std::function<void(int index)>& onStart,
    const std::function<void(int index, const TerminalCollection&)>& onEnd);

}  // namespace orvelo
