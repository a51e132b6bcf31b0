// orveloctl terminals: the terminals of terminals.ini with their settings and the last
// collection from each.
#include "cli/command_table.h"
#include "cli/console_operator_view.h"
#include "collection/collection_history.h"
#include "core/errors.h"
#include "core/terminal_address.h"
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

void listTerminals(CommandInvocation& run) {
    const QString appDir = run.context().appDir;
    const TerminalList list = readTerminalList(terminalListPath(appDir));
    if (!list.fileFound) throw FileError(list.path + u": no such file"_s);

    const CollectionHistoryRead found = readCollectionHistory(appDir);
    if (found.damaged)
        run.console().printError(u"orveloctl: "_s + collectionHistoryPath(appDir) +
                                 u" is damaged; the next collection replaces it (the old one is kept as "
                                 u".collections.json.bad)"_s);
    QString text;
    for (const TerminalEntry& entry : list.entries) {
        const TerminalAddress address = entry.address();
        const QString key = address.key();
        text += entry.name + u" ("_s + key + u")\n"_s;
        text += u"  settings: "_s + address.description() + u'\n';
        text += u"  last collection: "_s + lastCollectionLine(found.history, key) + u'\n';
    }
    run.console().printOutput(text);
}

const CommandRegistration kTerminals{{
    .name = u"terminals"_s,
    .summary = u"lists the terminals of terminals.ini, their settings and the last collection from each"_s,
    .description =
        u"Checks terminals.ini of the application folder (a missing or bad file is an error, exit "
        u"status 2) and prints, for each terminal in the file's order, three lines: its name with the "
        u"connection it stands for, its settings as orveloctl's options, and the last collection from "
        u"that connection, by the window or by orveloctl (\"none\" when there was none). The last "
        u"collections are kept in data/.collections.json."_s,
    .run = listTerminals,
}};

}  // namespace

}  // namespace orvelo::cli
