// hv.ini files the fuzzer was seeded with or once found a fault with, kept so that the faults
// stay fixed: each reads by the rules, from the file as from the text.
#include "core/fuzz/ini_checks.h"
#include "tests/support/fuzz_replay.h"

namespace orvelo {
namespace {

TEST(FuzzInputs, IniInputs) {
    test::replayFuzzInputs(QStringLiteral(ORVELO_INI_FUZZ_INPUTS), checkIniInput);
}

}  // namespace
}  // namespace orvelo
