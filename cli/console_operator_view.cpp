#include "cli/console_operator_view.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "cli/console_output.h"
#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

ConsoleOperatorView::ConsoleOperatorView(std::FILE* out, std::FILE* err, bool showStatus)
    : m_out(out), m_err(err), m_showStatus(showStatus) {}

ConsoleOperatorView::~ConsoleOperatorView() {
    eraseStatus();
}

void ConsoleOperatorView::appendLog(LogPane, const QString& line) {
    writeLine(m_out, line);
}

void ConsoleOperatorView::setStatusText(const QString& text) {
    m_status = text;
    drawStatus();
}

void ConsoleOperatorView::setProgress(int percent, bool showNumber) {
    // A download sets the progress once per record: only a change is drawn.
    if (percent == m_percent && showNumber == m_showNumber) return;
    m_percent = percent;
    m_showNumber = showNumber;
    drawStatus();
}

void ConsoleOperatorView::messageBox(const QString& text, const QString& caption, BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            writeLine(m_out, caption + u": "_s + text);
            break;
        case BoxIcon::Warning:
            m_warningBoxShown = true;
            writeLine(m_out, caption + u": "_s + text);
            break;
        case BoxIcon::Error:
            // A box with the error icon reports a failure as the default error box does.
            m_errorBoxShown = true;
            writeLine(m_err, caption + u": "_s + text);
            break;
    }
}

void ConsoleOperatorView::errorBox(const QString& text) {
    m_errorBoxShown = true;
    writeLine(m_err, applicationTitle() + u": "_s + text);
}

void ConsoleOperatorView::setFileDialogFilter(const QString& filter) {
    m_filter = filter;
}

void ConsoleOperatorView::setFileDialogFolder(const QString& folder) {
    m_folder = folder;
}

std::optional<QString> ConsoleOperatorView::chooseFile() {
    return m_chosenFile;
}

void ConsoleOperatorView::answerFileDialog(const QString& path) {
    m_chosenFile = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString ConsoleOperatorView::statusLine() const {
    QString line = m_status;
    if (m_showNumber) {
        const int filled = std::clamp(m_percent, 0, 100) * kBarWidth / 100;
        if (!line.isEmpty()) line += u' ';
        line += u'[' + QString(filled, u'#') + QString(kBarWidth - filled, u'.') + u"] "_s +
                QString::number(m_percent) + u'%';
    }
    return line;
}

void ConsoleOperatorView::printOutput(const QString& text) {
    eraseStatus();
    print(m_out, text);
    drawStatus();
}

void ConsoleOperatorView::printError(const QString& line) {
    writeLine(m_err, line);
}

void ConsoleOperatorView::writeLine(std::FILE* stream, const QString& line) {
    // The status line shares the terminal with the lines: take it away, write, draw it again.
    eraseStatus();
    print(stream, line + u'\n');
    drawStatus();
}

void ConsoleOperatorView::drawStatus() {
    if (!m_showStatus) return;
    const QString line = statusLine();
    if (line.isEmpty()) {
        eraseStatus();
        return;
    }
    print(m_err, u"\r"_s + line + u"\x1b[K"_s);
    m_statusDrawn = true;
}

void ConsoleOperatorView::eraseStatus() {
    if (!m_statusDrawn) return;
    print(m_err, u"\r\x1b[K"_s);
    m_statusDrawn = false;
}

}  // namespace orvelo::cli
