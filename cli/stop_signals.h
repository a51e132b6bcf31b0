#pragma once

#include <csignal>

#include "core/cancellation.h"

namespace orvelo::cli {

// SIGINT and SIGTERM ask the running terminal or store command to stop, as the window's 取消
// does: while an object of this class lives, each of them requests the process's Cancellation,
// which the command looks at before its next record or user; it ends as incomplete, orveloctl
// prints its usual report and exits with status 1. The handler does nothing else (the request is
// one lock-free store), and it is taken back by the signal it handles, so the same signal again
// (a second Ctrl-C, a second SIGTERM) ends a run that does not stop with the default action.
//
// The watch does not use this: it takes the signals synchronously (live/stop_signals.h).
class CancelOnStopSignals {
public:
    // Resets the process's Cancellation and installs the handlers.
    CancelOnStopSignals();
    // Puts back the actions found at construction.
    ~CancelOnStopSignals();
    CancelOnStopSignals(const CancelOnStopSignals&) = delete;
    CancelOnStopSignals& operator=(const CancelOnStopSignals&) = delete;

    const Cancellation& cancellation() const;

private:
    struct sigaction m_previousInterrupt {};
    struct sigaction m_previousTerminate {};
};

}  // namespace orvelo::cli
