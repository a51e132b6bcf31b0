// orveloctl terminals: the terminals of terminals.ini with their settings and the last
// collection from each; with --check, each terminal's health for monitoring.
#include <QJsonDocument>
#include <cmath>
#include <optional>

#include "cli/command_table.h"
#include "cli/console_operator_view.h"
#include "cli/console_output.h"
#include "cli/fleet_run.h"
#include "cli/orveloctl.h"
#include "cli/terminal_check_report.h"
#include "collection/collection_history.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/terminal_address.h"
#include "device/terminal_check.h"
#include "shell/app_folder_lock.h"
#include "shell/handler_guard.h"
#include "shell/terminal_list.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

QString lastCollectionLine(const CollectionHistory& history, const QString& key) {
    const auto it = history.find(key);
    if (it == history.end()) return u"none"_s;
    const LastCollection& last = it->second;
    return u"%1 by %2: %3; read %4, stored %5, rejected %6, refused by the database %7"_s.arg(
        last.when, last.by.isEmpty() ? u"?"_s : last.by, resultWord(last.result), QString::number(last.read),
        QString::number(last.stored), QString::number(last.rejected),
        QString::number(last.refusedByDatabase));
}

// The history of the folder; a damaged file is named on stderr and counts as empty.
CollectionHistory readHistoryTelling(const QString& appDir, ConsoleOperatorView& console) {
    const CollectionHistoryRead found = readCollectionHistory(appDir);
    if (found.damaged)
        console.printError(u"orveloctl: "_s + collectionHistoryPath(appDir) +
                           u" is damaged; the next collection replaces it (the old one is kept as "
                           u".collections.json.bad)"_s);
    return found.history;
}

TerminalList readListOrFail(const QString& appDir) {
    TerminalList list = readTerminalList(terminalListPath(appDir));
    if (!list.fileFound) throw FileError(list.path + u": no such file"_s);
    return list;
}

void listTerminals(CommandInvocation& run) {
    const QString appDir = run.context().appDir;
    const TerminalList list = readListOrFail(appDir);
    const CollectionHistory history = readHistoryTelling(appDir, run.console());
    QString text;
    for (const TerminalEntry& entry : list.entries) {
        const TerminalAddress address = entry.address();
        const QString key = address.key();
        text += entry.name + u" ("_s + key + u")\n"_s;
        text += u"  settings: "_s + address.description() + u'\n';
        text += u"  last collection: "_s + lastCollectionLine(history, key) + u'\n';
    }
    run.console().printOutput(text);
}

// --max-clock-offset: whole seconds, 0 or more.
std::optional<std::int64_t> clockOffsetLimit(const QString& text) {
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    if (!ok || seconds < 0) return std::nullopt;
    return seconds;
}

// --max-age: hours above 0, a fraction allowed (0.5 is half an hour).
std::optional<double> ageLimit(const QString& text) {
    bool ok = false;
    const double hours = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(hours) || hours <= 0) return std::nullopt;
    return hours;
}

QString checkUsage(const CommandLineValues& given) {
    if (!given.isSet(u"check"_s)) {
        for (const QString& option : {u"json"_s, u"max-clock-offset"_s, u"max-age"_s})
            if (given.isSet(option)) return u"--"_s + option + u" goes with --check"_s;
        return {};
    }
    if (!clockOffsetLimit(given.value(u"max-clock-offset"_s)))
        return u"--max-clock-offset takes a whole number of seconds, not '"_s +
               given.value(u"max-clock-offset"_s) + u"'"_s;
    if (given.isSet(u"max-age"_s) && !ageLimit(given.value(u"max-age"_s)))
        return u"--max-age takes a number of hours above 0, not '"_s + given.value(u"max-age"_s) + u"'"_s;
    return {};
}

// The terminals to check: those the command line names (--terminal, --all-terminals, with the
// connection options given winning over their keys), else every terminal of terminals.ini.
QList<SelectedTerminal> terminalsToCheck(const QList<SelectedTerminal>& selected, const QString& appDir) {
    if (!selected.isEmpty() && !selected.constFirst().name.isEmpty()) return selected;
    const TerminalList list = readListOrFail(appDir);
    if (list.entries.isEmpty()) throw FileError(list.path + u": no terminal listed"_s);
    QList<SelectedTerminal> all;
    for (const TerminalEntry& entry : list.entries) all.append({entry.name, entry.panel});
    return all;
}

