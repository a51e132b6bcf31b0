#pragma once

#include <QStringList>
#include <cstdio>

namespace orvelo::cli {

// orveloctl's exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNotReached = 1;  // no connection to the terminal, or a warning box
inline constexpr int kExitError = 2;       // a default error box
inline constexpr int kExitStartup = 3;     // hv.ini or the database could not be used
inline constexpr int kExitUsage = 64;

// orveloctl [OPTIONS] COMMAND [COMMAND OPTIONS], `arguments` including the program name: parses
// the options, runs the start-up and the command, and returns the exit status. Needs a
// QCoreApplication.
int runOrveloctl(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace orvelo::cli
