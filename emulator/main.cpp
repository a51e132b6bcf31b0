// orvelo-terminal: plays a fingerprint/card attendance terminal from a JSON state file, on TCP,
// UDP, a pseudo-terminal serial line and a USB (Unix) socket, so that the client's commands run
// end to end on one machine.
#include <cstdio>

#include "emulator/program_modes.h"
#include "emulator/program_options.h"
#include "emulator/punch_command.h"

using namespace orvelo::emulator;

int main(int argc, char** argv) {
    const ProgramOptions options = parseProgramOptions(argc, argv);
    switch (options.mode) {
        case ProgramOptions::Mode::Help:
            std::fputs(kUsage, stdout);
            return 0;
        case ProgramOptions::Mode::Version:
            std::puts("orvelo-terminal (Orvelo) " ORVELO_VERSION);
            return 0;
        case ProgramOptions::Mode::Seed:
            return runSeed(options);
        case ProgramOptions::Mode::Punch:
            return runPunch(options.punch);
        case ProgramOptions::Mode::Dump:
            return runDump(options);
        case ProgramOptions::Mode::ExportUsb:
            return runExportUsb(options);
        case ProgramOptions::Mode::Serve:
            return runServe(options);
    }
    return 2;
}
