#include "terminal/usb_log_file.h"

#include <cstdio>

#include "terminal/text_utils.h"

namespace orvelo::terminal {

namespace {

// Takes the next line without its LF (and a CR before it); false when no complete line is left.
bool takeLine(std::string_view& rest, std::string_view& line) {
    const auto end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
}

bool takePrefix(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

std::optional<std::uint32_t> parseCount(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

bool parseRecord(std::string_view line, LogEntry& out) {
    const auto tab1 = line.find('\t');
    if (tab1 == std::string_view::npos) return false;
    const auto tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) return false;
    const auto enroll = parseInt32(line.substr(0, tab1));
    const auto mode = parseInt32(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const auto time = parseDateTimeText(line.substr(tab2 + 1));
    if (!enroll || !mode || !time) return false;
    out = LogEntry{*enroll, *mode, *time};
    return true;
}

}  // namespace

std::string formatUsbLogFile(const UsbLogFile& file) {
    std::string out;
    out.reserve(64 + file.records.size() * 40);
    out += kUsbLogMagic;
    out += ' ';
    out += std::to_string(kUsbLogVersion);
    out += " machine=" + std::to_string(file.machine);
    out += " records=" + std::to_string(file.records.size());
    out += '\n';
    for (const auto& r : file.records) {
        out += std::to_string(r.enroll);
        out += '\t';
        out += std::to_string(r.mode);
        out += '\t';
        out += formatDateTimeText(r.time);
        out += '\n';
    }
    return out;
}

std::optional<UsbLogFile> parseUsbLogFile(std::string_view content) {
    if (content.size() > kMaxUsbLogFileBytes) return std::nullopt;
    std::string_view rest = content;
    std::string_view header;
    if (!takeLine(rest, header)) return std::nullopt;
    if (!takePrefix(header, kUsbLogMagic) || !takePrefix(header, " ") ||
        !takePrefix(header, std::to_string(kUsbLogVersion)) || !takePrefix(header, " machine="))
        return std::nullopt;
    const auto space = header.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const auto machine = parseInt32(header.substr(0, space));
    header.remove_prefix(space);
    if (!machine || !takePrefix(header, " records=")) return std::nullopt;
    const auto count = parseCount(header);
    if (!count || *count > kMaxLogRecords) return std::nullopt;
    // Every record line takes at least 24 bytes, so a count the file cannot hold is refused before
    // any memory is reserved for it.
    if (*count > rest.size() / 24) return std::nullopt;

    UsbLogFile file;
    file.machine = *machine;
    file.records.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        std::string_view line;
        LogEntry record;
        if (!takeLine(rest, line) || !parseRecord(line, record)) return std::nullopt;
        file.records.push_back(record);
    }
    if (!rest.empty()) return std::nullopt;
    return file;
}

}  // namespace orvelo::terminal
