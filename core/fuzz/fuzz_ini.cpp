#include "core/fuzz/ini_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvelo::checkIniInput(data, size);
    return 0;
}