// Checks the terminals one after the other, each under the application folder's lock for its
// own check alone: a check only reads, but a second session on a serial line would end a running
// collection's, and a terminal may take one network session at a time.
int checkTerminals(const CommandRequest& request, const QList<SelectedTerminal>& selected, std::FILE* out,
                   ConsoleOperatorView& console) {
    HealthLimits limits;
    limits.maxClockOffsetSeconds = *clockOffsetLimit(request.value(u"max-clock-offset"_s));
    if (request.setOptions.contains(u"max-age"_s)) limits.maxAgeHours = ageLimit(request.value(u"max-age"_s));
    const bool json = request.setOptions.contains(u"json"_s);

    const QList<SelectedTerminal> terminals = terminalsToCheck(selected, request.appDir);
    const CollectionHistory history = readHistoryTelling(request.appDir, console);
    const SystemClock clock;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(request.lockWait);
    QList<CheckedTerminal> checked;
    for (const SelectedTerminal& terminal : terminals) {
        CheckedTerminal result;
        result.name = terminal.name;
        result.key = terminal.address().key();
        if (const auto it = history.find(result.key); it != history.end()) result.lastCollection = it->second;
        const LockedRun run = runUnderAppFolderLock(request.appDir, wait, [&] {
            result.health = checkTerminal(terminal.panel, request.library, clock);
        });
        if (!result.health.settingsError.isEmpty())
            console.printError(u"orveloctl: "_s + terminal.name + u": "_s + result.health.settingsError);
        if (run == LockedRun::Busy) {
            result.busy = true;
            result.health.checkedAt = clock.now();
            console.printError(
                u"orveloctl: "_s + terminal.name + u": "_s +
                appFolderBusyConsoleText(AppFolderLock(request.appDir).path(), request.lockWait));
        }
        checked.append(result);
    }
    if (json)
        print(out, QString::fromUtf8(healthJson(checked, limits).toJson(QJsonDocument::Indented)));
    else
        print(out, healthTable(checked, limits));
    return healthExitStatus(checked, limits);
}

// The listing runs as every command runs on its one terminal; the check serves its own list.
int runTerminals(const CommandRequest& request, const QList<SelectedTerminal>& selected, std::FILE* out,
                 std::FILE* err) {
    if (!request.setOptions.contains(u"check"_s))
        return runOnTerminal(request, selected.constFirst(), out, err).exitStatus;
    ConsoleOperatorView console(out, err, false);
    int status = kExitError;
    if (!runWithDefaultErrorBox(console, [&] { status = checkTerminals(request, selected, out, console); }))
        return kExitError;
    return status;
}

const CommandRegistration kTerminals{{
    .name = u"terminals"_s,
    .summary = u"lists the terminals of terminals.ini, their settings and the last collection from each; "
               u"--check checks each one's health"_s,
    .description =
        u"Checks terminals.ini of the application folder (a missing or bad file is an error, exit "
        u"status 2) and prints, for each terminal in the file's order, three lines: its name with the "
        u"connection it stands for, its settings as orveloctl's options, and the last collection from "
        u"that connection, by the window or by orveloctl (\"none\" when there was none). The last "
        u"collections are kept in data/.collections.json.\n\n"
        u"With --check it instead connects to each terminal in turn (only those of --terminal or "
        u"--all-terminals when given), reads its users, records, new records and clock, and "
        u"disconnects, never disabling it; each check holds the application folder's lock for itself, "
        u"waiting up to --wait. One row per terminal: name, 在线 or 离线, the clock's offset from this PC "
        u"(terminal minus PC), the counts and the age of the last collection. Exit status 1 when a "
        u"terminal is not reachable or was not checked (the folder stayed busy), its clock is off by "
        u"more than --max-clock-offset, or, with --max-age, its last collection is missing or older; "
        u"else 0."_s,
    .options = {QCommandLineOption(u"check"_s, u"connect to each terminal and report its health"_s),
                QCommandLineOption(u"json"_s, u"with --check: the report as one JSON document on stdout"_s),
                QCommandLineOption(u"max-clock-offset"_s,
                                   u"with --check: the largest clock offset taken as right, either way "
                                   u"(default 60)"_s,
                                   u"SECONDS"_s, u"60"_s),
                QCommandLineOption(u"max-age"_s,
                                   u"with --check: a terminal whose last collection is older than this, or "
                                   u"missing, fails the check"_s,
                                   u"HOURS"_s)},
    .run = listTerminals,
    .checkUsage = checkUsage,
    .runOnAllTerminals = runTerminals,
}};

}  // namespace

}  // namespace orvelo::cli
