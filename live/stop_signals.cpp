#include "live/stop_signals.h"

#include <cerrno>
#include <csignal>
#include <ctime>

namespace orvelo::live {

void StopRequest::request() {
    {
        std::lock_guard lock(m_mutex);
        m_requested = true;
    }
    m_changed.notify_all();
}

bool StopRequest::requested() const {
    std::lock_guard lock(m_mutex);
    return m_requested;
}

bool StopRequest::waitFor(std::chrono::milliseconds wait) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, wait, [this] { return m_requested; });
}

namespace {
sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void blockStopSignals() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForStopSignal(std::chrono::milliseconds wait) {
    const sigset_t set = stopSignals();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(seconds.count());
    timeout.tv_nsec = static_cast<long>(std::chrono::nanoseconds(wait - seconds).count());
    for (;;) {
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal > 0) return signal;
        if (errno == EINTR) continue;  // another signal's handler ran; the bound is approximate
        return 0;
    }
}

}  // namespace orvelo::live
