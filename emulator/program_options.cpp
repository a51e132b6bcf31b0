#include "emulator/program_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "terminal/event_messages.h"
#include "terminal/text_utils.h"

namespace orvelo::emulator {

const char* const kUsage =
    "usage: orvelo-terminal --state FILE [--machine N] [--password N] [--tcp [HOST:]PORT]\n"
    "                       [--udp [HOST:]PORT] [--serial-pty] [--usb] [--fault FAULT]...\n"
    "                       [--idle-timeout-ms N] [--save-delay-ms N] [--count-requests]\n"
    "                       [--heartbeat-ms N] [--punch-every-ms N] [--punch-seed S]\n"
    "       orvelo-terminal --state FILE --dump\n"
    "       orvelo-terminal --state FILE --export-usb FILE\n"
    "       orvelo-terminal seed --users N --enrollments M --logs K --out FILE [--seed S]\n"
    "       orvelo-terminal punch (--tcp [HOST:]PORT | --usb) --enroll N [--mode M] [--machine N]\n"
    "FAULT: drop-after=N, delay-ms=N, refuse=OP[:VALUE], corrupt-after=N\n";

void usageError(const std::string& message) {
    std::fprintf(stderr, "orvelo-terminal: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

namespace {

// Splits "--name=value" and "--name value" alike.
class Arguments {
public:
    Arguments(int argc, char** argv, int first) : m_args(argv + first, argv + argc) {}
    bool done() const { return m_pos >= m_args.size(); }
    // The next option's name; its value, when it needs one, comes from value().
    std::string next() {
        std::string arg = m_args[m_pos++];
        m_inlineValue.reset();
        if (arg.rfind("--", 0) == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                m_inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        return arg;
    }
    std::string value(const std::string& option) {
        if (m_inlineValue) return *m_inlineValue;
        if (done()) usageError(option + " needs a value");
        return m_args[m_pos++];
    }
    int integer(const std::string& option, int minimum) {
        const std::string text = value(option);
        const auto number = terminal::parseInt32(text);
        if (!number || *number < minimum) usageError(option + ": not a valid number: " + text);
        return *number;
    }

private:
    std::vector<std::string> m_args;
    std::size_t m_pos = 0;
    std::optional<std::string> m_inlineValue;
};

ProgramOptions parseSeedOptions(int argc, char** argv) {
    ProgramOptions options;
    options.mode = ProgramOptions::Mode::Seed;
    SeedOptions& seed = options.seed;
    Arguments args(argc, argv, 2);
    while (!args.done()) {
        const std::string option = args.next();
        if (option == "--users")
            seed.users = args.integer(option, 0);
        else if (option == "--enrollments")
            seed.enrollments = args.integer(option, 0);
        else if (option == "--logs")
            seed.logs = args.integer(option, 0);
        else if (option == "--seed")
            seed.seed = static_cast<std::uint64_t>(args.integer(option, 0));
        else if (option == "--out")
            options.seedOut = args.value(option);
        else
            usageError("unknown option " + option);
    }
    if (options.seedOut.empty()) usageError("seed needs --out FILE");
    if (seed.enrollments > FK_BACKUP_LAST + 1)
        usageError("--enrollments: at most 11 (backup numbers 0 to 10)");
    return options;
}

// punch: one punch on a running terminal, over TCP or its USB socket.
ProgramOptions parsePunchOptions(int argc, char** argv) {
    ProgramOptions options;
    options.mode = ProgramOptions::Mode::Punch;
    PunchOptions& punch = options.punch;
    Arguments args(argc, argv, 2);
    bool haveEnroll = false;
    while (!args.done()) {
        const std::string option = args.next();
        if (option == "--tcp") {
            const std::string text = args.value(option);
            punch.tcp = parseEndpoint(text);
            if (!punch.tcp) usageError(option + ": expected [HOST:]PORT with an IPv4 host, got " + text);
        } else if (option == "--usb")
            punch.usb = true;
        else if (option == "--enroll") {
            punch.enroll = args.integer(option, INT32_MIN);
            haveEnroll = true;
        } else if (option == "--mode")
            punch.mode = args.integer(option, INT32_MIN);
        else if (option == "--machine")
            punch.machine = args.integer(option, INT32_MIN);
        else
            usageError("unknown option " + option);
    }
    if (!haveEnroll) usageError("punch needs --enroll N");
    if (punch.tcp.has_value() == punch.usb) usageError("punch needs one of --tcp [HOST:]PORT and --usb");
    if (punch.tcp && punch.tcp->port == 0) usageError("punch: --tcp needs the terminal's port");
    return options;
}

// Reads one option of the terminal's own modes; false for an unknown one.
bool parseTerminalOption(const std::string& option, Arguments& args, ProgramOptions& options) {
    ServerConfig& config = options.config;
    if (option == "--state")
        options.statePath = args.value(option);
    else if (option == "--machine")
        options.machine = args.integer(option, INT32_MIN);
    else if (option == "--password")
        options.password = args.integer(option, INT32_MIN);
    else if (option == "--tcp" || option == "--udp") {
        const std::string text = args.value(option);
        const auto endpoint = parseEndpoint(text);
        if (!endpoint) usageError(option + ": expected [HOST:]PORT with an IPv4 host, got " + text);
        (option == "--tcp" ? config.tcp : config.udp) = endpoint;
    } else if (option == "--serial-pty")
        config.serialPty = true;
    else if (option == "--usb")
        config.usb = true;
    else if (option == "--export-usb") {
        options.exportPath = args.value(option);
        if (options.mode != ProgramOptions::Mode::Dump) options.mode = ProgramOptions::Mode::ExportUsb;
    } else if (option == "--dump")
        options.mode = ProgramOptions::Mode::Dump;
    else if (option == "--fault") {
        const std::string fault = args.value(option);
        if (!parseFault(fault, options.faults)) usageError("--fault: unknown fault " + fault);
    } else if (option == "--idle-timeout-ms")
        config.idleTimeoutMs = args.integer(option, 1);
    else if (option == "--save-delay-ms")
        options.saveDelay = std::chrono::milliseconds(args.integer(option, 0));
    else if (option == "--count-requests")
        options.countRequests = true;
    else if (option == "--heartbeat-ms")
        config.heartbeatMs = args.integer(option, static_cast<int>(terminal::kMinHeartbeatMs));
    else if (option == "--punch-every-ms")
        config.punchEveryMs = args.integer(option, 0);
    else if (option == "--punch-seed")
        config.punchSeed = static_cast<std::uint64_t>(args.integer(option, 0));
    else
        return false;
    return true;
}

}  // namespace

ProgramOptions parseProgramOptions(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "seed") == 0) return parseSeedOptions(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "punch") == 0) return parsePunchOptions(argc, argv);
    ProgramOptions options;
    Arguments args(argc, argv, 1);
    while (!args.done()) {
        const std::string option = args.next();
        if (parseTerminalOption(option, args, options)) continue;
        if (option == "--help" || option == "-h")
            options.mode = ProgramOptions::Mode::Help;
        else if (option == "--version")
            options.mode = ProgramOptions::Mode::Version;
        else
            usageError("unknown option " + option);
        return options;  // help and version end the reading, as they end the program
    }
    if (options.statePath.empty()) usageError("--state FILE is required");
    return options;
}

}  // namespace orvelo::emulator
