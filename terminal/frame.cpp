#include "terminal/frame.h"

#include "terminal/crc32.h"
#include "terminal/wire.h"

namespace orvelo::terminal {

namespace {

struct Header {
    std::uint8_t flags;
    std::uint16_t op;
    std::uint16_t status;
    std::int32_t machine;
    std::uint32_t seq;
    std::uint32_t length;
};

// Parses a header at `p` (kHeaderSize bytes available); false when it is not a valid header.
bool parseHeader(const std::uint8_t* p, Header& h) {
    if (p[0] != kMagic0 || p[1] != kMagic1 || p[2] != kProtocolVersion) return false;
    ByteReader r(p, kHeaderSize);
    r.bytes(3);
    h.flags = r.u8();
    h.op = r.u16();
    h.status = r.u16();
    h.machine = r.i32();
    h.seq = r.u32();
    h.length = r.u32();
    const std::uint32_t stored = r.u32();
    if (stored != crc32(p, kHeaderSize - 4)) return false;
    if ((h.flags & ~kFlagReply) != 0) return false;
    return h.length <= kMaxPayload;
}

void fillFrame(const Header& h, Frame& out) {
    out.reply = (h.flags & kFlagReply) != 0;
    out.op = h.op;
    out.status = h.status;
    out.machine = h.machine;
    out.seq = h.seq;
    out.payload.clear();
}

bool payloadIntact(const std::uint8_t* payload, std::size_t length) {
    ByteReader r(payload + length, kTrailerSize);
    return r.u32() == crc32(payload, length);
}

}  // namespace

std::vector<std::uint8_t> encodeFrame(const Frame& frame) {
    std::vector<std::uint8_t> out;
    if (frame.payload.size() > kMaxPayload) return out;
    out.reserve(kHeaderSize + frame.payload.size() + kTrailerSize);
    ByteWriter w(out);
    w.u8(kMagic0);
    w.u8(kMagic1);
    w.u8(kProtocolVersion);
    w.u8(frame.reply ? kFlagReply : 0);
    w.u16(frame.op);
    w.u16(frame.status);
    w.i32(frame.machine);
    w.u32(frame.seq);
    w.u32(static_cast<std::uint32_t>(frame.payload.size()));
    w.u32(crc32(out.data(), out.size()));
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
    w.u32(crc32(frame.payload.data(), frame.payload.size()));
    return out;
}

void FrameDecoder::feed(const std::uint8_t* data, std::size_t size) {
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_offset));
        m_offset = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

void FrameDecoder::clear() {
    m_buffer.clear();
    m_offset = 0;
}

DecodeEvent FrameDecoder::next(Frame& out) {
    for (;;) {
        const std::size_t available = m_buffer.size() - m_offset;
        const std::uint8_t* p = m_buffer.data() + m_offset;
        if (available == 0) return DecodeEvent::NeedMore;
        if (p[0] != kMagic0 || (available >= 2 && p[1] != kMagic1) ||
            (available >= 3 && p[2] != kProtocolVersion)) {
            ++m_offset;
            ++m_skipped;
            continue;
        }
        if (available < kHeaderSize) return DecodeEvent::NeedMore;
        Header h;
        if (!parseHeader(p, h)) {
            ++m_offset;
            ++m_skipped;
            continue;
        }
        const std::size_t total = kHeaderSize + h.length + kTrailerSize;
        if (available < total) return DecodeEvent::NeedMore;
        fillFrame(h, out);
        m_offset += total;
        if (!payloadIntact(p + kHeaderSize, h.length)) return DecodeEvent::Corrupt;
        out.payload.assign(p + kHeaderSize, p + kHeaderSize + h.length);
        if (m_offset == m_buffer.size()) clear();
        return DecodeEvent::Frame;
    }
}

DatagramResult decodeDatagram(const std::uint8_t* data, std::size_t size, Frame& out) {
    if (size < kHeaderSize + kTrailerSize) return DatagramResult::Malformed;
    Header h;
    if (!parseHeader(data, h)) return DatagramResult::Malformed;
    if (size != kHeaderSize + h.length + kTrailerSize) return DatagramResult::Malformed;
    fillFrame(h, out);
    if (!payloadIntact(data + kHeaderSize, h.length)) return DatagramResult::Corrupt;
    out.payload.assign(data + kHeaderSize, data + kHeaderSize + h.length);
    return DatagramResult::Frame;
}

}  // namespace orvelo::terminal
