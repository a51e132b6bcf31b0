#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace orvelo {

// A read-only INI file with the rules that hv.ini has always been read by: section and key names
// match without regard to letter case, blanks around names and values are dropped, a value is
// cut to maxValueLength characters, a key present with an empty value gives empty text, and a
// missing file, section or key gives the default. Lines starting with ';' are comments; a line
// without '=' is not a key. Of two sections or keys with the same name the first one counts.
// (QSettings does not fit: its keys are case-sensitive and it reads commas as lists.)
class IniFile {
public:
    static constexpr int maxValueLength = 2047;

    // One line that is neither blank nor a comment, as the reader sees it: a section heading
    // (`name` between '[' and the first ']', or to the end of the line when there is none), a key
    // (`name` and `value`, the value cut as readString cuts it), or any other text. `text` is the
    // line without its surrounding blanks; `number` counts from 1. For files whose checks need
    // line numbers and every repeat (the terminal list); readString applies the first-one-counts
    // rule on top of the same lines.
    struct Line {
        enum class Kind { Section, Key, Other };
        Kind kind = Kind::Other;
        int number = 0;
        QString name;
        QString value;
        QString text;
    };

    IniFile() = default;
    // A file that is missing or cannot be read gives an empty IniFile. UTF-8 (with or without a
    // byte-order mark) and UTF-16 with a mark are read as such; other bytes as GB18030, the code
    // page such files were written in on the PCs this system comes from.
    static IniFile fromFile(const QString& path);
    static IniFile fromText(const QString& text);
    // The lines of a file decoded as fromFile decodes it; nullopt when it is missing or unreadable.
    static std::optional<std::vector<Line>> linesOfFile(const QString& path);
    static std::vector<Line> linesOfText(const QString& text);

    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
    };
    const Section* findSection(QStringView name) const;

    std::vector<Section> m_sections;
};

}  // namespace orvelo
