#include "core/ini_file.h"

#include <QFile>
#include <QStringDecoder>

namespace orvelo {

namespace {

bool isIniBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

QStringView stripIniBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isIniBlank(text[begin])) ++begin;
    while (end > begin && isIniBlank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

QString decodeIniBytes(const QByteArray& bytes) {
    if (auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(bytes);
    }
    {
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError()) return text;
    }
    QStringDecoder gb18030("GB18030");
    if (gb18030.isValid()) {
        QString text = gb18030.decode(bytes);
        if (!gb18030.hasError()) return text;
    }
    return QString::fromLatin1(bytes);
}

}  // namespace

IniFile IniFile::fromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return fromText(decodeIniBytes(file.readAll()));
}

std::optional<std::vector<IniFile::Line>> IniFile::linesOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return linesOfText(decodeIniBytes(file.readAll()));
}

std::vector<IniFile::Line> IniFile::linesOfText(const QString& text) {
    std::vector<Line> result;
    int number = 0;
    const auto lines = QStringView(text).split(u'\n');
    for (QStringView rawLine : lines) {
        ++number;
        const QStringView line = stripIniBlanks(rawLine);
        if (line.isEmpty() || line.front() == u';') continue;
        Line parsed;
        parsed.number = number;
        parsed.text = line.toString();
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            parsed.kind = Line::Kind::Section;
            parsed.name = stripIniBlanks(line.mid(1, close < 0 ? -1 : close - 1)).toString();
        } else if (const qsizetype eq = line.indexOf(u'='); eq >= 0) {
            parsed.kind = Line::Kind::Key;
            parsed.name = stripIniBlanks(line.left(eq)).toString();
            parsed.value = stripIniBlanks(line.mid(eq + 1)).left(maxValueLength).toString();
        }
        result.push_back(std::move(parsed));
    }
    return result;
}

IniFile IniFile::fromText(const QString& text) {
    IniFile ini;
    Section* current = nullptr;
    for (Line& line : linesOfText(text)) {
        if (line.kind == Line::Kind::Section) {
            // A look-up stops at the first section of a name, so the keys of a repeat are dropped.
            current = nullptr;
            if (!ini.findSection(line.name)) {
                ini.m_sections.push_back({std::move(line.name), {}});
                current = &ini.m_sections.back();
            }
        } else if (line.kind == Line::Kind::Key && current) {
            current->entries.push_back({std::move(line.name), std::move(line.value)});
        }
    }
    return ini;
}

const IniFile::Section* IniFile::findSection(QStringView name) const {
    for (const Section& s : m_sections) {
        if (QStringView(s.name).compare(name, Qt::CaseInsensitive) == 0) return &s;
    }
    return nullptr;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
    const Section* s = findSection(section);
    if (!s) return defaultValue;
    for (const Entry& e : s->entries) {
        if (e.key.compare(key, Qt::CaseInsensitive) == 0) return e.value;
    }
    return defaultValue;
}

}  // namespace orvelo
