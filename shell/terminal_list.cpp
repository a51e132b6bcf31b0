#include "shell/terminal_list.h"

#include <QFile>
#include <QList>
#include <QStringDecoder>
#include <QStringList>
#include <vector>

#include "core/ini_file.h"
#include "core/text.h"
#include "shell/panel_defaults.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

using Line = IniFile::Line;

// Sets `key` of the panel from `value`; false for a key the list does not know.
bool setField(ConnectionPanelState& panel, const QString& key, const QString& value) {
    QString* text = nullptr;
    if (key == u"machine"_s)
        text = &panel.machineNo;
    else if (key == u"com"_s)
        text = &panel.comPort;
    else if (key == u"baud"_s)
        text = &panel.baudRate;
    else if (key == u"ip"_s)
        text = &panel.ipAddress;
    else if (key == u"port"_s)
        text = &panel.netPort;
    else if (key == u"timeout"_s)
        text = &panel.timeOut;
    else if (key == u"password"_s)
        text = &panel.netPassword;
    if (!text) return false;
    *text = value;
    return true;
}

// A text of the file quoted in a message.
QString quoted(const QString& text) {
    return u'\'' + escapeControlCharacters(text) + u'\'';
}

// The numbers of the lines (counted from 1, split at '\n' as the reader splits them) whose bytes
// are not UTF-8. UTF-8 never uses the byte of '\n' inside a character, so a line decodes alone.
QList<int> linesNotUtf8(const QByteArray& bytes) {
    QList<int> numbers;
    int number = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        ++number;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(line);  // the decoding happens in this conversion
        if (utf8.hasError()) numbers << number;
    }
    return numbers;
}

// " in [name]" of the section a key line belongs to; empty before the first heading (null).
QString whereText(const QString* section) {
    return section ? u" in ["_s + escapeControlCharacters(*section) + u']' : QString();
}

// What a message calls the line: the key with its section, the heading, or the line.
QString subjectOf(const Line& line, const QString* section) {
    switch (line.kind) {
        case Line::Kind::Key:
            return u"key "_s + quoted(line.name) + whereText(section);
        case Line::Kind::Section:
            return u"the heading"_s;
        case Line::Kind::Other:
            break;
    }
    return u"the line"_s;
}

// Bytes that are not UTF-8 (`notUtf8`), a line the reader would cut (a value longer than
// IniFile::maxValueLength) and control characters would each give a connect something other
// than what the file seems to say: a NUL cuts an address where the library reads it.
void refuseHostileText(const QString& path, const Line& line, const QString* section, bool notUtf8) {
    const auto fail = [&](const QString& problem) { throw TerminalListError(path, line.number, problem); };
    const QString subject = subjectOf(line, section);
    if (notUtf8) fail(subject + u": not UTF-8 text"_s);
    if (line.text.size() > IniFile::maxValueLength)
        fail(subject + u": the line is longer than "_s + QString::number(IniFile::maxValueLength) +
             u" characters"_s);
    // Only the name and the value: blanks around them, tabs included, are dropped as in hv.ini,
    // and what follows a heading's ']' is refused as such.
    switch (line.kind) {
        case Line::Kind::Key:
            if (hasControlCharacter(line.name)) fail(subject + u": a control character in its name"_s);
            if (hasControlCharacter(line.value))
                fail(subject + u": a control character in the value "_s + quoted(line.value));
            return;
        case Line::Kind::Section:
        case Line::Kind::Other:
            if (hasControlCharacter(line.kind == Line::Kind::Section ? line.name : line.text))
                fail(subject + u": a control character in "_s + quoted(line.text));
            return;
    }
}

class Reader {
public:
    explicit Reader(QString path, QList<int> linesNotUtf8 = {}) : m_linesNotUtf8(std::move(linesNotUtf8)) {
        m_list.path = std::move(path);
    }

