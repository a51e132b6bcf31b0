#pragma once

// The commands of orveloctl: one table that every subsystem adds its commands to from a file of
// its own (cli/device_commands.cpp, cli/collection_commands.cpp, cli/enrollment_commands.cpp,
// cli/directory_commands.cpp), with one registration per command:
//
//     #include "cli/command_table.h"
//     #include "device/maintenance.h"
//
//     namespace orvelo::cli {
//     namespace {
//     const CommandRegistration kSetTime{{
//         .name = u"set-time"_s,
//         .summary = u"同步设备时间: sets the terminal's clock to this PC's time"_s,
//         .run = [](CommandInvocation& run) { orvelo::btn_SetTimeClick(run.context()); },
//     }};
//     }  // namespace
//     }  // namespace orvelo::cli
//
// and the file's name added to ORVELO_CLI_COMMAND_FILES in cli/CMakeLists.txt. The registration
// runs when the program starts (the command files are linked as objects, so none is dropped);
// --help lists the commands by name.
//
// A command's own options are QCommandLineOptions (.options), read with run.isSet / run.value;
// its positional arguments are listed in .arguments and read with run.argument(i). An argument
// marked .answersFileDialog stands for the operator's choice in the file-open dialog: its path,
// made absolute, is what the command's chooseFile() returns; without it the dialog is cancelled.
//
// orveloctl has already opened the database (hv.ini of --app-dir) and the employee lists when
// run() is called; run() executes inside the default-error-box guard, so an orvelo::Error ends
// the command with "Orvelo系统: <text>" on stderr and exit status 2. A connect call that fails or
// a warning box gives exit status 1. A command that needs an EmployeeSelection sets
// run.context().selection itself. A command whose function returns a CommandOutcome hands it to
// run.setOutcome, so that a run over many terminals can count it in its summary; set
// .changesTerminalUsers on a command that changes a terminal's users or erases it.

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "context/command_context.h"
#include "core/command_outcome.h"

namespace orvelo::cli {

class ConsoleOperatorView;
struct CommandRequest;
struct SelectedTerminal;

// A positional argument of a command.
struct CommandArgument {
    QString name;         // shown in the usage line, e.g. "FILE"
    QString description;  // one line for the command's --help
    bool optional = false;
    bool answersFileDialog = false;  // the file the operator chooses in dlgOpen_1
};

class CommandInvocation;

// A command's own options and arguments as given, before the start-up.
struct CommandLineValues {
    std::function<bool(const QString&)> isSet;
    std::function<QString(const QString&)> value;
    QStringList arguments;
};

struct CommandDefinition {
    QString name;              // the word on the command line, e.g. "collect"
    QString summary;           // one line for the list of --help
    QString description = {};  // more text for the command's own --help (optional)
    QList<QCommandLineOption> options = {};
    QList<CommandArgument> arguments = {};
    std::function<void(CommandInvocation&)> run;
    // Optional: checks the options and arguments before the start-up; a text back is a usage
    // error (exit status 64, the database untouched).
    std::function<QString(const CommandLineValues&)> checkUsage = {};
    // The command changes a terminal's users or erases it: on more than one terminal at once it
    // runs only with --yes.
    bool changesTerminalUsers = false;
    // The command talks to a terminal or stores records: it runs holding the application folder's
    // lock, so that it never overlaps such a command of the window or of another orveloctl.
    bool holdsFolderLock = false;
    // The command runs once over all the chosen terminals together (a watch that listens to every
    // one of them at the same time) instead of once per terminal; it returns the exit status.
    std::function<int(const CommandRequest&, const QList<SelectedTerminal>&, std::FILE* out, std::FILE* err)>
        runOnAllTerminals = {};
};

// What a command's run() gets: the context of every command function, the console view and
// the command's own options and arguments.
class CommandInvocation {
public:
    CommandInvocation(CommandContext& context, ConsoleOperatorView& console, const QStringList& setOptions,
                      std::function<QString(const QString&)> valueOf, QStringList arguments);

    CommandContext& context() { return m_context; }
    ConsoleOperatorView& console() { return m_console; }

    // Whether option `name` (its first name, without dashes) was given.
    bool isSet(const QString& name) const;
    // The option's value (its default value when it was not given).
    QString value(const QString& name) const;
    // The positional arguments as given; argument(i) is empty when there is none.
    const QStringList& arguments() const { return m_arguments; }
    QString argument(qsizetype i) const { return m_arguments.value(i); }

    // What the command came to, for a command function that returns it; a run over many terminals
    // puts it in its summary. Without it the result is read off the boxes and the connect calls.
    void setOutcome(const CommandOutcome& outcome) { m_outcome = outcome; }
    const std::optional<CommandOutcome>& outcome() const { return m_outcome; }

private:
    CommandContext& m_context;
    ConsoleOperatorView& m_console;
    QStringList m_setOptions;
    std::function<QString(const QString&)> m_valueOf;
    QStringList m_arguments;
    std::optional<CommandOutcome> m_outcome;
};

// The table: commands in the order they were registered; find() by name.
class CommandTable {
public:
    // Adds `command`; two commands of one name are a programming error and end the program.
    void add(CommandDefinition command);
    const CommandDefinition* find(const QString& name) const;
    // Sorted by name, as --help lists them.
    std::vector<const CommandDefinition*> sorted() const;

private:
    std::deque<CommandDefinition> m_commands;  // keeps its elements in place as it grows
};

// The one table of the program.
CommandTable& commandTable();

// Registers a command when the program starts: one constant of this type per command.
struct CommandRegistration {
    explicit CommandRegistration(CommandDefinition command) { commandTable().add(std::move(command)); }
};

}  // namespace orvelo::cli
