#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvelo::live {

// The request to stop, shared by every thread of a watch: a waiting thread wakes as soon as it is
// given, so that a pause before a reconnection never delays the end.
class StopRequest {
public:
    void request();
    bool requested() const;
    // Waits up to `wait`; true when the stop was requested (before or during the wait).
    bool waitFor(std::chrono::milliseconds wait) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_requested = false;
};

// SIGINT and SIGTERM, taken synchronously: blockStopSignals() blocks them in the calling thread
// (and so in every thread it starts afterwards), and waitForStopSignal() takes one with
// sigtimedwait. No handler runs, so nothing happens in signal context at all.
void blockStopSignals();
// Waits at most `wait` for SIGINT or SIGTERM; returns the signal number, or 0 when none came.
int waitForStopSignal(std::chrono::milliseconds wait);

}  // namespace orvelo::live
