#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/messages.h"

namespace orvelo::terminal {

// The log file that a terminal writes to a USB disk. Text, UTF-8 (ASCII in practice), every line
// ended by LF (a CR before the LF is allowed):
//   ORVELO-USB-LOG 1 machine=<machine number> records=<count>
//   <enroll number>\t<mode code>\t<yyyy-mm-dd hh:nn:ss>      (count lines)
// Nothing may follow the last record line.
constexpr std::string_view kUsbLogMagic = "ORVELO-USB-LOG";
constexpr int kUsbLogVersion = 1;
// Bigger files are refused unread, so that a wrong choice of file cannot exhaust memory.
constexpr std::uint64_t kMaxUsbLogFileBytes = 256ull * 1024 * 1024;

struct UsbLogFile {
    std::int32_t machine = 0;
    std::vector<LogEntry> records;
};

std::string formatUsbLogFile(const UsbLogFile& file);

// Strict: nullopt for anything that is not exactly such a file.
std::optional<UsbLogFile> parseUsbLogFile(std::string_view content);

}  // namespace orvelo::terminal
