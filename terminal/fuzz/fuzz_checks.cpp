#include "terminal/fuzz/fuzz_checks.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "terminal/frame.h"
#include "terminal/messages.h"
#include "terminal/usb_log_file.h"

namespace orvelo::terminal {

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void decodePayloads(const Frame& f) {
    const Bytes& p = f.payload;
    require(p.size() <= kMaxPayload);
    (void)decodeI32(p);
    (void)decodeU32(p);
    (void)decodeF64(p);
    (void)decodeEnrollKey(p);
    (void)decodePageRequest(p);
    if (auto users = decodeUserPage(p)) require(users->size() <= kMaxUserPage);
    if (auto logs = decodeLogPage(p)) require(logs->size() <= kMaxLogPage);
    if (auto data = decodeEnrollData(p)) require(data->templateValues.size() <= kMaxTemplateValues);
    if (auto put = decodePutEnroll(p)) require(encodePutEnroll(*put) == p);
    (void)decodeModifyPrivilege(p);
    if (auto name = decodeName(p)) require(name->size() <= kMaxNameBytes);
    if (auto set = decodeSetName(p)) require(encodeSetName(*set) == p);
}

}  // namespace

void checkFrameInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const std::size_t chunk = 1 + data[0] % 64;
    FrameDecoder decoder;
    Frame frame;
    for (std::size_t pos = 1; pos < size; pos += chunk) {
        decoder.feed(data + pos, std::min(chunk, size - pos));
        for (;;) {
            const DecodeEvent event = decoder.next(frame);
            if (event == DecodeEvent::NeedMore) break;
            if (event == DecodeEvent::Frame) {
                decodePayloads(frame);
                // What decodes must encode to the same bytes.
                const auto again = encodeFrame(frame);
                FrameDecoder check;
                check.feed(again.data(), again.size());
                Frame copy;
                require(check.next(copy) == DecodeEvent::Frame && copy.payload == frame.payload &&
                        copy.seq == frame.seq);
            }
        }
        require(decoder.bufferedBytes() <= kMaxFrameSize + chunk);
    }
    if (decodeDatagram(data + 1, size - 1, frame) == DatagramResult::Frame) decodePayloads(frame);
}

void checkUsbLogInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto file = parseUsbLogFile(text);
    if (!file) return;
    const auto again = parseUsbLogFile(formatUsbLogFile(*file));
    require(again && again->machine == file->machine && again->records.size() == file->records.size());
    for (std::size_t i = 0; i < file->records.size(); ++i) {
        require(again->records[i].enroll == file->records[i].enroll);
        require(again->records[i].mode == file->records[i].mode);
        // Whole seconds in the file: the day count must survive the text form to the millisecond.
        const double diff = again->records[i].time - file->records[i].time;
        require(diff < 1e-8 && diff > -1e-8);
    }
}

}  // namespace orvelo::terminal
