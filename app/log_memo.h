#pragma once

#include <QPlainTextEdit>
#include <QStringList>

namespace orvelo {

// A read-only log pane (mmo_1, mmo_2): a list of lines that only grows. It counts its lines
// itself because an empty document and a document holding one empty line look the same to
// QPlainTextEdit, whose appendPlainText also drops empty lines at the start.
class LogMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit LogMemo(QWidget* parent = nullptr);

    // Appends `line` after the last line and scrolls to it.
    void appendLine(const QString& line);
    void clearLines();

    int lineCount() const { return m_lineCount; }
    QStringList lines() const;

private:
    int m_lineCount = 0;
};

}  // namespace orvelo
