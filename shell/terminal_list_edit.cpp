#include "shell/terminal_list_edit.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "core/ini_file.h"
#include "core/text.h"
#include "shell/panel_defaults.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

using Line = IniFile::Line;

const QByteArray kByteOrderMark = "\xEF\xBB\xBF";

// The keys in the order a new section is written.
const QStringList kKeys = {u"machine"_s, u"link"_s, u"com"_s,     u"baud"_s,    u"ip"_s,
                           u"port"_s,    u"udp"_s,  u"timeout"_s, u"password"_s};

QString linkText(const ConnectionPanelState& panel) {
    if (panel.rs232Checked) return u"serial"_s;
    if (panel.tcpIpChecked) return u"tcp"_s;
    return u"usb"_s;
}

// The keys the chosen link reads: written into a new section whatever their texts.
QStringList linkKeys(const QString& link) {
    if (link == u"serial"_s) return {u"com"_s, u"baud"_s};
    if (link == u"tcp"_s) return {u"ip"_s, u"port"_s, u"udp"_s, u"timeout"_s, u"password"_s};
    return {};
}

// Without the blanks the reader drops around a name or value. Only those that can be typed: any
// other blank is a control character, which the check refuses rather than hides.
QString withoutBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
    return text.mid(begin, end - begin);
}

QString valueOf(const QList<std::pair<QString, QString>>& keys, const QString& key) {
    for (const auto& [name, value] : keys)
        if (name == key) return value;
    return {};
}

bool sameValue(const QString& key, const QString& a, const QString& b) {
    // The reader takes the link's word without regard to letter case: "TCP" stays as written.
    return key == u"link"_s ? a.compare(b, Qt::CaseInsensitive) == 0 : a == b;
}

// The file's text as lines, each without its '\n' (a CR of a CR LF end stays on its line).
class Document {
public:
    explicit Document(const QString& text) {
        if (text.isEmpty()) return;
        lines = text.split(u'\n');
        m_finalNewline = text.endsWith(u'\n');
        if (m_finalNewline) lines.removeLast();
        for (const QString& line : lines)
            if (line.endsWith(u'\r')) {
                m_cr = u"\r"_s;
                break;
            }
    }

    QString text() const {
        if (lines.isEmpty()) return {};
        return lines.join(u'\n') + (m_finalNewline ? u"\n"_s : QString());
    }

    // A line as the file would hold it, with the file's line end.
    QString ended(const QString& content) const { return content + m_cr; }

    void insert(qsizetype at, const QStringList& content) {
        if (content.isEmpty()) return;
        if (at == lines.size() && !m_finalNewline) {
            // The last line gets the end it lacked.
            if (!lines.isEmpty()) lines.last() = ended(lines.last());
            m_finalNewline = true;
        }
        for (qsizetype i = 0; i < content.size(); ++i) lines.insert(at + i, ended(content[i]));
    }

    // The line without its CR.
    QString content(qsizetype index) const {
        QString line = lines[index];
        if (line.endsWith(u'\r')) line.chop(1);
        return line;
    }
    void replace(qsizetype index, const QString& content) {
        lines[index] = lines[index].endsWith(u'\r') ? content + u'\r' : content;
    }
    bool blank(qsizetype index) const { return content(index).trimmed().isEmpty(); }

    QStringList lines;

private:
    bool m_finalNewline = false;
    QString m_cr;
};

// A section of the file: line indices (from 0) of its heading, its last key (the heading when it
// has none) and the line after it (the next heading, or the end of the file).
struct Section {
    QString name;
    qsizetype heading = 0;
    qsizetype lastKey = 0;
    qsizetype end = 0;
    std::vector<Line> keys;
};

std::optional<Section> findSection(const Document& document, const QString& name) {
    std::optional<Section> found;
    for (const Line& line : IniFile::linesOfText(document.text())) {
        const qsizetype index = line.number - 1;
        if (line.kind == Line::Kind::Section) {
            if (found) {
                found->end = index;
                return found;
            }
            if (line.name.compare(name, Qt::CaseInsensitive) == 0)
                found = Section{line.name, index, index, document.lines.size(), {}};
        } else if (found && line.kind == Line::Kind::Key) {
            found->lastKey = index;
            found->keys.push_back(line);
        }
    }
    return found;
}

