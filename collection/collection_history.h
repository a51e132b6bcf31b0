#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>

#include "core/command_outcome.h"

namespace orvelo {

struct ConnectionPanelState;
struct CommandContext;

// The last collection from each terminal, kept in data/.collections.json of the application
// folder, so that a list of terminals can say when each was last read and how that went. The
// leading dot keeps it out of the listings of raw record files that operators look through.
//
// A terminal is known by its connection description, not by a name: the window has no names, and
// a window collection from the panel must meet the orveloctl collection of a listed terminal with
// the same settings.
struct LastCollection {
    QString when;  // local date-time text, "yyyy-mm-dd hh:nn:ss"
    QString by;    // the program that collected: "window" or "orveloctl"
    CommandOutcome::Result result = CommandOutcome::Result::Done;
    int read = 0;
    int stored = 0;
    int rejected = 0;
    int refusedByDatabase = 0;

    friend bool operator==(const LastCollection&, const LastCollection&) = default;
};

// Connection description -> its last collection.
using CollectionHistory = std::map<QString, LastCollection>;

// The history's key of the terminal a panel state reaches: its address's key (TerminalAddress::key,
// e.g. "tcp 192.168.1.201:5005 machine 1", "serial COM3 machine 2", "usb machine 1").
QString terminalKey(const ConnectionPanelState& panel);

// The state file's text (results as resultWord gives them), and back. Parsing gives nullopt for anything that
// is not such a text (broken JSON, a wrong shape, an unknown result word, a negative count).
QByteArray collectionHistoryJson(const CollectionHistory& history);
std::optional<CollectionHistory> parseCollectionHistory(const QByteArray& json);

// data/.collections.json of the application folder `appDir` (ending with "/").
QString collectionHistoryPath(const QString& appDir);

// What reading the state file found.
struct CollectionHistoryRead {
    CollectionHistory history;  // empty when the file is missing or damaged
    bool damaged = false;       // the file exists but is not a state file
};
CollectionHistoryRead readCollectionHistory(const QString& appDir);

// Sets the entry of `key` in the state file of `appDir`. Writers are serialised by a lock file
// beside it (data/.collections.json.lock), and the new text replaces the old by rename after an
// fsync, so a reader or a crash sees the old state or the new, never a mixture. A damaged state
// file is moved aside to .collections.json.bad and a new one started. Creates `data` when needed.
// Returns an empty text on success, else what failed; it never throws, since the history must
// never stand in the way of a collection.
QString recordLastCollection(const QString& appDir, const QString& key, const LastCollection& entry);

// What the collection commands call when they know their outcome: the entry for the context's
// terminal, the context's program and clock. A failure to write goes to qWarning only.
void noteCollection(const CommandContext& ctx, const CommandOutcome& outcome);

}  // namespace orvelo
