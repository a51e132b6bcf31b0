#include "emulator/program_modes.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "emulator/state.h"
#include "terminal/usb_log_file.h"

namespace orvelo::emulator {

namespace {

int g_stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the server loop through a pipe it watches; false when the pipe cannot be
// had.
bool installStopSignals() {
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

// The state file with --machine and --password applied (and saved, when they change it); nullopt
// after telling why it cannot be read or written.
std::optional<TerminalState> loadState(const ProgramOptions& options) {
    try {
        TerminalState state = loadStateFile(options.statePath);
        const auto& machine = options.machine;
        const auto& password = options.password;
        if ((machine && *machine != state.machine) || (password && *password != state.password)) {
            if (machine) state.machine = *machine;
            if (password) state.password = *password;
            saveStateFile(options.statePath, state);
        }
        return state;
    } catch (const StateError& e) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
        return std::nullopt;
    }
}

std::vector<terminal::LogEntry> allLogs(const TerminalState& state) {
    std::vector<terminal::LogEntry> records;
    records.reserve(state.logs.size());
    for (const auto& r : state.logs) records.push_back({r.enroll, r.mode, r.time});
    return records;
}

}  // namespace

int runSeed(const ProgramOptions& options) {
    try {
        saveStateFile(options.seedOut, seedState(options.seed));
    } catch (const StateError& e) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
        return 1;
    }
    return 0;
}

int runDump(const ProgramOptions& options) {
    const auto state = loadState(options);
    if (!state) return 2;
    const std::string text = formatState(*state);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int runExportUsb(const ProgramOptions& options) {
    const auto state = loadState(options);
    if (!state) return 2;
    try {
        writeFileAtomically(options.exportPath,
                            terminal::formatUsbLogFile({state->machine, allLogs(*state)}));
    } catch (const StateError& e) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
        return 1;
    }
    return 0;
}

int runServe(const ProgramOptions& options) {
    auto state = loadState(options);
    if (!state) return 2;
    const ServerConfig& config = options.config;
    if (!config.tcp && !config.udp && !config.serialPty && !config.usb)
        usageError("no link to serve: give --tcp, --udp, --serial-pty or --usb");
    if (!installStopSignals()) return 1;

    TerminalService service(std::move(*state), options.statePath, options.faults, options.saveDelay);
    Server server(service, config);
    std::string error;
    if (!server.open(error)) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.listeningLine().c_str());
    std::fflush(stdout);
    server.run(g_stopPipe[0]);
    if (options.countRequests)
        std::fprintf(stderr, "orvelo-terminal: %llu requests received\n",
                     static_cast<unsigned long long>(service.requestsReceived()));
    // run() has written every change; a failed last write is a failure of the program.
    return service.hasUnsavedChanges() ? 1 : 0;
}

}  // namespace orvelo::emulator
