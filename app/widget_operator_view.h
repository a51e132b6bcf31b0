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

    // Empties both log panes (start-up).
    void clearLogs();

    void setBoxHook(BoxHook hook) { m_boxHook = std::move(hook); }
    void setFileDialogHook(FileDialogHook hook) { m_fileDialogHook = std::move(hook); }

private:
    void show(QMessageBox& box);

    QWidget& m_window;
    LogMemo& m_mmo1;
    LogMemo& m_mmo2;
    QLabel& m_statusText;
    ProgressPane& m_progress;
    QFileDialog& m_dialog;
    BoxHook m_boxHook;
    FileDialogHook m_fileDialogHook;
};

}  // namespace orvelo
