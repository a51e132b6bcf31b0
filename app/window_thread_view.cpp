#include "app/window_thread_view.h"

#include <QMetaObject>
#include <QThread>
#include <exception>

namespace orvelo {

WindowThreadView::WindowThreadView(OperatorView& target, QObject& window)
    : m_target(target), m_window(window) {}

bool WindowThreadView::onWindowThread() const {
    return QThread::currentThread() == m_window.thread();
}

void WindowThreadView::post(std::function<void()> work) {
    if (onWindowThread()) {
        drain();
        work();
        return;
    }
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_queued.empty();
        m_queued.push_back(std::move(work));
    }
    // One wake-up for a burst: the drain it triggers takes everything queued by then.
    if (first)
        QMetaObject::invokeMethod(
            &m_window, [this] { drain(); }, Qt::QueuedConnection);
}

void WindowThreadView::drain() {
    for (;;) {
        std::vector<std::function<void()>> work;
        {
            const std::lock_guard lock(m_mutex);
            work.swap(m_queued);
        }
        if (work.empty()) return;
        for (const auto& step : work) step();
    }
}

void WindowThreadView::runOnWindowThread(const std::function<void()>& work) {
    if (onWindowThread()) {
        drain();
        work();
        return;
    }
    // What `work` throws is thrown here, on the command's thread, into the command's own guard;
    // escaping into the window's event loop it would end the program.
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        &m_window,
        [this, &work, &failure] {
            try {
                drain();
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
}

void WindowThreadView::appendLog(LogPane pane, const QString& line) {
    post([this, pane, line] { m_target.appendLog(pane, line); });
}

void WindowThreadView::setStatusText(const QString& text) {
    post([this, text] { m_target.setStatusText(text); });
}

void WindowThreadView::setProgress(int percent, bool showNumber) {
    if (percent == m_lastPercent && showNumber == m_lastShowNumber) return;
    m_lastPercent = percent;
    m_lastShowNumber = showNumber;
    post([this, percent, showNumber] { m_target.setProgress(percent, showNumber); });
}

void WindowThreadView::messageBox(const QString& text, const QString& caption, BoxIcon icon) {
    runOnWindowThread([&] { m_target.messageBox(text, caption, icon); });
}

void WindowThreadView::errorBox(const QString& text) {
    runOnWindowThread([&] { m_target.errorBox(text); });
}

void WindowThreadView::setFileDialogFilter(const QString& filter) {
    post([this, filter] { m_target.setFileDialogFilter(filter); });
}

void WindowThreadView::setFileDialogFolder(const QString& folder) {
    post([this, folder] { m_target.setFileDialogFolder(folder); });
}

std::optional<QString> WindowThreadView::chooseFile() {
    std::optional<QString> chosen;
    runOnWindowThread([&] { chosen = m_target.chooseFile(); });
    return chosen;
}

}  // namespace orvelo
