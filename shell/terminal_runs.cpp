#include "shell/terminal_runs.h"

#include <exception>

#include "access/connection.h"
#include "collection/collection_commands.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/ports.h"
#include "shell/app_folder_lock.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

// A terminal's commands among several: log lines and progress go on to the run's view, its boxes
// are kept for the summary instead of waiting for a click each.
class KeptBoxesView final : public OperatorView {
public:
    explicit KeptBoxesView(OperatorView& inner) : m_inner(inner) {}

    void appendLog(LogPane pane, const QString& line) override { m_inner.appendLog(pane, line); }
    void setStatusText(const QString& text) override { m_inner.setStatusText(text); }
    void setProgress(int percent, bool showNumber) override { m_inner.setProgress(percent, showNumber); }
    void messageBox(const QString& text, const QString&, BoxIcon) override { lastBox = text; }
    void errorBox(const QString& text) override { lastBox = text; }
    void setFileDialogFilter(const QString&) override {}
    void setFileDialogFolder(const QString&) override {}
    std::optional<QString> chooseFile() override { return std::nullopt; }

    QString lastBox;

private:
    OperatorView& m_inner;
};

QString resultText(CommandOutcome::Result result) {
    switch (result) {
        case CommandOutcome::Result::Done:
            return u"完成"_s;
        case CommandOutcome::Result::Incomplete:
            return u"未完成"_s;
        case CommandOutcome::Result::NotReachable:
            return u"无法连接"_s;
        case CommandOutcome::Result::Error:
            return u"出错"_s;
    }
    return {};
}

}  // namespace

QString terminalCollectionText(const TerminalCollection& collection) {
    if (!collection.started) return u"未执行"_s;
    if (collection.folderBusy) return u"目录被占用"_s;
    const CommandOutcome& outcome = collection.outcome;
    QString text = resultText(outcome.result);
    if (outcome.result == CommandOutcome::Result::Done ||
        outcome.result == CommandOutcome::Result::Incomplete)
        text += u"：读取%1条，保存%2条"_s.arg(outcome.read).arg(outcome.stored);
    if (outcome.refusedByDatabase > 0) text += u"，数据库拒绝%1条"_s.arg(outcome.refusedByDatabase);
    return text;
}

QString terminalCollectionsSummary(const QList<TerminalCollection>& collections) {
    int done = 0;
    int others = 0;
    QStringList lines;
    for (const TerminalCollection& collection : collections) {
        const bool succeeded = collection.started && !collection.folderBusy && collection.outcome.succeeded();
        (succeeded ? done : others) += 1;
        lines << collection.name + u"："_s + terminalCollectionText(collection);
    }
    QString head =
        u"共采集%1台终端，其中成功%2台，未成功%3台。"_s.arg(collections.size()).arg(done).arg(others);
    return head + u'\n' + lines.join(u'\n');
}

QList<TerminalCollection> collectFromTerminals(
    const CommandContext& base, const QList<TerminalEntry>& terminals, bool newRecordsOnly,
    std::chrono::milliseconds lockWait, const std::function<void(int index)>& onStart,
    const std::function<void(int index, const TerminalCollection&)>& onEnd) {
    QList<TerminalCollection> collections;
    for (int i = 0; i < terminals.size(); ++i) {
        const TerminalEntry& entry = terminals[i];
        TerminalCollection collection;
        collection.name = entry.name;
        if (!base.cancelRequested()) {
            collection.started = true;
            if (onStart) onStart(i);
            base.view.appendLog(LogPane::Mmo2, u"== "_s + entry.name + u" =="_s);
            KeptBoxesView view(base.view);
            ConnectionSettings settings;
            // The running terminal's collection goes to its end: 取消 stops the run between terminals.
            CommandContext ctx{view,       entry.panel, settings, base.terminal, base.data,
                               base.clock, base.appDir, nullptr,  base.program};
            try {
                const LockedRun run = runUnderAppFolderLock(base.appDir, lockWait, [&] {
                    collection.outcome = btn_GetDataClick(ctx, newRecordsOnly);
                });
                collection.folderBusy = run == LockedRun::Busy;
                if (collection.folderBusy) collection.message = appFolderBusyText();
            } catch (const Error& error) {
                collection.outcome.result = CommandOutcome::Result::Error;
                view.lastBox = error.text();
            } catch (const std::exception& error) {
                collection.outcome.result = CommandOutcome::Result::Error;
                view.lastBox = QString::fromLocal8Bit(error.what());
            }
            if (collection.message.isEmpty()) collection.message = view.lastBox;
        }
        collections.append(collection);
        if (onEnd) onEnd(i, collection);
    }
    return collections;
}

}  // namespace orvelo
