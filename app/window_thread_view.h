#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <mutex>
#include <vector>

#include "core/ports.h"

namespace orvelo {

// The view a command on the command thread reports to: every call is carried out by the window's
// thread on the window's view, in the order the command made them. Log lines, the status text,
// the progress and the dialog's settings are queued and the command goes on (a burst of them is
// drawn in one go); a box or the file dialog waits for the operator's answer, after everything
// queued before it has been shown. Called on the window's thread itself, each call goes straight
// through.
class WindowThreadView final : public OperatorView {
public:
    // `window` is an object of the window's thread that lives longer than every command.
    WindowThreadView(OperatorView& target, QObject& window);

    void appendLog(LogPane pane, const QString& line) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent, bool showNumber) override;
    void messageBox(const QString& text, const QString& caption, BoxIcon icon) override;
    void errorBox(const QString& text) override;
    void setFileDialogFilter(const QString& filter) override;
    void setFileDialogFolder(const QString& folder) override;
    std::optional<QString> chooseFile() override;

    // Before a command starts (window's thread): the bar is drawn anew from its first call.
    void beginCommand() { m_lastPercent = -1; }

    // Runs `work` on the window's thread after everything queued so far, and waits for it; what it
    // throws is thrown here.
    void runOnWindowThread(const std::function<void()>& work);
    // Queues `work` for the window's thread after everything queued so far.
    void post(std::function<void()> work);

private:
    bool onWindowThread() const;
    // On the window's thread: carries out what is queued.
    void drain();

    OperatorView& m_target;
    QObject& m_window;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_queued;
    // What the command last asked of the bar, so that a download's call per record queues only
    // the changes. Used by one command at a time, on its thread.
    int m_lastPercent = -1;
    bool m_lastShowNumber = false;
};

}  // namespace orvelo
