#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>

#include "core/errors.h"
#include "core/ports.h"
#include "core/terminal_address.h"

namespace orvelo::cli {

// A terminal that a command runs on: its name in terminals.ini (empty for the one terminal that
// the connection options alone describe) and the connection panel's texts for it.
struct SelectedTerminal {
    QString name;
    ConnectionPanelState panel;

    TerminalAddress address() const { return parseTerminalAddress(panel); }
};

// The terminals could not be chosen. exitStatus() is kExitUsage for a fault of the command line
// (a bad --link, --terminal together with --all-terminals) and kExitError for a fault of
// terminals.ini (missing, unreadable, a bad line, a name it does not hold).
class TerminalSelectionError : public Error {
public:
    TerminalSelectionError(const QString& text, int exitStatus) : Error(text), m_exitStatus(exitStatus) {}
    int exitStatus() const { return m_exitStatus; }

private:
    int m_exitStatus;
};

// The global options of orveloctl that describe terminals, for every command that runs on them
// (orveloctl's commands, and long-running ones such as a watch): the connection panel's fields
// (--machine, --link, --com, --baud, --ip, --port, --udp, --timeout, --password, their defaults the
// panel's initial texts), --terminal NAME (repeatable) and --all-terminals.
QList<QCommandLineOption> terminalSelectionOptions();

// True when `parser` names terminals of the list (--terminal or --all-terminals).
bool namesListedTerminals(const QCommandLineParser& parser);

// The terminals that `parser`'s options (those of terminalSelectionOptions) choose, in the order
// to run them:
// - neither --terminal nor --all-terminals: one unnamed terminal, the connection options' texts;
// - --terminal NAME...: those sections of terminals.ini of `appDir`, in the order given (a name
//   given twice runs twice); names match without regard to letter case;
// - --all-terminals: every section in the file's order; a missing or empty file is an error,
//   since a run over no terminal would look like a success.
// A connection option given on the command line wins over every section's key (--udp ticks UDP
// for all of them). Throws TerminalSelectionError.
QList<SelectedTerminal> selectTerminals(const QCommandLineParser& parser, const QString& appDir);

}  // namespace orvelo::cli