// The text between a key and its value in this file ("=", " = ", ...), taken from its first key
// line that has a value; " = " for a file without one.
QString separatorOf(const Document& document) {
    for (const Line& line : IniFile::linesOfText(document.text())) {
        if (line.kind != Line::Kind::Key || line.value.isEmpty()) continue;
        const QString text = line.text;
        const qsizetype equals = text.indexOf(u'=');
        qsizetype from = equals;
        while (from > 0 && (text[from - 1] == u' ' || text[from - 1] == u'\t')) --from;
        qsizetype to = equals + 1;
        while (to < text.size() && (text[to] == u' ' || text[to] == u'\t')) ++to;
        return text.mid(from, to - from);
    }
    return u" = "_s;
}

// The reader's own checks of the lines an edit writes, before they reach the text: a line break
// in a name or value would split its line into others that the reader might take.
void checkHeading(const QString& path, qsizetype index, const QString& name) {
    checkTerminalListLine(path, Line{Line::Kind::Section, int(index + 1), name, {}, u'[' + name + u']'},
                          nullptr);
}

void checkKey(const QString& path, qsizetype index, const QString& section, const QString& key,
              const QString& value, const QString& text) {
    checkTerminalListLine(path, Line{Line::Kind::Key, int(index + 1), key, value, text}, &section);
}

// The panel's texts, without the blanks the reader drops.
QList<std::pair<QString, QString>> keysToWrite(const ConnectionPanelState& panel) {
    QList<std::pair<QString, QString>> keys = terminalListKeys(panel);
    for (auto& [key, value] : keys) value = withoutBlanks(value);
    return keys;
}

Section sectionOrFail(const QString& path, const Document& document, const QString& name) {
    std::optional<Section> section = findSection(document, name);
    if (!section) throw FileError(path + u": no terminal named '"_s + escapeControlCharacters(name) + u"'"_s);
    return *section;
}

// The new text, once the reader takes it.
QString checked(const QString& path, const Document& document) {
    const QString text = document.text();
    readTerminalListText(path, text);
    return text;
}

struct FileText {
    QString text;
    bool found = false;
    bool byteOrderMark = false;
};

FileText readFileText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (QFileInfo::exists(path)) throw FileError(u"cannot read "_s + path + u": "_s + file.errorString());
        return {};
    }
    const QByteArray bytes = file.readAll();
    // A bad file is refused as the reader refuses it (bytes that are not UTF-8 on their line).
    readTerminalListBytes(path, bytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    FileText read;
    read.text = utf8.decode(bytes);
    read.found = true;
    read.byteOrderMark = bytes.startsWith(kByteOrderMark) && !read.text.startsWith(QChar(0xFEFF));
    return read;
}

FileText readExistingFileText(const QString& path) {
    FileText read = readFileText(path);
    if (!read.found) throw FileError(path + u": no such file"_s);
    return read;
}

// The file a path names: a symbolic link is followed (an installation may link the application
// folder's terminals.ini to /etc/orvelo/), so that the rename replaces the file and not the link.
QString fileBehind(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

TerminalList write(const QString& path, const FileText& old, const QString& text) {
    const QByteArray bytes = (old.byteOrderMark ? kByteOrderMark : QByteArray()) + text.toUtf8();
    if (const QString problem = replaceFileAtomically(fileBehind(path), bytes); !problem.isEmpty())
        throw FileError(problem);
    return readTerminalListText(path, text);
}

}  // namespace

QList<std::pair<QString, QString>> terminalListKeys(const ConnectionPanelState& panel) {
    return {
        {u"machine"_s, panel.machineNo},
        {u"link"_s, linkText(panel)},
        {u"com"_s, panel.comPort},
        {u"baud"_s, panel.baudRate},
        {u"ip"_s, panel.ipAddress},
        {u"port"_s, panel.netPort},
        {u"udp"_s, panel.udpTicked ? u"1"_s : u"0"_s},
        {u"timeout"_s, panel.timeOut},
        {u"password"_s, panel.netPassword},
    };
}

