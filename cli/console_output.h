#pragma once

#include <QString>
#include <cstdio>

namespace orvelo::cli {

// Writes `text` to `stream` in UTF-8, whatever the locale, and flushes: orveloctl runs behind
// pipes, journald and the status line it draws, where each piece is worth seeing when it is
// written.
void print(std::FILE* stream, const QString& text);

}  // namespace orvelo::cli
