#pragma once

#include <QStringList>
#include <functional>

#include "core/ports.h"

class QFileDialog;
class QLabel;
class QMessageBox;
class QWidget;

namespace orvelo {

class LogMemo;
class ProgressPane;

// The "description|pattern|description|pattern" filter of the file-open dialog as Qt name
// filters: "description (patterns)", patterns separated by blanks. "*.*" means every file, as
// it does for the operator, so it becomes "*" (on this platform "*.*" skips names without a dot).
QStringList qtNameFilters(const QString& filter);

// The reporting channels of the main window.
class WidgetOperatorView final : public OperatorView {
public:
    // Shown instead of running a box modally, so that tests answer boxes in advance; the box
    // is fully set up (caption, icon, text, button) when the hook sees it.
    using BoxHook = std::function<void(QMessageBox& box)>;
    // Answers the file-open dialog instead of running it; nullopt stands for a cancel.
    using FileDialogHook = std::function<std::optional<QString>(QFileDialog& dialog)>;

    WidgetOperatorView(QWidget& window, LogMemo& mmo_1, LogMemo& mmo_2, QLabel& statusText,
                       ProgressPane& progress, QFileDialog& dlgOpen_1);

    void appendLog(LogPane pane, const QString& line) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent, bool showNumber) override;
    void messageBox(const QString& text, const QString& caption, BoxIcon icon) override;
    void errorBox(const QString& text) override;
    void setFileDialogFilter(const QString& filter) override;
    void setFileDialogFolder(const QString& folder) override;
    std::optional<QString> chooseFile() override;

    // A question with the buttons 是 and 否, 否 the default and the answer to Esc or to closing the
    // box; true when the operator chose 是. Only the window asks: a command run from orveloctl was
    // decided on its command line, so questions are no part of OperatorView.
    bool askYesNo(const QString& text, const QString& caption);

    // While a terminal call waits long, the status text says so (`note`: "连接设备…", "等待设备响应…"),
    // so that a slow or silent terminal does not look like a stuck window; an empty note brings
    // back the command's own status text.
    void showTerminalWait(const QString& note);

    // Empties both log panes (start-up).
    void clearLogs();

    void setBoxHook(BoxHook hook) { m_boxHook = std::move(hook); }
    // Answers questions instead of running them: the hook clicks 是 or 否 on the box (a box left
    // unanswered counts as 否, as a closed one does). A window with a box hook and no question
    // hook, a test about something else, takes every question as answered 是 without showing it:
    // such a test clicks its buttons on purpose.
    void setQuestionHook(BoxHook hook) { m_questionHook = std::move(hook); }
    void setFileDialogHook(FileDialogHook hook) { m_fileDialogHook = std::move(hook); }

private:
    void show(QMessageBox& box);

    QWidget& m_window;
    LogMemo& m_mmo1;
    LogMemo& m_mmo2;
    QLabel& m_statusText;
    ProgressPane& m_progress;
    QFileDialog& m_dialog;
    QString m_commandStatus;  // the status text the command set, shown again after a wait note
    QString m_waitNote;
    BoxHook m_boxHook;
    BoxHook m_questionHook;
    FileDialogHook m_fileDialogHook;
};

}  // namespace orvelo
