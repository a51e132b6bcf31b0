#include "cli/orveloctl.h"

#include <unistd.h>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <optional>

#include "shell/handler_guard.h"
#include "shell/panel_defaults.h"
#include "shell/startup.h"
#include "cli/command_table.h"
#include "cli/connect_watch.h"
#include "cli/console_operator_view.h"
#include "core/datetime.h"
#include "db/data_module.h"
#include "device/connection.h"
#include "device/loaded_terminal_library.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

struct GlobalOption {
    QCommandLineOption option;
    QString help;  // the option column of --help
};

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

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
        const ConnectionPanelState initial = initialPanelState();
        auto text = [](const QString& name, const QString& description, const QString& value) {
            return QCommandLineOption(name, description, u"TEXT"_s, value);
        };
        m_options = {
            {QCommandLineOption(u"app-dir"_s,
                                u"folder of hv.ini and data (default: the executable's folder)"_s, u"DIR"_s),
             u"--app-dir DIR"_s},
            {text(u"machine"_s, u"machine number, edt_MachineNO (default \"1\")"_s, initial.machineNo),
             u"--machine TEXT"_s},
            {QCommandLineOption(u"link"_s, u"link to the terminal (default usb)"_s, u"LINK"_s, u"usb"_s),
             u"--link usb|serial|tcp"_s},
            {text(u"com"_s, u"serial port, cbb_commport (default \"COM1\")"_s, initial.comPort),
             u"--com TEXT"_s},
            {text(u"baud"_s, u"serial speed, cbb_baudrate (default \"38400\")"_s, initial.baudRate),
             u"--baud TEXT"_s},
            {text(u"ip"_s, u"terminal address, edt_ip_address (default \""_s + initial.ipAddress + u"\")"_s,
                  initial.ipAddress),
             u"--ip TEXT"_s},
            {text(u"port"_s, u"network port, edt_NetPort (default \"5005\")"_s, initial.netPort),
             u"--port TEXT"_s},
            {QCommandLineOption(u"udp"_s, u"UDP instead of TCP, chk_UDP"_s), u"--udp"_s},
            {text(u"timeout"_s, u"network time-out in ms, edt_TimeOut (default \"5000\")"_s, initial.timeOut),
             u"--timeout TEXT"_s},
            {text(u"password"_s, u"communication password, edt_NetPassWord (default \"0\")"_s,
                  initial.netPassword),
             u"--password TEXT"_s},
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
        u"passed as texts and converted as the window converts them.\n\nOptions:\n"_s;
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
        u"\nExit status: 0 done; 1 the terminal could not be reached or a warning was shown;\n"
        u"2 an error stopped the command; 3 the database could not be used (start-up); 64 usage error.\n"_s;
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

std::optional<ConnectionPanelState> panelFrom(const QCommandLineParser& parser, QString& error) {
    ConnectionPanelState state = initialPanelState();
    const QString link = parser.value(u"link"_s);
    state.usbChecked = link == u"usb"_s;
    state.rs232Checked = link == u"serial"_s;
    state.tcpIpChecked = link == u"tcp"_s;
    if (!state.usbChecked && !state.rs232Checked && !state.tcpIpChecked) {
        error = u"--link takes usb, serial or tcp, not '"_s + link + u"'"_s;
        return std::nullopt;
    }
    state.machineNo = parser.value(u"machine"_s);
    state.comPort = parser.value(u"com"_s);
    state.baudRate = parser.value(u"baud"_s);
    state.ipAddress = parser.value(u"ip"_s);
    state.netPort = parser.value(u"port"_s);
    state.udpTicked = parser.isSet(u"udp"_s);
    state.timeOut = parser.value(u"timeout"_s);
    state.netPassword = parser.value(u"password"_s);
    return state;
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
        const QString problem = command->checkUsage(
            {[&own](const QString& option) { return own.isSet(option); },
             [&own](const QString& option) { return own.value(option); }, positional});
        if (!problem.isEmpty()) return usageError(err, name + u": "_s + problem);
    }

    QString panelError;
    const std::optional<ConnectionPanelState> panelState = panelFrom(global, panelError);
    if (!panelState) return usageError(err, panelError);
    const QString appDir =
        applicationFolder(global.value(u"app-dir"_s), QCoreApplication::applicationDirPath());

    DataModule data;
    if (!openStartupDatabase(data, appDir)) {
        print(err, startupFailureCaption() + u": "_s + startupFailureText() + u'\n');
        return kExitStartup;
    }

    ConsoleOperatorView view(out, err, ::isatty(::fileno(err)) == 1);
    for (qsizetype i = 0; i < positional.size(); ++i)
        if (command->arguments.at(i).answersFileDialog) view.answerFileDialog(positional.at(i));
    ConnectionSettings settings;
    LazyTerminalLibrary library(QCoreApplication::applicationDirPath());
    ConnectWatch terminal(library);
    const SystemClock clock;
    CommandContext context{view, *panelState, settings, terminal, data, clock, appDir};

    QStringList setOptions;
    for (const QCommandLineOption& option : command->options)
        if (own.isSet(option.names().constFirst())) setOptions << option.names().constFirst();
    CommandInvocation invocation(
        context, view, setOptions, [&own](const QString& option) { return own.value(option); }, positional);
    runWithDefaultErrorBox(view, [&] { command->run(invocation); });

    if (view.errorBoxShown()) return kExitError;
    if (view.warningBoxShown() || terminal.connectFailed()) return kExitNotReached;
    return kExitDone;
}

}  // namespace orvelo::cli
