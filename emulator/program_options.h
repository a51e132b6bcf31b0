#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "emulator/punch_command.h"
#include "emulator/seed.h"
#include "emulator/server.h"
#include "emulator/terminal_service.h"

namespace orvelo::emulator {

// What orvelo-terminal was asked to do, read from its command line.
struct ProgramOptions {
    enum class Mode { Serve, Dump, ExportUsb, Seed, Punch, Help, Version };
    Mode mode = Mode::Serve;

    // Serve, Dump, ExportUsb
    std::string statePath;
    std::optional<int> machine;
    std::optional<int> password;
    std::string exportPath;
    ServerConfig config;
    Faults faults;
    std::chrono::milliseconds saveDelay = TerminalService::kDefaultSaveDelay;
    bool countRequests = false;  // tell the requests received on stderr at exit

    // Seed
    SeedOptions seed;
    std::string seedOut;

    // Punch
    PunchOptions punch;
};

extern const char* const kUsage;

// Tells a wrong command line on stderr with the usage, and ends the program with exit status 2.
[[noreturn]] void usageError(const std::string& message);

// Reads the command line; a wrong one ends the program through usageError.
ProgramOptions parseProgramOptions(int argc, char** argv);

}  // namespace orvelo::emulator
