#include "cli/stop_signals.h"

namespace orvelo::cli {

namespace {

// Constant-initialised, so the handler never meets it half made.
constinit Cancellation g_cancellation;

void requestCancellation(int) {
    g_cancellation.request();
}

void install(int signal, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = requestCancellation;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the next one of this signal has its default action. SA_RESTART: a read or
    // write on the terminal's link or the database goes on rather than fail with EINTR.
    action.sa_flags = static_cast<int>(SA_RESETHAND | SA_RESTART);
    sigaction(signal, &action, &previous);
}

}  // namespace

CancelOnStopSignals::CancelOnStopSignals() {
    g_cancellation.reset();
    install(SIGINT, m_previousInterrupt);
    install(SIGTERM, m_previousTerminate);
}

CancelOnStopSignals::~CancelOnStopSignals() {
    sigaction(SIGINT, &m_previousInterrupt, nullptr);
    sigaction(SIGTERM, &m_previousTerminate, nullptr);
}

const Cancellation& CancelOnStopSignals::cancellation() const {
    return g_cancellation;
}

}  // namespace orvelo::cli
