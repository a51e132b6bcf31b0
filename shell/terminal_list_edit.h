#pragma once

#include <QList>
#include <QString>
#include <utility>

#include "core/ports.h"
#include "shell/terminal_list.h"

namespace orvelo {

// Changes to terminals.ini, for the window's terminal page. The file stays the operator's: every
// edit keeps its comments, blank lines, line ends (LF or CR LF), a byte-order mark, the order of
// its sections and keys and the spelling of the lines it does not change, and changes only the
// lines it must:
//
// - a new terminal is appended at the end as a section of its own, after a blank line: its
//   machine, link and the chosen link's keys (com, baud; ip, port, udp, timeout, password) always,
//   and any other key whose text differs from the panel's initial one, so that reading it back
//   gives the very panel it was given;
// - an update rewrites the value of each key present whose text changes (keeping the key's
//   spelling and the blanks around its '='), and adds after the section's last key only the keys
//   absent from it whose text differs from the panel's initial one (what an absent key means);
// - a rename rewrites the heading line only;
// - a removal takes the heading and the section's lines up to its last key (comments between its
//   keys included); comments before the heading and after the last key stay, and one of the blank
//   lines around it goes with it, so no double gap is left behind.
//
// Names and values are written without the blanks around them (the reader drops those anyway) and
// checked as readTerminalList checks them: an edit that would make a file the reader refuses (a
// name used twice without regard to letter case, an empty name or one with ']', a control
// character, a line longer than IniFile::maxValueLength) is refused with the reader's own
// TerminalListError, naming the line the edit would have written, and the file is not touched. A
// file that is bad already is refused with its error and never rewritten; a name the file does not
// hold and a missing file (but for an addition, which creates it) are a FileError.
//
// The new text replaces the file atomically (replaceFileAtomically: a temporary file beside it,
// then a rename), created with the mode the umask gives as every file of the application folder;
// a symbolic link is followed and the file it names replaced, the link staying a link.
// Each function returns the list as the new file reads.
TerminalList addTerminal(const QString& path, const QString& name, const ConnectionPanelState& panel);
TerminalList updateTerminal(const QString& path, const QString& name, const ConnectionPanelState& panel);
TerminalList renameTerminal(const QString& path, const QString& name, const QString& newName);
TerminalList removeTerminal(const QString& path, const QString& name);

// The same edits on a file's text (empty for a missing file), for tests and previews: the new
// text, checked as above; `path` only names the file in messages.
QString addTerminalToText(const QString& path, const QString& text, const QString& name,
                          const ConnectionPanelState& panel);
QString updateTerminalInText(const QString& path, const QString& text, const QString& name,
                             const ConnectionPanelState& panel);
QString renameTerminalInText(const QString& path, const QString& text, const QString& name,
                             const QString& newName);
QString removeTerminalFromText(const QString& path, const QString& text, const QString& name);

// A panel state as the keys of a section, in the order a new section is written: machine, link,
// then com and baud, ip, port, udp, timeout and password. Texts as the panel holds them; link
// "serial", "tcp" or "usb" by the panel's radio buttons in ConnectDevice's order, udp "1" or "0".
QList<std::pair<QString, QString>> terminalListKeys(const ConnectionPanelState& panel);

}  // namespace orvelo
