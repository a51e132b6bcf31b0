#pragma once

#include <cstddef>
#include <cstdint>

namespace orvelo::terminal {

// CRC-32 (IEEE 802.3, reflected, as used by zlib and Ethernet).
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace orvelo::terminal
