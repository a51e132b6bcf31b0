// orveloctl watch: every punch of one or many terminals into the database as it happens.
#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <optional>

#include "access/terminal_library.h"
#include "cli/command_table.h"
#include "cli/console_output.h"
#include "cli/fleet_run.h"
#include "cli/orveloctl.h"
#include "cli/terminal_selection.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "live/stop_signals.h"
#include "live/watch_session.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

// A watch runs for days behind a pipe or journald: print() flushes each line as it happens.
void printLine(std::FILE* stream, const QString& line) {
    print(stream, line + u'\n');
}

// The name of a terminal in the lines: its section in terminals.ini, else its address.
QString watchName(const SelectedTerminal& terminal) {
    if (!terminal.name.isEmpty()) return terminal.name;
    return terminal.address().displayName();
}

std::unique_ptr<DataModule> openWatchDatabase(const QString& appDir) {
    auto data = std::make_unique<DataModule>();
    const std::optional<DatabaseTarget> target = databaseTargetAtStartup(appDir);
    if (!target) throw DatabaseError(u"hv.ini of "_s + appDir + u" names no usable database"_s);
    data->openConnection(*target);
    return data;
}

// The longest --poll: a day. A terminal polled less often is better collected by hand.
constexpr int kLongestPollSeconds = 86400;

// The seconds of --poll, or nothing when the text is no whole number from 1 to a day.
std::optional<int> pollSeconds(const QString& text) {
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    if (!ok || seconds < 1 || seconds > kLongestPollSeconds) return std::nullopt;
    return seconds;
}

int runWatch(const CommandRequest& request, const QList<SelectedTerminal>& selected, std::FILE* out,
             std::FILE* err) {
    std::unique_ptr<TerminalLibrary> library;
    try {
        // Loaded before any thread starts, so no two threads race to load it.
        library = loadTerminalLibrary(QCoreApplication::applicationDirPath());
    } catch (const Error& error) {
        printLine(err, u"orveloctl: "_s + error.text());
        return kExitError;
    }
    QList<live::WatchTerminal> terminals;
    for (const SelectedTerminal& terminal : selected)
        terminals << live::WatchTerminal{watchName(terminal), terminal.panel};

    // Blocked before the threads start, so every thread inherits the mask and the signals wait for
    // sigtimedwait below: no handler, nothing done in signal context.
    live::blockStopSignals();
    const SystemClock clock;
    const QString appDir = request.appDir;
    live::WatchTuning tuning;
    // checkUsage has refused a --poll that does not parse.
    tuning.pollPeriod = std::chrono::seconds(pollSeconds(request.value(u"poll"_s)).value_or(10));
    live::WatchSession session({.library = *library,
                                .clock = clock,
                                .appDir = appDir,
                                .openDatabase = [appDir] { return openWatchDatabase(appDir); },
                                .print = [out](const QString& line) { printLine(out, line); },
                                .tuning = tuning},
                               terminals);
    session.start();
    int status = kExitDone;
    for (;;) {
        if (live::waitForStopSignal(std::chrono::seconds(1)) != 0) break;
        try {
            session.rollOverIfDue();
        } catch (const Error& error) {
            // The journal stays a .part with every line; the next hour tries again.
            printLine(err, u"orveloctl: "_s + error.text());
        }
        if (session.allEnded()) {
            status = kExitError;
            break;
        }
    }
    try {
        for (const QString& file : session.stop()) printLine(out, u"raw record file  "_s + file);
    } catch (const Error& error) {
        printLine(err, u"orveloctl: "_s + error.text());
        return kExitError;
    }
    return status;
}

const CommandRegistration kWatch{{
    .name = u"watch"_s,
    .summary = u"stores every punch of the terminals as it happens, until SIGINT or SIGTERM"_s,
    .description =
        u"For each terminal (--terminal, --all-terminals or the connection options) it subscribes to the "
        u"terminal's events, collects the new records (采集新数据) holding the application folder's lock "
        u"only "
        u"meanwhile, then stores each punch in AtdRecord and prints one line per punch: time, terminal, "
        u"punch, enroll number, employee ID, name, and stored, duplicate, unknown person or refused. A link "
        u"that fails or goes silent is reconnected after 1 s, 2 s, 4 s ... up to 60 s and collected again. "
        u"Every punch also goes to a raw record file in data/ (a .part journal while running, a .hv file "
        u"every hour and at the end). A terminal that sends no events (UDP, a terminal or library without "
        u"them) has its new records read every --poll seconds instead, with the same lines; a terminal that "
        u"does not hand out its records either is stopped with the reason; a terminal that another watch of "
        u"the application folder (orveloctl watch, the window's 实时监控) already watches is left to it "
        u"(\"already watched\"); a watch left with no terminal "
        u"to serve exits with status 2. SIGINT or SIGTERM ends it with exit status 0."_s,
    .options = {QCommandLineOption(
        u"poll"_s, u"read a terminal that sends no events every SECONDS seconds (default 10)"_s, u"SECONDS"_s,
        u"10"_s)},
    .run = {},
    .checkUsage =
        [](const CommandLineValues& given) {
            if (given.isSet(u"poll"_s) && !pollSeconds(given.value(u"poll"_s)))
                return u"--poll needs a whole number of seconds from 1 to %1"_s.arg(kLongestPollSeconds);
            return QString();
        },
    .runOnAllTerminals = runWatch,
}};

}  // namespace

}  // namespace orvelo::cli