    TerminalList read(const std::vector<Line>& lines) {
        m_list.fileFound = true;
        for (const Line& line : lines) {
            refuseHostileText(line);
            switch (line.kind) {
                case Line::Kind::Section:
                    startSection(line);
                    break;
                case Line::Kind::Key:
                    addKey(line);
                    break;
                case Line::Kind::Other:
                    fail(line, u"neither [name] nor key = value: "_s + quoted(line.text));
            }
        }
        return std::move(m_list);
    }

private:
    [[noreturn]] void fail(const Line& line, const QString& problem) const {
        throw TerminalListError(m_list.path, line.number, problem);
    }

    // The section a key line belongs to; null before the first heading.
    const QString* section() const {
        return m_list.entries.isEmpty() ? nullptr : &m_list.entries.last().name;
    }

    QString where() const { return whereText(section()); }

    void refuseHostileText(const Line& line) const {
        orvelo::refuseHostileText(m_list.path, line, section(), m_linesNotUtf8.contains(line.number));
    }

    void startSection(const Line& line) {
        if (!line.text.endsWith(u']') || line.text.indexOf(u']') != line.text.size() - 1)
            fail(line, u"a heading is [name], the name without ']': "_s + quoted(line.text));
        if (line.name.isEmpty()) fail(line, u"a terminal without a name"_s);
        if (const TerminalEntry* first = m_list.find(line.name))
            fail(line, u"the name "_s + quoted(line.name) + u" is used twice (first on line "_s +
                           QString::number(first->line) + u')');
        m_list.entries.append({line.name, initialPanelState(), line.number});
        m_keysSeen.clear();
    }

    void addKey(const Line& line) {
        if (m_list.entries.isEmpty())
            fail(line, u"key "_s + quoted(line.name) + u" before the first [terminal name]"_s);
        TerminalEntry& entry = m_list.entries.last();
        const QString where = this->where();
        const QString key = line.name.toLower();
        if (m_keysSeen.contains(key)) fail(line, u"key "_s + quoted(line.name) + u" given twice"_s + where);
        m_keysSeen << key;
        if (key == u"link"_s) {
            const QString link = line.value.toLower();
            if (link == u"usb"_s)
                entry.panel.chooseUsb();
            else if (link == u"serial"_s)
                entry.panel.chooseSerial();
            else if (link == u"tcp"_s)
                entry.panel.chooseTcpIp();
            else
                fail(line, u"key 'link' takes usb, serial or tcp, not "_s + quoted(line.value) + where);
        } else if (key == u"udp"_s) {
            if (line.value != u"0"_s && line.value != u"1"_s)
                fail(line, u"key 'udp' takes 0 or 1, not "_s + quoted(line.value) + where);
            entry.panel.udpTicked = line.value == u"1"_s;
        } else if (!setField(entry.panel, key, line.value)) {
            fail(line, u"unknown key "_s + quoted(line.name) + where +
                           u" (known: machine, link, com, baud, ip, port, udp, timeout, password)"_s);
        }
    }

    TerminalList m_list;
    QList<int> m_linesNotUtf8;
    QStringList m_keysSeen;  // of the current section, in lower case
};

}  // namespace

const TerminalEntry* TerminalList::find(const QString& name) const {
    for (const TerminalEntry& entry : entries)
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0) return &entry;
    return nullptr;
}

QString terminalListPath(const QString& appDir) {
    return appDir + u"terminals.ini"_s;
}

TerminalList readTerminalList(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        TerminalList missing;
        missing.path = path;
        return missing;
    }
    return readTerminalListBytes(path, file.readAll());
}

TerminalList readTerminalListBytes(const QString& path, const QByteArray& bytes) {
    // UTF-8 only, unlike hv.ini: a byte that is no UTF-8 is refused on its line rather than read
    // in some other code page, where it would become a different name or address.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return Reader(path, utf8.hasError() ? linesNotUtf8(bytes) : QList<int>{})
        .read(IniFile::linesOfText(text));
}

void checkTerminalListLine(const QString& path, const IniFile::Line& line, const QString* section) {
    refuseHostileText(path, line, section, false);
}

TerminalList readTerminalListText(const QString& path, const QString& text) {
    return Reader(path).read(IniFile::linesOfText(text));
}

}  // namespace orvelo
