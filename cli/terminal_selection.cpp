#include "cli/terminal_selection.h"

#include "cli/orveloctl.h"
#include "core/text.h"
#include "shell/panel_defaults.h"
#include "shell/terminal_list.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

// The text options of the panel: option name and the field it fills.
struct TextField {
    QString option;
    QString ConnectionPanelState::*field;
};

const QList<TextField>& textFields() {
    static const QList<TextField> fields = {
        {u"machine"_s, &ConnectionPanelState::machineNo},    {u"com"_s, &ConnectionPanelState::comPort},
        {u"baud"_s, &ConnectionPanelState::baudRate},        {u"ip"_s, &ConnectionPanelState::ipAddress},
        {u"port"_s, &ConnectionPanelState::netPort},         {u"timeout"_s, &ConnectionPanelState::timeOut},
        {u"password"_s, &ConnectionPanelState::netPassword},
    };
    return fields;
}

// The options given on the command line laid over `panel`.
void applyGivenOptions(const QCommandLineParser& parser, ConnectionPanelState& panel) {
    for (const TextField& text : textFields())
        if (parser.isSet(text.option)) panel.*text.field = parser.value(text.option);
    if (parser.isSet(u"udp"_s)) panel.udpTicked = true;
    if (parser.isSet(u"link"_s)) {
        const QString link = parser.value(u"link"_s);
        if (link == u"usb"_s)
            panel.chooseUsb();
        else if (link == u"serial"_s)
            panel.chooseSerial();
        else if (link == u"tcp"_s)
            panel.chooseTcpIp();
        else
            throw TerminalSelectionError(
                u"--link takes usb, serial or tcp, not '"_s + escapeControlCharacters(link) + u"'"_s,
                kExitUsage);
    }
}

TerminalList readList(const QString& appDir) {
    try {
        return readTerminalList(terminalListPath(appDir));
    } catch (const TerminalListError& error) {
        throw TerminalSelectionError(error.text(), kExitError);
    }
}

}  // namespace

QList<QCommandLineOption> terminalSelectionOptions() {
    const ConnectionPanelState initial = initialPanelState();
    auto text = [](const QString& name, const QString& description, const QString& value) {
        return QCommandLineOption(name, description, u"TEXT"_s, value);
    };
    return {
        text(u"machine"_s, u"machine number, edt_MachineNO (default \"1\")"_s, initial.machineNo),
        QCommandLineOption(u"link"_s, u"link to the terminal (default usb)"_s, u"LINK"_s, u"usb"_s),
        text(u"com"_s, u"serial port, cbb_commport (default \"COM1\")"_s, initial.comPort),
        text(u"baud"_s, u"serial speed, cbb_baudrate (default \"38400\")"_s, initial.baudRate),
        text(u"ip"_s, u"terminal address, edt_ip_address (default \""_s + initial.ipAddress + u"\")"_s,
             initial.ipAddress),
        text(u"port"_s, u"network port, edt_NetPort (default \"5005\")"_s, initial.netPort),
        QCommandLineOption(u"udp"_s, u"UDP instead of TCP, chk_UDP"_s),
        text(u"timeout"_s, u"network time-out in ms, edt_TimeOut (default \"5000\")"_s, initial.timeOut),
        text(u"password"_s, u"communication password, edt_NetPassWord (default \"0\")"_s,
             initial.netPassword),
        QCommandLineOption(u"terminal"_s,
                           u"the terminal of that name in terminals.ini; repeat it for several, run in "
                           u"the order given; connection options given as well win over its keys"_s,
                           u"NAME"_s),
        QCommandLineOption(u"all-terminals"_s, u"every terminal of terminals.ini, in the file's order"_s),
    };
}

bool namesListedTerminals(const QCommandLineParser& parser) {
    return parser.isSet(u"terminal"_s) || parser.isSet(u"all-terminals"_s);
}

QList<SelectedTerminal> selectTerminals(const QCommandLineParser& parser, const QString& appDir) {
    const bool all = parser.isSet(u"all-terminals"_s);
    const QStringList names = parser.values(u"terminal"_s);
    if (all && !names.isEmpty())
        throw TerminalSelectionError(u"--terminal and --all-terminals exclude each other"_s, kExitUsage);

    QList<SelectedTerminal> chosen;
    if (!all && names.isEmpty()) {
        chosen.append({QString(), initialPanelState()});
    } else {
        const TerminalList list = readList(appDir);
        if (!list.fileFound)
            throw TerminalSelectionError(list.path + u": no such file (the list of terminals)"_s, kExitError);
        if (all) {
            if (list.entries.isEmpty())
                throw TerminalSelectionError(list.path + u": no terminal listed"_s, kExitError);
            for (const TerminalEntry& entry : list.entries) chosen.append({entry.name, entry.panel});
        }
        for (const QString& name : names) {
            const TerminalEntry* entry = list.find(name);
            if (!entry)
                throw TerminalSelectionError(
                    list.path + u": no terminal named '"_s + escapeControlCharacters(name) + u"'"_s,
                    kExitError);
            chosen.append({entry->name, entry->panel});
        }
    }
    for (SelectedTerminal& terminal : chosen) applyGivenOptions(parser, terminal.panel);
    return chosen;
}

}  // namespace orvelo::cli
