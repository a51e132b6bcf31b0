#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvelo::terminal {

// Little-endian encoding of the protocol's fixed-size fields, independent of the host.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : m_out(out) {}

    void u8(std::uint8_t v) { m_out.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void u64(std::uint64_t v) {
        u32(static_cast<std::uint32_t>(v));
        u32(static_cast<std::uint32_t>(v >> 32));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u64(bits);
    }
    void bytes(std::string_view v) { m_out.insert(m_out.end(), v.begin(), v.end()); }

private:
    std::vector<std::uint8_t>& m_out;
};

// Reads what ByteWriter wrote. Reading past the end never touches memory outside the input: it
// yields zeros and clears ok(), so a decoder checks ok() once at the end.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    explicit ByteReader(const std::vector<std::uint8_t>& data) : ByteReader(data.data(), data.size()) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_size; }
    std::size_t remaining() const { return m_size - m_pos; }
    void fail() { m_ok = false; }

    std::uint8_t u8() {
        if (!take(1)) return 0;
        return m_data[m_pos - 1];
    }
    std::uint16_t u16() {
        if (!take(2)) return 0;
        const std::uint8_t* p = m_data + m_pos - 2;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::uint32_t u32() {
        if (!take(4)) return 0;
        const std::uint8_t* p = m_data + m_pos - 4;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::uint64_t u64() {
        std::uint64_t low = u32();
        std::uint64_t high = u32();
        return low | (high << 32);
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    double f64() {
        std::uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string bytes(std::size_t n) {
        if (!take(n)) return {};
        return std::string(reinterpret_cast<const char*>(m_data + m_pos - n), n);
    }

private:
    bool take(std::size_t n) {
        if (!m_ok || n > m_size - m_pos) {
            m_ok = false;
            return false;
        }
        m_pos += n;
        return true;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

// A payload read whole by `read` (ByteReader& -> T): nullopt when it is short or has bytes left
// over, so every decoder rejects both the same way.
template <typename T, typename F>
std::optional<T> decodeWith(const std::vector<std::uint8_t>& payload, F read) {
    ByteReader r(payload);
    T value = read(r);
    if (!r.ok() || !r.atEnd()) return std::nullopt;
    return value;
}

}  // namespace orvelo::terminal