QString addTerminalToText(const QString& path, const QString& text, const QString& name,
                          const ConnectionPanelState& panel) {
    readTerminalListText(path, text);
    Document document(text);
    const QString heading = withoutBlanks(name);
    const QList<std::pair<QString, QString>> keys = keysToWrite(panel);
    const QList<std::pair<QString, QString>> initial = keysToWrite(initialPanelState());
    const QStringList always = QStringList{u"machine"_s, u"link"_s} + linkKeys(valueOf(keys, u"link"_s));
    const QString separator = separatorOf(document);

    QStringList added;
    if (!document.lines.isEmpty() && !document.blank(document.lines.size() - 1)) added << QString();
    const qsizetype first = document.lines.size() + added.size();
    checkHeading(path, first, heading);
    added << u'[' + heading + u']';
    for (const auto& [key, value] : keys) {
        if (!always.contains(key) && value == valueOf(initial, key)) continue;
        const QString line = key + separator + value;
        checkKey(path, document.lines.size() + added.size(), heading, key, value, line);
        added << line;
    }
    document.insert(document.lines.size(), added);
    return checked(path, document);
}

QString updateTerminalInText(const QString& path, const QString& text, const QString& name,
                             const ConnectionPanelState& panel) {
    readTerminalListText(path, text);
    Document document(text);
    const Section section = sectionOrFail(path, document, name);
    const QList<std::pair<QString, QString>> keys = keysToWrite(panel);
    const QList<std::pair<QString, QString>> initial = keysToWrite(initialPanelState());
    const QString separator = separatorOf(document);

    QList<std::pair<QString, QString>> missing;
    for (const auto& [key, value] : keys) {
        const Line* present = nullptr;
        for (const Line& line : section.keys)
            if (line.name.compare(key, Qt::CaseInsensitive) == 0) present = &line;
        if (!present) {
            if (value != valueOf(initial, key)) missing.append({key, value});
            continue;
        }
        if (sameValue(key, present->value, value)) continue;
        // The key's spelling and the blanks up to its value stay; only the value changes.
        const qsizetype index = present->number - 1;
        const QString old = document.content(index);
        qsizetype valueStart = old.indexOf(u'=') + 1;
        while (valueStart < old.size() && (old[valueStart] == u' ' || old[valueStart] == u'\t')) ++valueStart;
        QString line = old.left(valueStart) + value;
        while (line.endsWith(u' ') || line.endsWith(u'\t')) line.chop(1);
        checkKey(path, index, section.name, present->name, value, line.trimmed());
        document.replace(index, line);
    }
    // After the section's last key, in the order of a new section.
    const qsizetype at = section.lastKey + 1;
    QStringList added;
    for (const auto& [key, value] : missing) {
        const QString line = key + separator + value;
        checkKey(path, at + added.size(), section.name, key, value, line);
        added << line;
    }
    document.insert(at, added);
    return checked(path, document);
}

QString renameTerminalInText(const QString& path, const QString& text, const QString& name,
                             const QString& newName) {
    readTerminalListText(path, text);
    Document document(text);
    const Section section = sectionOrFail(path, document, name);
    const QString heading = withoutBlanks(newName);
    checkHeading(path, section.heading, heading);
    document.replace(section.heading, u'[' + heading + u']');
    return checked(path, document);
}

QString removeTerminalFromText(const QString& path, const QString& text, const QString& name) {
    readTerminalListText(path, text);
    Document document(text);
    const Section section = sectionOrFail(path, document, name);
    const qsizetype at = section.heading;
    document.lines.remove(at, section.lastKey - section.heading + 1);
    // One of the blank lines that framed the section goes with it.
    const bool blankBefore = at == 0 || document.blank(at - 1);
    if (at < document.lines.size() && document.blank(at) && blankBefore)
        document.lines.remove(at);
    else if (at == document.lines.size() && at > 0 && document.blank(at - 1))
        document.lines.remove(at - 1);
    return checked(path, document);
}

TerminalList addTerminal(const QString& path, const QString& name, const ConnectionPanelState& panel) {
    const FileText old = readFileText(path);
    return write(path, old, addTerminalToText(path, old.text, name, panel));
}

TerminalList updateTerminal(const QString& path, const QString& name, const ConnectionPanelState& panel) {
    const FileText old = readExistingFileText(path);
    return write(path, old, updateTerminalInText(path, old.text, name, panel));
}

TerminalList renameTerminal(const QString& path, const QString& name, const QString& newName) {
    const FileText old = readExistingFileText(path);
    return write(path, old, renameTerminalInText(path, old.text, name, newName));
}

TerminalList removeTerminal(const QString& path, const QString& name) {
    const FileText old = readExistingFileText(path);
    return write(path, old, removeTerminalFromText(path, old.text, name));
}

}  // namespace orvelo
