#include "shell/terminal_list.h"

#include <QStringList>
#include <optional>
#include <vector>

#include "core/ini_file.h"
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

class Reader {
public:
    explicit Reader(QString path) { m_list.path = std::move(path); }

    TerminalList read(const std::vector<Line>& lines) {
        m_list.fileFound = true;
        for (const Line& line : lines) {
            switch (line.kind) {
                case Line::Kind::Section:
                    startSection(line);
                    break;
                case Line::Kind::Key:
                    addKey(line);
                    break;
                case Line::Kind::Other:
                    fail(line, u"neither [name] nor key = value: '"_s + line.text + u"'"_s);
            }
        }
        return std::move(m_list);
    }

private:
    [[noreturn]] void fail(const Line& line, const QString& problem) const {
        throw TerminalListError(m_list.path, line.number, problem);
    }

    void startSection(const Line& line) {
        if (!line.text.endsWith(u']') || line.text.indexOf(u']') != line.text.size() - 1)
            fail(line, u"a heading is [name], the name without ']': '"_s + line.text + u"'"_s);
        if (line.name.isEmpty()) fail(line, u"a terminal without a name"_s);
        if (const TerminalEntry* first = m_list.find(line.name))
            fail(line, u"the name '"_s + line.name + u"' is used twice (first on line "_s +
                           QString::number(first->line) + u')');
        m_list.entries.append({line.name, initialPanelState(), line.number});
        m_keysSeen.clear();
    }

    void addKey(const Line& line) {
        if (m_list.entries.isEmpty())
            fail(line, u"key '"_s + line.name + u"' before the first [terminal name]"_s);
        TerminalEntry& entry = m_list.entries.last();
        const QString where = u" in ["_s + entry.name + u']';
        const QString key = line.name.toLower();
        if (m_keysSeen.contains(key)) fail(line, u"key '"_s + line.name + u"' given twice"_s + where);
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
                fail(line, u"key 'link' takes usb, serial or tcp, not '"_s + line.value + u"'"_s + where);
        } else if (key == u"udp"_s) {
            if (line.value != u"0"_s && line.value != u"1"_s)
                fail(line, u"key 'udp' takes 0 or 1, not '"_s + line.value + u"'"_s + where);
            entry.panel.udpTicked = line.value == u"1"_s;
        } else if (!setField(entry.panel, key, line.value)) {
            fail(line, u"unknown key '"_s + line.name + u"'"_s + where +
                           u" (known: machine, link, com, baud, ip, port, udp, timeout, password)"_s);
        }
    }

    TerminalList m_list;
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
    const std::optional<std::vector<Line>> lines = IniFile::linesOfFile(path);
    if (!lines) {
        TerminalList missing;
        missing.path = path;
        return missing;
    }
    return Reader(path).read(*lines);
}

TerminalList readTerminalListText(const QString& path, const QString& text) {
    return Reader(path).read(IniFile::linesOfText(text));
}

}  // namespace orvelo
