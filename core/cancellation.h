#pragma once

#include <atomic>

namespace orvelo {

// An operator's request to stop a running command: the window's 取消 button and orveloctl's
// SIGINT / SIGTERM set it, the command looks at it between records or users and ends as
// incomplete, keeping what it read and stored. Setting it is lock-free, so a signal handler may.
class Cancellation {
public:
    void request() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    bool requested() const noexcept { return m_requested.load(std::memory_order_relaxed); }
    // Ready for the next command.
    void reset() noexcept { m_requested.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_requested{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace orvelo
