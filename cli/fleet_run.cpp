#include "cli/fleet_run.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

#include "access/connection.h"
#include "cli/command_table.h"
#include "cli/connect_watch.h"
#include "cli/console_operator_view.h"
#include "cli/console_output.h"
#include "cli/orveloctl.h"
#include "core/cancellation.h"
#include "core/datetime.h"
#include "shell/app_folder_lock.h"
#include "shell/handler_guard.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

int exitStatusOf(CommandOutcome::Result result) {
    switch (result) {
        case CommandOutcome::Result::Done:
            return kExitDone;
        case CommandOutcome::Result::Incomplete:
        case CommandOutcome::Result::NotReachable:
            return kExitNotReached;
        case CommandOutcome::Result::Error:
            return kExitError;
    }
    return kExitError;
}

CommandOutcome::Result resultFromSigns(const ConsoleOperatorView& view, const ConnectWatch& watch) {
    if (view.errorBoxShown()) return CommandOutcome::Result::Error;
    if (watch.connectFailed()) return CommandOutcome::Result::NotReachable;
    if (view.warningBoxShown()) return CommandOutcome::Result::Incomplete;
    return CommandOutcome::Result::Done;
}

QString seconds(double value) {
    return QString::number(value, 'f', 1);
}

bool cancelled(const CommandRequest& request) {
    return request.cancellation != nullptr && request.cancellation->requested();
}

// A terminal whose turn never came: the run over the list was cancelled before it.
TerminalRun notStarted(const SelectedTerminal& terminal) {
    TerminalRun run;
    run.name = terminal.name;
    run.outcome.result = CommandOutcome::Result::Incomplete;
    run.exitStatus = kExitNotReached;
    run.started = false;
    return run;
}

// The result column of the table: resultWord's for a run that started.
QString resultText(const TerminalRun& run) {
    return run.started ? resultWord(run.outcome.result) : u"not run"_s;
}

}  // namespace

TerminalRun runOnTerminal(const CommandRequest& request, const SelectedTerminal& terminal, std::FILE* out,
                          std::FILE* err) {
    QElapsedTimer timer;
    timer.start();
    std::optional<CommandOutcome> outcome;
    ConnectWatch watch(request.library);
    int viewStatus = kExitDone;
    {
        // The view's destructor erases its status line before the next run writes.
        ConsoleOperatorView view(out, err, ::isatty(::fileno(err)) == 1);
        for (qsizetype i = 0; i < request.arguments.size() && i < request.command.arguments.size(); ++i)
            if (request.command.arguments.at(i).answersFileDialog)
                view.answerFileDialog(request.arguments.at(i));
        ConnectionSettings settings;
        const SystemClock clock;
        CommandContext context{view,  terminal.panel, settings, watch,         request.data,
                               clock, request.appDir, nullptr,  u"orveloctl"_s};
        context.cancellation = request.cancellation;
        CommandInvocation invocation(context, view, request.setOptions, request.value, request.arguments);
        bool folderBusy = false;
        runWithDefaultErrorBox(view, [&] {
            if (!request.command.holdsFolderLock) return request.command.run(invocation);
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(request.lockWait);
            if (runUnderAppFolderLock(request.appDir, wait, [&] { request.command.run(invocation); }) ==
                LockedRun::Busy) {
                folderBusy = true;
                view.printError(
                    u"orveloctl: "_s +
                    appFolderBusyConsoleText(AppFolderLock(request.appDir).path(), request.lockWait));
            }
        });
        if (folderBusy) {
            CommandOutcome busy;
            busy.result = CommandOutcome::Result::Incomplete;
            invocation.setOutcome(busy);
        }
        outcome = invocation.outcome();
        if (view.errorBoxShown())
            viewStatus = kExitError;
        else if (view.warningBoxShown() || watch.connectFailed())
            viewStatus = kExitNotReached;
        if (!outcome) {
            outcome.emplace();
            outcome->result = resultFromSigns(view, watch);
        }
    }
    TerminalRun run;
    run.name = terminal.name;
    run.outcome = *outcome;
    run.exitStatus = std::max(viewStatus, exitStatusOf(outcome->result));
    run.seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    return run;
}

int runOnTerminals(const CommandRequest& request, const QList<SelectedTerminal>& terminals, bool json,
                   std::FILE* out, std::FILE* err) {
    std::FILE* runOut = json ? err : out;
    QList<TerminalRun> runs;
    QStringList notRun;
    for (const SelectedTerminal& terminal : terminals) {
        if (cancelled(request)) {
            runs.append(notStarted(terminal));
            notRun << terminal.name;
            continue;
        }
        print(runOut, u"== "_s + terminal.name + u" ==\n"_s);
        runs.append(runOnTerminal(request, terminal, runOut, err));
    }
    if (!notRun.isEmpty()) print(err, u"orveloctl: cancelled; not run on: "_s + notRun.join(u", "_s) + u'\n');
    if (json) {
        print(out,
              QString::fromUtf8(summaryJson(request.command.name, runs).toJson(QJsonDocument::Indented)));
    } else {
        print(out, u"== summary ==\n"_s + summaryTable(runs));
    }
    return worstExitStatus(runs);
}

QString resultWord(CommandOutcome::Result result, bool json) {
    QString word = orvelo::resultWord(result);
    return json ? word.replace(u' ', u'-') : word;
}

QString summaryTable(const QList<TerminalRun>& runs) {
    const QStringList titles = {u"terminal"_s, u"result"_s,  u"read"_s,   u"stored"_s,
                                u"rejected"_s, u"refused"_s, u"seconds"_s};
    QList<QStringList> rows{titles};
    for (const TerminalRun& run : runs) {
        const CommandOutcome& o = run.outcome;
        rows.append({run.name, resultText(run), QString::number(o.read), QString::number(o.stored),
                     QString::number(o.rejected), QString::number(o.refusedByDatabase),
                     seconds(run.seconds)});
    }
    QList<qsizetype> widths(titles.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    QString text;
    for (const QStringList& row : rows) {
        QStringList cells;
        // Name and result read from the left, the numbers line up on the right.
        for (qsizetype i = 0; i < row.size(); ++i)
            cells << (i < 2 ? row[i].leftJustified(widths[i]) : row[i].rightJustified(widths[i]));
        QString line = cells.join(u"  "_s);
        while (line.endsWith(u' ')) line.chop(1);
        text += line + u'\n';
    }
    return text;
}

QJsonDocument summaryJson(const QString& command, const QList<TerminalRun>& runs) {
    QJsonArray terminals;
    for (const TerminalRun& run : runs) {
        const CommandOutcome& o = run.outcome;
        terminals.append(QJsonObject{
            {u"name"_s, run.name},
            // A terminal not started is incomplete, as the result words of scripts have it;
            // "started" tells it from one that stopped part-way.
            {u"result"_s, resultWord(o.result, true)},
            {u"started"_s, run.started},
            {u"read"_s, o.read},
            {u"stored"_s, o.stored},
            {u"rejected"_s, o.rejected},
            {u"refused"_s, o.refusedByDatabase},
            {u"seconds"_s, std::round(run.seconds * 1000.0) / 1000.0},
            {u"exit"_s, run.exitStatus},
        });
    }
    return QJsonDocument(QJsonObject{
        {u"command"_s, command},
        {u"terminals"_s, terminals},
        {u"exit"_s, worstExitStatus(runs)},
    });
}

int worstExitStatus(const QList<TerminalRun>& runs) {
    int worst = kExitDone;
    for (const TerminalRun& run : runs) worst = std::max(worst, run.exitStatus);
    return worst;
}

}  // namespace orvelo::cli
