#pragma once

#include <cstddef>
#include <cstdint>

namespace orvelo {

// What the hv.ini fuzz target runs on each input, and the regression test on each kept input.
// Aborts on a broken invariant; any memory fault is the sanitizers' to report.
//
// The input is read twice: as the bytes of a file (the way start-up reads hv.ini) and as UTF-8
// text. Every key that the text holds must read back as a small independent reading of the rules
// finds it (first section and first key of a name win, letter case ignored, blanks dropped, the
// value cut), no value may hold a line end, blanks at its ends or a control character the input
// did not hold, and plain UTF-8 bytes must read the same from the file as from the text.
void checkIniInput(const std::uint8_t* data, std::size_t size);

}  // namespace orvelo
