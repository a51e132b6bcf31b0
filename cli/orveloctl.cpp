#include "cli/orveloctl.h"

#include <unistd.h>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <optional>

#include "access/connection.h"
#include "access/loaded_terminal_library.h"
#include "cli/command_table.h"
#include "cli/connect_watch.h"
#include "cli/console_operator_view.h"
#include "cli/console_output.h"
#include "cli/fleet_run.h"
#include "cli/stop_signals.h"
#include "cli/terminal_selection.h"
#include "core/datetime.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "shell/handler_guard.h"
#include "shell/panel_defaults.h"
#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

struct GlobalOption {
    QCommandLineOption option;
    QString help;  // the option column of --help
};

int usageError(std::FILE* err, const QString& message) {
    print(err, u"orveloctl: "_s + message + u"\nTry 'orveloctl --help'.\n"_s);
    return kExitUsage;
}

QString column(const QString& left, qsizetype width) {
    return u"  "_s + left.leftJustified(width) + u"  "_s;
}

class Options {
public:
    Options() {
        // The option column of --help for each option of the terminal selection, by first name.
        const QList<std::pair<QString, QString>> columns = {
            {u"machine"_s, u"--machine TEXT"_s},
            {u"link"_s, u"--link usb|serial|tcp"_s},
            {u"com"_s, u"--com TEXT"_s},
            {u"baud"_s, u"--baud TEXT"_s},
            {u"ip"_s, u"--ip TEXT"_s},
            {u"port"_s, u"--port TEXT"_s},
            {u"udp"_s, u"--udp"_s},
            {u"timeout"_s, u"--timeout TEXT"_s},
            {u"password"_s, u"--password TEXT"_s},
            {u"terminal"_s, u"--terminal NAME"_s},
            {u"all-terminals"_s, u"--all-terminals"_s},
        };
        m_options.append({QCommandLineOption(u"app-dir"_s,
                                             u"folder of hv.ini, terminals.ini and data (default: the "
                                             u"executable's folder)"_s,
                                             u"DIR"_s),
                          u"--app-dir DIR"_s});
        for (const QCommandLineOption& option : terminalSelectionOptions()) {
            const QString first = option.names().constFirst();
            const auto column = std::find_if(columns.begin(), columns.end(),
                                             [&](const auto& entry) { return entry.first == first; });
            m_options.append({option, column == columns.end() ? u"--"_s + first : column->second});
        }
        m_options += {
            {QCommandLineOption(u"json"_s,
                                u"with --terminal or --all-terminals: the summary as one JSON document on "
                                u"stdout, the runs' own lines on stderr"_s),
             u"--json"_s},
            {QCommandLineOption(u"wait"_s,
                                u"how long a terminal command waits for another command on the "
                                u"application folder to end (default 60; 0 gives up at once)"_s,
                                u"SECONDS"_s, u"60"_s),
             u"--wait SECONDS"_s},
            {QCommandLineOption(u"yes"_s,
                                u"lets a command that changes a terminal's users or erases it run on more "
                                u"than one terminal"_s),
             u"--yes"_s},
            {QCommandLineOption({u"h"_s, u"help"_s}, u"this text; COMMAND --help describes a command"_s),
             u"-h, --help"_s},
            {QCommandLineOption(u"version"_s, u"the program's version"_s), u"--version"_s},
        };
    }

    const QList<GlobalOption>& all() const { return m_options; }
    QList<QCommandLineOption> parserOptions() const {
        QList<QCommandLineOption> result;
        for (const GlobalOption& option : m_options) result << option.option;
        return result;
    }

private:
    QList<GlobalOption> m_options;
};

