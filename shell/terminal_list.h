#pragma once

#include <QList>
#include <QString>

#include "core/errors.h"
#include "core/ini_file.h"
#include "core/ports.h"
#include "core/terminal_address.h"

namespace orvelo {

// terminals.ini of the application folder, beside hv.ini: one section per terminal, named by its
// section heading, with the connection panel's fields under the names of orveloctl's options:
//
//     [Gate 1]
//     machine = 1
//     link = tcp
//     ip = 10.0.4.21
//     port = 5005
//
// Keys: machine, link (usb, serial or tcp), com, baud, ip, port, udp (0 or 1), timeout, password.
// An absent key keeps the panel's initial text. The texts are kept as typed and converted by
// ConnectDevice when a command runs, so a bad machine number or port gives the very error the
// window gives for it. Names and keys match without regard to letter case (the hv.ini rules).
struct TerminalEntry {
    QString name;                // as written in the heading
    ConnectionPanelState panel;  // the panel as the section fills it in
    int line = 0;                // the heading's line

    // The section as an address; its texts converted as a connect converts them.
    TerminalAddress address() const { return parseTerminalAddress(panel); }
};

struct TerminalList {
    QString path;
    bool fileFound = false;        // false: the file is missing or unreadable, and `entries` is empty
    QList<TerminalEntry> entries;  // in the file's order

    // The terminal of that name without regard to letter case, or null.
    const TerminalEntry* find(const QString& name) const;
};

// A terminal list that cannot be used. text() names the file, the line and the key or name, e.g.
// "/srv/orvelo/terminals.ini:7: unknown key 'adress' in [Gate 1]".
class TerminalListError : public Error {
public:
    TerminalListError(const QString& path, int line, const QString& problem)
        : Error(path + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") + problem),
          m_line(line) {}
    int line() const { return m_line; }

private:
    int m_line;
};

// The file's name in the application folder `appDir` (ending with "/").
QString terminalListPath(const QString& appDir);

// Reads and checks the list. A missing file gives an empty list with fileFound false: whether
// that is an error depends on what the caller wanted from it. Throws TerminalListError for an
// unknown or repeated key, an unknown link, a udp other than 0 or 1, a repeated or empty name,
// a key outside any section, a line that is neither heading nor key, and for hostile text: a
// control character (C0 with NUL, DEL, C1) in a name or value, a line longer than
// IniFile::maxValueLength characters, and (in a file) bytes that are not UTF-8. A message quotes
// the file's text with its control characters escaped (escapeControlCharacters).
TerminalList readTerminalList(const QString& path);
TerminalList readTerminalListText(const QString& path, const QString& text);
// The file's bytes as readTerminalList reads them (UTF-8 checked line by line).
TerminalList readTerminalListBytes(const QString& path, const QByteArray& bytes);

// The reader's checks of one line's own text (a control character in a name or value, a line
// longer than IniFile::maxValueLength), for a writer that must refuse what the reader would
// refuse and cannot let the text reach the file first: a line break in a value would split its
// line. Throws the reader's TerminalListError; `section` is the name of the section a key line
// belongs to (null before the first heading).
void checkTerminalListLine(const QString& path, const IniFile::Line& line, const QString* section);

}  // namespace orvelo
