// orvelo-terminal: plays a fingerprint/card attendance terminal from a JSON state file, on TCP,
// UDP, a pseudo-terminal serial line and a USB (Unix) socket, so that the client's commands run
// end to end on one machine.
#include "emulator/seed.h"
#include "emulator/server.h"
#include "emulator/state.h"
#include "emulator/terminal_service.h"
#include "terminal/text_utils.h"
#include "terminal/usb_log_file.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace orvelo::emulator;

namespace {

constexpr const char* kUsage =
    "usage: orvelo-terminal --state FILE [--machine N] [--password N] [--tcp [HOST:]PORT]\n"
    "                       [--udp [HOST:]PORT] [--serial-pty] [--usb] [--fault FAULT]...\n"
    "                       [--idle-timeout-ms N] [--save-delay-ms N]\n"
    "       orvelo-terminal --state FILE --dump\n"
    "       orvelo-terminal --state FILE --export-usb FILE\n"
    "       orvelo-terminal seed --users N --enrollments M --logs K --out FILE [--seed S]\n"
    "FAULT: drop-after=N, delay-ms=N, refuse=OP[:VALUE], corrupt-after=N\n";

int g_stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

[[noreturn]] void usageError(const std::string& message)
{
    std::fprintf(stderr, "orvelo-terminal: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

// Splits "--name=value" and "--name value" alike.
class Arguments {
public:
    Arguments(int argc, char** argv, int first) : m_args(argv + first, argv + argc) {}
    bool done() const { return m_pos >= m_args.size(); }
    std::string next(std::string& inlineValue)
    {
        std::string arg = m_args[m_pos++];
        inlineValue.clear();
        m_hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                m_hasInline = true;
                arg.resize(eq);
            }
        }
        return arg;
    }
    std::string value(const std::string& option, const std::string& inlineValue)
    {
        if (m_hasInline) return inlineValue;
        if (done()) usageError(option + " needs a value");
        return m_args[m_pos++];
    }

private:
    std::vector<std::string> m_args;
    std::size_t m_pos = 0;
    bool m_hasInline = false;
};

int integerOption(const std::string& option, const std::string& text, int minimum)
{
    const auto value = orvelo::terminal::parseInt32(text);
    if (!value || *value < minimum) usageError(option + ": not a valid number: " + text);
    return *value;
}

int runSeed(int argc, char** argv)
{
    SeedOptions options;
    std::string out;
    Arguments args(argc, argv, 2);
    while (!args.done()) {
        std::string inlineValue;
        const std::string option = args.next(inlineValue);
        if (option == "--users") options.users = integerOption(option, args.value(option, inlineValue), 0);
        else if (option == "--enrollments") options.enrollments = integerOption(option, args.value(option, inlineValue), 0);
        else if (option == "--logs") options.logs = integerOption(option, args.value(option, inlineValue), 0);
        else if (option == "--seed") options.seed = static_cast<std::uint64_t>(integerOption(option, args.value(option, inlineValue), 0));
        else if (option == "--out") out = args.value(option, inlineValue);
        else usageError("unknown option " + option);
    }
    if (out.empty()) usageError("seed needs --out FILE");
    if (options.enrollments > kMaxBackup + 1) usageError("--enrollments: at most 11 (backup numbers 0 to 10)");
    try {
        saveStateFile(out, seedState(options));
    } catch (const StateError& e) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
        return 1;
    }
    return 0;
}

std::vector<orvelo::terminal::LogEntry> allLogs(const TerminalState& state)
{
    std::vector<orvelo::terminal::LogEntry> records;
    records.reserve(state.logs.size());
    for (const auto& r : state.logs) records.push_back({r.enroll, r.mode, r.time});
    return records;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "seed") == 0) return runSeed(argc, argv);

    std::string statePath;
    std::string exportPath;
    std::optional<int> machine;
    std::optional<int> password;
    bool dump = false;
    ServerConfig config;
    Faults faults;
    std::chrono::milliseconds saveDelay = TerminalService::kDefaultSaveDelay;
    Arguments args(argc, argv, 1);
    while (!args.done()) {
        std::string inlineValue;
        const std::string option = args.next(inlineValue);
        if (option == "--state") statePath = args.value(option, inlineValue);
        else if (option == "--machine") machine = integerOption(option, args.value(option, inlineValue), INT32_MIN);
        else if (option == "--password") password = integerOption(option, args.value(option, inlineValue), INT32_MIN);
        else if (option == "--tcp" || option == "--udp") {
            const std::string text = args.value(option, inlineValue);
            const auto endpoint = parseEndpoint(text);
            if (!endpoint) usageError(option + ": expected [HOST:]PORT with an IPv4 host, got " + text);
            (option == "--tcp" ? config.tcp : config.udp) = endpoint;
        } else if (option == "--serial-pty") config.serialPty = true;
        else if (option == "--usb") config.usb = true;
        else if (option == "--export-usb") exportPath = args.value(option, inlineValue);
        else if (option == "--dump") dump = true;
        else if (option == "--fault") {
            const std::string fault = args.value(option, inlineValue);
            if (!parseFault(fault, faults)) usageError("--fault: unknown fault " + fault);
        } else if (option == "--idle-timeout-ms") config.idleTimeoutMs = integerOption(option, args.value(option, inlineValue), 1);
        else if (option == "--save-delay-ms")
            saveDelay = std::chrono::milliseconds(integerOption(option, args.value(option, inlineValue), 0));
        else if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else usageError("unknown option " + option);
    }
    if (statePath.empty()) usageError("--state FILE is required");

    TerminalState state;
    try {
        state = loadStateFile(statePath);
        if ((machine && *machine != state.machine) || (password && *password != state.password)) {
            if (machine) state.machine = *machine;
            if (password) state.password = *password;
            saveStateFile(statePath, state);
        }
    } catch (const StateError& e) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
        return 2;
    }

    if (dump) {
        const std::string text = formatState(state);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!exportPath.empty()) {
        try {
            writeFileAtomically(exportPath, orvelo::terminal::formatUsbLogFile({state.machine, allLogs(state)}));
        } catch (const StateError& e) {
            std::fprintf(stderr, "orvelo-terminal: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    if (!config.tcp && !config.udp && !config.serialPty && !config.usb)
        usageError("no link to serve: give --tcp, --udp, --serial-pty or --usb");

    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    TerminalService service(std::move(state), statePath, faults, saveDelay);
    Server server(service, config);
    std::string error;
    if (!server.open(error)) {
        std::fprintf(stderr, "orvelo-terminal: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.listeningLine().c_str());
    std::fflush(stdout);
    server.run(g_stopPipe[0]);
    // run() has written every change; a failed last write is a failure of the program.
    return service.hasUnsavedChanges() ? 1 : 0;
}
