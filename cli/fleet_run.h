#pragma once

#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>

#include "cli/terminal_selection.h"
#include "core/command_outcome.h"

namespace orvelo {
class Cancellation;
class DataModule;
class TerminalLibrary;
}  // namespace orvelo

namespace orvelo::cli {

struct CommandDefinition;

// One command as the command line gave it, ready to run on any terminal.
struct CommandRequest {
    const CommandDefinition& command;
    QStringList setOptions;                        // the command's own options given (first names)
    std::function<QString(const QString&)> value;  // an option's value, its default when not given
    QStringList arguments;                         // the positional arguments
    DataModule& data;                              // opened by the start-up
    TerminalLibrary& library;                      // shared by every run; each run watches its connects
    QString appDir;
    // How long a run waits for the application folder's lock, for a command that holds it.
    std::chrono::seconds lockWait{0};
    // Set by SIGINT / SIGTERM (CancelOnStopSignals); null when nothing can cancel the runs.
    const Cancellation* cancellation = nullptr;
};

// What one run on one terminal came to.
struct TerminalRun {
    QString name;
    CommandOutcome outcome;  // the command's own when it returns one, else read off its boxes
    int exitStatus = 0;      // orveloctl's status for this run alone
    double seconds = 0;
    bool started = true;  // false: cancelled before this terminal's turn came (Incomplete, status 1)
};

// Runs the command once on `terminal`, inside the default-error-box guard, with a console view,
// connection settings and connect watch of its own: nothing of one run's failure reaches the next.
// Log lines and boxes go to `out`, errors and the status line to `err`.
//
// A command that holds the folder's lock takes it for this run alone, waiting up to
// request.lockWait: between two terminals of a long run the window's commands get their turn. When
// the wait runs out the command does not run; the run says so on `err` and counts as Incomplete
// (running again brings what it would have done).
//
// The exit status is the worse of what the view saw (an error box 2; a warning box or a failed
// connect 1) and of the outcome (Error 2; Incomplete or NotReachable 1). A command that returns
// no outcome gets one from the same signs: Error after an error box, NotReachable after a failed
// connect, Incomplete after a warning box, else Done, with no counts.
TerminalRun runOnTerminal(const CommandRequest& request, const SelectedTerminal& terminal, std::FILE* out,
                          std::FILE* err);

// Runs the command on every terminal in turn, each run headed by "== NAME ==", then the summary
// table; with `json` the summary is instead one JSON document (summaryJson) on `out`, and the runs'
// own lines go to `err`, so that `out` holds nothing else. Returns the worst exit status of the runs.
//
// Once request.cancellation is requested the running terminal's command stops as incomplete and
// no further terminal is started: each is named on `err` and counted "not run" in the summary,
// with exit status 1.
int runOnTerminals(const CommandRequest& request, const QList<SelectedTerminal>& terminals, bool json,
                   std::FILE* out, std::FILE* err);

// The summary: a line of column titles and one row per run (name, result, read, stored, rejected,
// refused, seconds), aligned; results as resultWord gives them, "not run" for a terminal not
// started.
QString summaryTable(const QList<TerminalRun>& runs);

// {"command": NAME, "terminals": [{"name", "result", "started", "read", "stored", "rejected",
//  "refused", "seconds", "exit"}, ...], "exit": WORST}, the result one of "done", "incomplete",
// "not-reachable", "error"; "started" is false (and the result "incomplete") for a terminal whose
// turn never came because the run was cancelled.
QJsonDocument summaryJson(const QString& command, const QList<TerminalRun>& runs);

// The word of resultWord(result) (core/command_outcome.h), with its words joined by '-' when
// `json` is set.
QString resultWord(CommandOutcome::Result result, bool json);

// The worst exit status of the runs (0 for none).
int worstExitStatus(const QList<TerminalRun>& runs);

}  // namespace orvelo::cli
