#pragma once

#include "emulator/program_options.h"

namespace orvelo::emulator {

// The modes of orvelo-terminal; each returns the program's exit status.

// Writes a state file of generated users, enrollments and log records.
int runSeed(const ProgramOptions& options);
// Serves the terminal of the state file on the links asked for, until SIGTERM or SIGINT.
int runServe(const ProgramOptions& options);
// Prints the state file in its canonical form.
int runDump(const ProgramOptions& options);
// Writes the terminal's whole log as a USB-disk log file.
int runExportUsb(const ProgramOptions& options);

}  // namespace orvelo::emulator
