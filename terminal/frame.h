#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvelo::terminal {

// One message of the wire protocol. Layout, little-endian:
//   0  2  magic "FK"          12 4  sequence number
//   2  1  version (1)         16 4  payload length (<= kMaxPayload)
//   3  1  flags (bit 0 reply) 20 4  CRC-32 of bytes 0..19
//   4  2  operation           24 n  payload
//   6  2  status (replies)    24+n 4 CRC-32 of the payload
//   8  4  machine number
// The header has its own checksum so that a damaged length is caught before the decoder waits
// for bytes that will never come.
constexpr std::uint8_t kMagic0 = 'F';
constexpr std::uint8_t kMagic1 = 'K';
constexpr std::uint8_t kProtocolVersion = 1;
constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kTrailerSize = 4;
// Small enough that a whole frame fits in one UDP datagram.
constexpr std::size_t kMaxPayload = 60000;
constexpr std::size_t kMaxFrameSize = kHeaderSize + kMaxPayload + kTrailerSize;
constexpr std::uint8_t kFlagReply = 0x01;

struct Frame {
    bool reply = false;
    std::uint16_t op = 0;
    std::uint16_t status = 0;
    std::int32_t machine = 0;
    std::uint32_t seq = 0;
    std::vector<std::uint8_t> payload;
};

// Returns the encoded frame; empty when the payload exceeds kMaxPayload.
std::vector<std::uint8_t> encodeFrame(const Frame& frame);

enum class DecodeEvent {
    Frame,     // a whole, intact frame
    Corrupt,   // an intact header whose payload failed its checksum; the frame was skipped
    NeedMore,  // the buffered bytes do not hold a whole frame yet
};

// Splits a byte stream (TCP, serial line, Unix socket) into frames. Bytes that cannot start a
// valid header are skipped one at a time, so the decoder finds the next frame after line noise
// or a damaged header. Its buffer never holds more than one partial frame plus the last input.
class FrameDecoder {
public:
    void feed(const std::uint8_t* data, std::size_t size);

    // On Frame, `out` is the frame. On Corrupt, `out` has the header fields and an empty payload.
    DecodeEvent next(Frame& out);

    // Bytes discarded while looking for a frame start (line noise, damaged headers).
    std::size_t skippedBytes() const { return m_skipped; }
    std::size_t bufferedBytes() const { return m_buffer.size() - m_offset; }
    void clear();

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_offset = 0;
    std::size_t m_skipped = 0;
};

enum class DatagramResult { Frame, Corrupt, Malformed };

// A datagram carries exactly one frame and nothing else.
DatagramResult decodeDatagram(const std::uint8_t* data, std::size_t size, Frame& out);

}  // namespace orvelo::terminal