QString programHelp(const Options& options) {
    QString text =
        u"Usage: orveloctl [OPTIONS] COMMAND [COMMAND OPTIONS]\n\n"
        u"Runs one command of the Orvelo window without a window: on the database named by\n"
        u"hv.ini of the application folder and, for a terminal command, on the terminal that\n"
        u"the connection options choose. The options are the connection panel's fields,\n"
        u"passed as texts and converted as the window converts them.\n\n"
        u"--terminal NAME and --all-terminals take the terminals from terminals.ini of the\n"
        u"application folder. On several terminals the command runs once per terminal, each\n"
        u"run headed by \"== NAME ==\", one failure not stopping the others, and a summary\n"
        u"table (or --json) follows; the exit status is the worst of the runs.\n\nOptions:\n"_s;
    qsizetype width = 0;
    for (const GlobalOption& option : options.all()) width = std::max(width, option.help.size());
    for (const GlobalOption& option : options.all())
        text += column(option.help, width) + option.option.description() + u'\n';
    text += u"\nCommands:\n"_s;
    const auto commands = commandTable().sorted();
    qsizetype nameWidth = width;
    for (const CommandDefinition* command : commands) nameWidth = std::max(nameWidth, command->name.size());
    for (const CommandDefinition* command : commands)
        text += column(command->name, nameWidth) + command->summary + u'\n';
    text +=
        u"\nSIGINT or SIGTERM stops a terminal or store command at its next record or user, as\n"
        u"the window's 取消 does: what was read is kept, the terminal is enabled again, the report\n"
        u"says where it stopped and the exit status is 1; on several terminals the ones not yet\n"
        u"started are not run. The same signal again ends orveloctl at once.\n"
        u"\nExit status: 0 done; 1 the terminal could not be reached, a warning was shown,\n"
        u"another command held the application folder for the whole --wait or the command was\n"
        u"cancelled; 2 an error stopped the command (or terminals.ini cannot be used); 3 the\n"
        u"database could not be used (start-up); 64 usage error.\n"_s;
    return text;
}

QString commandUsage(const CommandDefinition& command) {
    QString usage = u"orveloctl [OPTIONS] "_s + command.name;
    if (!command.options.isEmpty()) usage += u" [COMMAND OPTIONS]"_s;
    for (const CommandArgument& argument : command.arguments)
        usage += argument.optional ? QString(u" ["_s + argument.name + u']') : QString(u' ' + argument.name);
    return usage;
}

QString commandHelp(const CommandDefinition& command) {
    QString text = u"Usage: "_s + commandUsage(command) + u"\n\n"_s + command.summary + u'\n';
    if (!command.description.isEmpty()) text += u'\n' + command.description + u'\n';
    QList<std::pair<QString, QString>> rows;
    for (const CommandArgument& argument : command.arguments)
        rows.append({argument.name, argument.description});
    for (const QCommandLineOption& option : command.options) {
        QStringList names;
        for (const QString& name : option.names()) names << (name.size() == 1 ? u"-"_s : u"--"_s) + name;
        QString left = names.join(u", "_s);
        if (!option.valueName().isEmpty()) left += u' ' + option.valueName();
        rows.append({left, option.description()});
    }
    qsizetype width = 0;
    for (const auto& row : rows) width = std::max(width, row.first.size());
    if (!rows.isEmpty()) text += u'\n';
    for (const auto& row : rows) text += column(row.first, width) + row.second + u'\n';
    text += u"\nThe connection options of orveloctl --help come before the command.\n"_s;
    return text;
}

}  // namespace

