#include "app/terminal_call_watch.h"

#include <algorithm>

namespace orvelo {

namespace {

std::int64_t steadyNow() {
    // Never 0, which stands for "no call".
    return std::max<std::int64_t>(1, std::chrono::steady_clock::now().time_since_epoch().count());
}

}  // namespace

TerminalCallWatch::Call::Call(TerminalCallWatch& watch, bool connecting) : m_watch(watch) {
    m_watch.m_connecting.store(connecting, std::memory_order_relaxed);
    m_watch.m_since.store(steadyNow(), std::memory_order_release);
}

TerminalCallWatch::Call::~Call() {
    m_watch.m_since.store(0, std::memory_order_release);
}

TerminalCallWatch::Waiting TerminalCallWatch::waitingLongerThan(std::chrono::milliseconds atLeast) const {
    const std::int64_t since = m_since.load(std::memory_order_acquire);
    if (since == 0) return Waiting::Nothing;
    const std::chrono::steady_clock::duration running{steadyNow() - since};
    if (running < atLeast) return Waiting::Nothing;
    return m_connecting.load(std::memory_order_relaxed) ? Waiting::Connecting : Waiting::Answer;
}

}  // namespace orvelo
