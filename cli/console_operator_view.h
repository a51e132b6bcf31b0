#pragma once

#include <QString>
#include <cstdio>
#include <optional>

#include "core/ports.h"

namespace orvelo::cli {

// The reporting channels on the console, UTF-8 with LF line ends: every log line of mmo_1 and
// mmo_2 on `out` as it is appended (empty ones too); every information or warning box on `out`,
// in order with the log lines, as "<caption>: <text>"; the default error box on `err` as
// "Orvelo系统: <text>". The status text and the progress become one line on `err`, redrawn in
// place, only when `err` is a terminal (`showStatus`).
class ConsoleOperatorView final : public OperatorView {
public:
    ConsoleOperatorView(std::FILE* out, std::FILE* err, bool showStatus);
    ~ConsoleOperatorView() override;

    void appendLog(LogPane pane, const QString& line) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent, bool showNumber) override;
    void messageBox(const QString& text, const QString& caption, BoxIcon icon) override;
    void errorBox(const QString& text) override;
    void setFileDialogFilter(const QString& filter) override;
    void setFileDialogFolder(const QString& folder) override;
    std::optional<QString> chooseFile() override;

    // The file the operator "chooses" in the dialog: a relative path is taken from the current
    // folder. Without an answer the dialog counts as cancelled.
    void answerFileDialog(const QString& path);

    bool errorBoxShown() const { return m_errorBoxShown; }
    bool warningBoxShown() const { return m_warningBoxShown; }
    const QString& fileDialogFilter() const { return m_filter; }
    const QString& fileDialogFolder() const { return m_folder; }

    // A command's own output (orveloctl list): `text` on `out` as it is; `line` on `err` as a line.
    void printOutput(const QString& text);
    void printError(const QString& line);

    // The status line as it is drawn ("" when there is nothing to show).
    QString statusLine() const;

private:
    void writeLine(std::FILE* stream, const QString& line);
    void drawStatus();
    void eraseStatus();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_showStatus;
    bool m_statusDrawn = false;
    QString m_status;
    int m_percent = 0;
    bool m_showNumber = false;
    QString m_filter;
    QString m_folder;
    std::optional<QString> m_chosenFile;
    bool m_errorBoxShown = false;
    bool m_warningBoxShown = false;
};

}  // namespace orvelo::cli
