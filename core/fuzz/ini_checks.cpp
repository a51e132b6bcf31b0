#include "core/fuzz/ini_checks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/ini_file.h"

namespace orvelo {

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Enough keys to reach every rule; a long input only repeats them.
constexpr std::size_t kMaxKeysChecked = 200;

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

QString stripped(QStringView text) {
    while (!text.isEmpty() && isBlank(text.front())) text = text.mid(1);
    while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
    return text.toString();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Flips the case of ASCII letters only: a look-up must not care.
QString flippedCase(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(static_cast<char16_t>(u - 32));
        else if (u >= u'A' && u <= u'Z')
            c = QChar(static_cast<char16_t>(u + 32));
    }
    return out;
}

struct ExpectedKey {
    QString section;
    QString key;
    QString value;
};

// The keys the text holds, each with the value the rules give it.
std::vector<ExpectedKey> expectedKeys(const QString& text) {
    std::vector<QString> sections;
    std::vector<ExpectedKey> keys;
    bool inFirstOfName = false;
    QString section;
    for (const QStringView raw : QStringView(text).split(u'\n')) {
        const QString line = stripped(raw);
        if (line.isEmpty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            section = stripped(close < 0 ? QStringView(line).mid(1) : QStringView(line).mid(1, close - 1));
            inFirstOfName = std::none_of(sections.begin(), sections.end(),
                                         [&](const QString& s) { return sameName(s, section); });
            if (inFirstOfName) sections.push_back(section);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inFirstOfName || eq < 0) continue;
        const QString key = stripped(QStringView(line).left(eq));
        const bool repeat = std::any_of(keys.begin(), keys.end(), [&](const ExpectedKey& k) {
            return sameName(k.section, section) && sameName(k.key, key);
        });
        if (!repeat)
            keys.push_back(
                {section, key, stripped(QStringView(line).mid(eq + 1)).left(IniFile::maxValueLength)});
    }
    return keys;
}

// A value as any reading may give it: short enough, one line, no blanks at its ends.
void checkValueShape(const QString& value) {
    require(value.size() <= IniFile::maxValueLength);
    require(!value.contains(u'\n'));
    require(value.isEmpty() || (!isBlank(value.front()) && !isBlank(value.back())));
}

bool startsWithWideMark(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF) ||
                         (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0xFE && data[3] == 0xFF));
}

bool startsWithUtf8Mark(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
}

// The scratch file is written once per input: in memory where the system offers a folder for it.
QString scratchTemplate() {
    const QString shm = QStringLiteral("/dev/shm");
    const QString base = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    return base + QStringLiteral("/orvelo-fuzz-XXXXXX");
}

IniFile readAsFile(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir(scratchTemplate());
    require(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("hv.ini"));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const auto length = static_cast<qint64>(size);
        require(file.write(reinterpret_cast<const char*>(data), length) == length);
    }
    return IniFile::fromFile(path);
}

}  // namespace

void checkIniInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    const bool plainUtf8 =
        !utf8.hasError() && !startsWithWideMark(data, size) && !startsWithUtf8Mark(data, size);

    const IniFile fromText = IniFile::fromText(text);
    const IniFile fromFile = readAsFile(data, size);
    const QString missing = QStringLiteral("\n");  // no key or section name can hold a line end

    std::vector<ExpectedKey> keys = expectedKeys(text);
    if (keys.size() > kMaxKeysChecked) keys.resize(kMaxKeysChecked);
    for (const ExpectedKey& k : keys) {
        const QString value = fromText.readString(k.section, k.key, missing);
        require(value == k.value);
        checkValueShape(value);
        require(fromText.readString(flippedCase(k.section), flippedCase(k.key), missing) == value);
        require(fromText.readString(k.section, k.key + missing, missing) == missing);

        const QString fileValue = fromFile.readString(k.section, k.key, missing);
        if (plainUtf8) require(fileValue == value);
        if (fileValue == missing) continue;
        checkValueShape(fileValue);
        // Single-byte and GB18030 text keep every control character as its own byte.
        if (!startsWithWideMark(data, size)) {
            for (const QChar c : fileValue) {
                if (c.unicode() < 0x20) require(bytes.contains(static_cast<char>(c.unicode())));
            }
        }
    }
    require(fromText.readString(missing, QString(), missing) == missing);
}

}  // namespace orvelo
