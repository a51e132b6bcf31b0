// Raw record files the fuzzer was seeded with or once found a fault with, kept so that the
// faults stay fixed: every line of each reads back as the import reads it.
#include "collection/fuzz/raw_line_checks.h"
#include "tests/support/fuzz_replay.h"

namespace orvelo {
namespace {

TEST(FuzzInputs, RawRecordFileInputs) {
    test::replayFuzzInputs(QStringLiteral(ORVELO_RAW_LINE_FUZZ_INPUTS), checkRawRecordFileInput);
}

}  // namespace
}  // namespace orvelo
