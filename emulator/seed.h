#pragma once

#include <cstdint>

#include "emulator/state.h"

namespace orvelo::emulator {

struct SeedOptions {
    int users = 0;
    int enrollments = 0;  // per user, on backup numbers 0 .. enrollments-1 (at most 11)
    int logs = 0;
    std::uint64_t seed = 1;
};

// A deterministic terminal for tests and benchmarks: the same options give the same state.
TerminalState seedState(const SeedOptions& options);

}  // namespace orvelo::emulator