int runOrveloctl(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    const Options options;
    QCommandLineParser global;
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    global.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    global.addOptions(options.parserOptions());
    if (!global.parse(arguments)) return usageError(err, global.errorText());
    if (global.isSet(u"help"_s)) {
        print(out, programHelp(options));
        return kExitDone;
    }
    if (global.isSet(u"version"_s)) {
        print(out, u"orveloctl (Orvelo) "_s + QString::fromLatin1(ORVELO_VERSION) + u'\n');
        return kExitDone;
    }
    QStringList rest = global.positionalArguments();
    if (rest.isEmpty()) return usageError(err, u"no command given"_s);
    const QString name = rest.takeFirst();
    const CommandDefinition* command = commandTable().find(name);
    if (!command) return usageError(err, u"unknown command '"_s + name + u"'"_s);

    QCommandLineParser own;
    own.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    own.addOptions(command->options);
    const QCommandLineOption ownHelp({u"h"_s, u"help"_s}, QString());
    own.addOption(ownHelp);
    if (!own.parse(QStringList{name} + rest)) return usageError(err, name + u": "_s + own.errorText());
    if (own.isSet(ownHelp)) {
        print(out, commandHelp(*command));
        return kExitDone;
    }
    const QStringList positional = own.positionalArguments();
    const auto required = std::count_if(command->arguments.begin(), command->arguments.end(),
                                        [](const CommandArgument& argument) { return !argument.optional; });
    if (positional.size() < required || positional.size() > command->arguments.size())
        return usageError(err, u"usage: "_s + commandUsage(*command));
    if (command->checkUsage) {
        const QString problem =
            command->checkUsage({[&own](const QString& option) { return own.isSet(option); },
                                 [&own](const QString& option) { return own.value(option); }, positional});
        if (!problem.isEmpty()) return usageError(err, name + u": "_s + problem);
    }

    const QString appDir =
        applicationFolder(global.value(u"app-dir"_s), QCoreApplication::applicationDirPath());
    const bool json = global.isSet(u"json"_s);
    bool waitIsNumber = false;
    const int waitSeconds = global.value(u"wait"_s).toInt(&waitIsNumber);
    if (!waitIsNumber || waitSeconds < 0)
        return usageError(err,
                          u"--wait takes a number of seconds, not '"_s + global.value(u"wait"_s) + u"'"_s);
    if (json && !namesListedTerminals(global))
        return usageError(err, u"--json needs --terminal or --all-terminals"_s);
    QList<SelectedTerminal> terminals;
    try {
        terminals = selectTerminals(global, appDir);
    } catch (const TerminalSelectionError& error) {
        if (error.exitStatus() == kExitUsage) return usageError(err, error.text());
        print(err, u"orveloctl: "_s + error.text() + u'\n');
        return error.exitStatus();
    }
    if (command->changesTerminalUsers && terminals.size() > 1 && !global.isSet(u"yes"_s))
        return usageError(err,
                          name + u" changes the terminals' users or erases them: give --yes to run it on "_s +
                              QString::number(terminals.size()) + u" terminals"_s);

    DataModule data;
    QString serverReason;
    if (!openStartupDatabase(data, appDir, &serverReason)) {
        print(err, startupFailureCaption() + u": "_s + startupFailureText() + u'\n');
        // The window shows only the one message; the console also says which key is unusable, or
        // what the database server (libpq) said.
        if (const QString problem = databaseSettingsProblem(appDir); !problem.isEmpty())
            print(err, problem + u'\n');
        if (!serverReason.isEmpty()) print(err, serverReason + u'\n');
        return kExitStartup;
    }

    QStringList setOptions;
    for (const QCommandLineOption& option : command->options)
        if (own.isSet(option.names().constFirst())) setOptions << option.names().constFirst();
    LazyTerminalLibrary library(QCoreApplication::applicationDirPath());
    // A terminal or store command stops at its next record or user on SIGINT or SIGTERM and
    // ends as incomplete; the others keep the default action (and the watch its own).
    std::optional<CancelOnStopSignals> stopSignals;
    if (command->holdsFolderLock && !command->runOnAllTerminals) stopSignals.emplace();
    const CommandRequest request{*command,
                                 setOptions,
                                 [&own](const QString& option) { return own.value(option); },
                                 positional,
                                 data,
                                 library,
                                 appDir,
                                 std::chrono::seconds(waitSeconds),
                                 stopSignals ? &stopSignals->cancellation() : nullptr};
    if (command->runOnAllTerminals) return command->runOnAllTerminals(request, terminals, out, err);
    // A run on one terminal, named or not, looks as it always has; the headings and the summary
    // come with --all-terminals, several --terminal or --json, so that a script sees one shape
    // whatever the list holds.
    if (json || global.isSet(u"all-terminals"_s) || terminals.size() > 1)
        return runOnTerminals(request, terminals, json, out, err);
    return runOnTerminal(request, terminals.constFirst(), out, err).exitStatus;
}

}  // namespace orvelo::cli
