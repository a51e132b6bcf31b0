#include "app/log_memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace orvelo {

LogMemo::LogMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
}

void LogMemo::appendLine(const QString& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (m_lineCount > 0) cursor.insertBlock();
    cursor.insertText(line);
    ++m_lineCount;
    // The caret follows the new line, as a memo's does; the pane scrolls with it even where it
    // shows no scroll bar.
    setTextCursor(cursor);
    ensureCursorVisible();
}

void LogMemo::clearLines() {
    clear();
    m_lineCount = 0;
}

QStringList LogMemo::lines() const {
    QStringList result;
    if (m_lineCount == 0) return result;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        result << block.text();
    return result;
}

}  // namespace orvelo
