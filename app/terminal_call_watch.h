#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "access/terminal_library.h"

namespace orvelo {

// The window's terminal library: every call goes on to the library unchanged, and the call in
// progress is noted, so that the window's thread can tell the operator that a command is
// connecting or waiting for the terminal's answer (a slow link, a pulled cable) instead of
// looking stuck.
class TerminalCallWatch final : public ForwardingTerminalLibrary {
public:
    explicit TerminalCallWatch(TerminalLibrary& inner) : ForwardingTerminalLibrary(inner) {}

    enum class Waiting { Nothing, Connecting, Answer };
    // What a call in progress for at least `atLeast` waits for; read from any thread.
    Waiting waitingLongerThan(std::chrono::milliseconds atLeast) const;

#define ORVELO_WATCH_OPERATION(name, result, parameters, arguments) \
    result name parameters override {                               \
        const Call call(*this, isConnect(#name));                   \
        return ForwardingTerminalLibrary::name arguments;           \
    }
    ORVELO_TERMINAL_OPERATIONS(ORVELO_WATCH_OPERATION)
#undef ORVELO_WATCH_OPERATION

private:
    // Notes a call from its start to its return (or throw).
    class Call {
    public:
        Call(TerminalCallWatch& watch, bool connecting);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        TerminalCallWatch& m_watch;
    };

    static constexpr bool isConnect(std::string_view name) {
        return name.starts_with("FK_Connect");
    }

    // The steady clock's count when the call in progress started, 0 when none is; the connect
    // flag is written before it and read after it.
    std::atomic<std::int64_t> m_since{0};
    std::atomic<bool> m_connecting{false};
};

}  // namespace orvelo
