#include "app/widget_operator_view.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include "app/log_memo.h"
#include "app/status_bar.h"
#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo {

QStringList qtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts.at(i);
        const QString patternText = i + 1 < parts.size() ? parts.at(i + 1) : u"*"_s;
        QStringList patterns;
        for (const QString& pattern : patternText.split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            patterns << (trimmed == u"*.*"_s ? u"*"_s : trimmed);
        }
        if (patterns.isEmpty()) patterns << u"*"_s;
        // The dialog is told to hide this pattern part, so the operator reads the description alone.
        result << description + u" ("_s + patterns.join(u' ') + u')';
    }
    return result;
}

namespace {

QMessageBox::Icon qtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Error:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

WidgetOperatorView::WidgetOperatorView(QWidget& window, LogMemo& mmo_1, LogMemo& mmo_2, QLabel& statusText,
                                       ProgressPane& progress, QFileDialog& dlgOpen_1)
    : m_window(window),
      m_mmo1(mmo_1),
      m_mmo2(mmo_2),
      m_statusText(statusText),
      m_progress(progress),
      m_dialog(dlgOpen_1) {}

void WidgetOperatorView::appendLog(LogPane pane, const QString& line) {
    (pane == LogPane::Mmo1 ? m_mmo1 : m_mmo2).appendLine(line);
}

void WidgetOperatorView::setStatusText(const QString& text) {
    m_commandStatus = text;
    if (m_waitNote.isEmpty()) m_statusText.setText(text);
}

void WidgetOperatorView::showTerminalWait(const QString& note) {
    if (note == m_waitNote) return;
    m_waitNote = note;
    m_statusText.setText(note.isEmpty() ? m_commandStatus : note);
}

void WidgetOperatorView::setProgress(int percent, bool showNumber) {
    // A download sets the progress once per record: only a change is drawn, so 100,000 records
    // cost a hundred repaints, not 100,000.
    if (percent == m_progress.percent() && showNumber == m_progress.numberShown()) return;
    m_progress.setProgress(percent, showNumber);
    // Drawn at once, as every report of a command is: a command run on the window's thread itself
    // (the tests, a quick handler) gives the loop no chance to paint before it ends.
    m_progress.repaint();
}

void WidgetOperatorView::messageBox(const QString& text, const QString& caption, BoxIcon icon) {
    QMessageBox box(qtIcon(icon), caption, text, QMessageBox::Ok, &m_window);
    show(box);
}

void WidgetOperatorView::errorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, &m_window);
    show(box);
}

bool WidgetOperatorView::askYesNo(const QString& text, const QString& caption) {
    if (!m_questionHook && m_boxHook) return true;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, &m_window);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (m_questionHook) {
        m_questionHook(box);
    } else {
        box.exec();
    }
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

void WidgetOperatorView::show(QMessageBox& box) {
    if (m_boxHook) {
        m_boxHook(box);
        return;
    }
    box.exec();
}

void WidgetOperatorView::setFileDialogFilter(const QString& filter) {
    const QStringList filters = qtNameFilters(filter);
    m_dialog.setNameFilters(filters);
    if (!filters.isEmpty()) m_dialog.selectNameFilter(filters.first());
}

void WidgetOperatorView::setFileDialogFolder(const QString& folder) {
    m_dialog.setDirectory(folder);
}

std::optional<QString> WidgetOperatorView::chooseFile() {
    std::optional<QString> chosen;
    if (m_fileDialogHook) {
        chosen = m_fileDialogHook(m_dialog);
    } else if (m_dialog.exec() == QDialog::Accepted && !m_dialog.selectedFiles().isEmpty()) {
        chosen = m_dialog.selectedFiles().constFirst();
    }
    if (!chosen) return std::nullopt;
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(*chosen).absoluteFilePath()));
}

void WidgetOperatorView::clearLogs() {
    m_mmo1.clearLines();
    m_mmo2.clearLines();
}

}  // namespace orvelo
