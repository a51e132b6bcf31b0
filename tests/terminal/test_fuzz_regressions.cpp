// Replays the hand-written seed inputs of the fuzz targets (a frame stream with leading noise,
// a stream of frames, USB-disk files with CRLF line ends and with two records) through the same
// checks the fuzzers run, so those checks run in every test build, not only in fuzzing builds.
// An input a fuzzer finds a fault with is added to these folders.
#include "terminal/fuzz/fuzz_checks.h"
#include "tests/support/fuzz_replay.h"

namespace {

QString inputs(const char* kind) {
    return QStringLiteral(ORVELO_FUZZ_INPUTS) + QLatin1Char('/') + QLatin1String(kind);
}

TEST(FuzzInputs, FrameDecoderInputs) {
    orvelo::test::replayFuzzInputs(inputs("frame"), orvelo::terminal::checkFrameInput);
}

TEST(FuzzInputs, UsbLogFileInputs) {
    orvelo::test::replayFuzzInputs(inputs("usb_log"), orvelo::terminal::checkUsbLogInput);
}

}  // namespace
