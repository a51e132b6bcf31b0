#include "collection/fuzz/raw_line_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvelo::checkRawRecordFileInput(data, size);
    return 0;
}
