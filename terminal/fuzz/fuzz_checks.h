#pragma once

#include <cstddef>
#include <cstdint>

namespace orvelo::terminal {

// What the fuzz targets run on each input, and the regression test on each kept crash input.
// Each aborts on a broken invariant; any memory fault is the sanitizers' to report.

// Splits the input into chunks (the first byte chooses their size), feeds a stream decoder, also
// decodes it as a datagram, and runs every payload decoder on each frame found.
void checkFrameInput(const std::uint8_t* data, std::size_t size);

// Parses the input as a USB-disk log file; an accepted file must format back to the same records.
void checkUsbLogInput(const std::uint8_t* data, std::size_t size);

}  // namespace orvelo::terminal
