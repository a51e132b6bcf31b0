#include "terminal/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvelo::terminal::checkUsbLogInput(data, size);
    return 0;
}
