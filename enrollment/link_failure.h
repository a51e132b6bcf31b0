#pragma once

#include <QString>
#include <cstdint>

namespace orvelo {

struct CommandContext;

// The library answers 0 (FK_NO) for "no" and for the end of a list, a negative result for a link
// or a reply that failed: only the latter leaves something unread or unwritten on the terminal.
inline bool linkFailed(std::int32_t result) {
    return result < 0;
}

// The warning box of a download whose link failed after `users` people were brought in whole:
// what was read stays stored, and running the command again brings the rest. A `more` line (what
// the terminal refused before, say) follows the text.
void showIncompleteDownload(CommandContext& ctx, const QString& caption, int users, const QString& more = {});

// The warning box of an upload whose link failed after `written` employees were written whole.
void showIncompleteUpload(CommandContext& ctx, const QString& caption, int written);

}  // namespace orvelo
