#include <gtest/gtest.h>

#include <string>

#include "terminal/crc32.h"
#include "terminal/frame.h"
#include "terminal/messages.h"
#include "terminal/wire.h"

using namespace orvelo::terminal;

namespace {

Frame sampleFrame(std::size_t payloadSize = 5) {
    Frame f;
    f.reply = true;
    f.op = static_cast<std::uint16_t>(Op::LogPage);
    f.status = 7;
    f.machine = -3;
    f.seq = 0xFEDCBA98u;
    for (std::size_t i = 0; i < payloadSize; ++i) f.payload.push_back(static_cast<std::uint8_t>(i * 37));
    return f;
}

void expectSameFrame(const Frame& a, const Frame& b) {
    EXPECT_EQ(a.reply, b.reply);
    EXPECT_EQ(a.op, b.op);
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.machine, b.machine);
    EXPECT_EQ(a.seq, b.seq);
    EXPECT_EQ(a.payload, b.payload);
}

}  // namespace

TEST(Crc32, KnownCheckValue) {
    const std::string text = "123456789";
    EXPECT_EQ(crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0xCBF43926u);
}

TEST(Frame, HeaderLayoutIsLittleEndianWithMagicAndVersion) {
    const auto bytes = encodeFrame(sampleFrame(2));
    ASSERT_EQ(bytes.size(), kHeaderSize + 2 + kTrailerSize);
    EXPECT_EQ(bytes[0], 'F');
    EXPECT_EQ(bytes[1], 'K');
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[3], kFlagReply);
    EXPECT_EQ(bytes[4], static_cast<std::uint8_t>(Op::LogPage));
    EXPECT_EQ(bytes[12], 0x98);  // sequence number, low byte first
    EXPECT_EQ(bytes[16], 2);     // payload length
}

TEST(Frame, RoundTripsThroughStreamDecoderByteByByte) {
    const Frame original = sampleFrame(300);
    const auto bytes = encodeFrame(original);
    FrameDecoder decoder;
    Frame out;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        decoder.feed(&bytes[i], 1);
        ASSERT_EQ(decoder.next(out), DecodeEvent::NeedMore) << "at byte " << i;
    }
    decoder.feed(&bytes.back(), 1);
    ASSERT_EQ(decoder.next(out), DecodeEvent::Frame);
    expectSameFrame(out, original);
    EXPECT_EQ(decoder.next(out), DecodeEvent::NeedMore);
    EXPECT_EQ(decoder.bufferedBytes(), 0u);
}

TEST(Frame, DecoderSkipsNoiseAndFindsTheNextFrame) {
    const Frame original = sampleFrame();
    const auto bytes = encodeFrame(original);
    std::vector<std::uint8_t> stream = {'x', 'F', 'K', 0x01, 'F', 0x00};
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    FrameDecoder decoder;
    decoder.feed(stream.data(), stream.size());
    Frame out;
    ASSERT_EQ(decoder.next(out), DecodeEvent::Frame);
    expectSameFrame(out, original);
    ASSERT_EQ(decoder.next(out), DecodeEvent::Frame);
    EXPECT_EQ(decoder.skippedBytes(), 6u);
}

TEST(Frame, DamagedPayloadIsReportedWithItsHeaderAndSkipped) {
    auto bytes = encodeFrame(sampleFrame());
    bytes[kHeaderSize + 1] ^= 0x01;
    const auto next = encodeFrame(sampleFrame(1));
    bytes.insert(bytes.end(), next.begin(), next.end());
    FrameDecoder decoder;
    decoder.feed(bytes.data(), bytes.size());
    Frame out;
    ASSERT_EQ(decoder.next(out), DecodeEvent::Corrupt);
    EXPECT_EQ(out.seq, 0xFEDCBA98u);
    EXPECT_TRUE(out.payload.empty());
    ASSERT_EQ(decoder.next(out), DecodeEvent::Frame);
    EXPECT_EQ(out.payload.size(), 1u);
}

// A damaged header must not make the decoder wait for a length that was never sent.
TEST(Frame, DamagedLengthDoesNotStallTheDecoder) {
    auto bytes = encodeFrame(sampleFrame());
    bytes[17] ^= 0x40;  // payload length now 16389: only the header checksum tells
    const auto next = encodeFrame(sampleFrame(1));
    bytes.insert(bytes.end(), next.begin(), next.end());
    FrameDecoder decoder;
    decoder.feed(bytes.data(), bytes.size());
    Frame out;
    ASSERT_EQ(decoder.next(out), DecodeEvent::Frame);
    EXPECT_EQ(out.payload.size(), 1u);
}

TEST(Frame, RefusesOversizedPayloadsOnBothSides) {
    Frame big = sampleFrame(kMaxPayload + 1);
    EXPECT_TRUE(encodeFrame(big).empty());
    big.payload.resize(kMaxPayload);
    const auto bytes = encodeFrame(big);
    ASSERT_EQ(bytes.size(), kMaxFrameSize);
    Frame out;
    EXPECT_EQ(decodeDatagram(bytes.data(), bytes.size(), out), DatagramResult::Frame);
}

TEST(Frame, DatagramMustHoldExactlyOneFrame) {
    const auto bytes = encodeFrame(sampleFrame());
    Frame out;
    EXPECT_EQ(decodeDatagram(bytes.data(), bytes.size(), out), DatagramResult::Frame);
    EXPECT_EQ(decodeDatagram(bytes.data(), bytes.size() - 1, out), DatagramResult::Malformed);
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(decodeDatagram(longer.data(), longer.size(), out), DatagramResult::Malformed);
    auto damaged = bytes;
    damaged[kHeaderSize] ^= 0xFF;
    EXPECT_EQ(decodeDatagram(damaged.data(), damaged.size(), out), DatagramResult::Corrupt);
    auto otherVersion = bytes;
    otherVersion[2] = 2;
    EXPECT_EQ(decodeDatagram(otherVersion.data(), otherVersion.size(), out), DatagramResult::Malformed);
}

TEST(ByteReader, ReadingPastTheEndFailsWithoutTouchingMemory) {
    const std::vector<std::uint8_t> data = {1, 2, 3};
    ByteReader r(data);
    EXPECT_EQ(r.u16(), 0x0201);
    EXPECT_EQ(r.u32(), 0u);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.u8(), 0);  // stays failed
}

TEST(Messages, PayloadsRoundTrip) {
    const EnrollData data{3, -5001, {12, -3, 0, INT32_MIN, INT32_MAX}};
    EXPECT_EQ(decodeEnrollData(encodeEnrollData(data)), data);
    const std::vector<LogEntry> logs = {{123, 1, 38418.3442129630}, {-1, 10, 2.0}};
    EXPECT_EQ(decodeLogPage(encodeLogPage(logs)), logs);
    const std::vector<UserEntry> users = {{1, 0, 1}, {2, 9, 0}};
    EXPECT_EQ(decodeUserPage(encodeUserPage(users)), users);
    const auto put = decodePutEnroll(encodePutEnroll({7, 2, data}));
    ASSERT_TRUE(put);
    EXPECT_EQ(put->enroll, 7);
    EXPECT_EQ(put->data, data);
    const auto name = decodeSetName(encodeSetName({5, "张三"}));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "张三");
}

TEST(Messages, DecodersRefuseShortLongAndOvercountedPayloads) {
    Bytes shortPayload = encodeEnrollKey({1, 2});
    shortPayload.pop_back();
    EXPECT_FALSE(decodeEnrollKey(shortPayload));
    Bytes trailing = encodeI32(5);
    trailing.push_back(0);
    EXPECT_FALSE(decodeI32(trailing));
    // A count that claims more entries than the payload holds.
    Bytes overcounted = encodeLogPage({{1, 1, 2.0}});
    overcounted[0] = 2;
    EXPECT_FALSE(decodeLogPage(overcounted));
    Bytes templateTooLong;
    ByteWriter w(templateTooLong);
    w.i32(0);
    w.i32(0);
    w.u32(kMaxTemplateValues + 1);
    for (std::size_t i = 0; i <= kMaxTemplateValues; ++i) w.i32(1);
    EXPECT_FALSE(decodeEnrollData(templateTooLong));
}

TEST(Messages, OperationNamesForFaultInjection) {
    EXPECT_EQ(opFromName("GetDeviceStatus"), Op::GetStatus);
    EXPECT_EQ(opFromName("FK_GetDeviceStatus"), Op::GetStatus);
    EXPECT_EQ(opFromName("fk_getalluserid"), Op::UserListPage);
    EXPECT_FALSE(opFromName("Nothing"));
    EXPECT_EQ(opName(static_cast<std::uint16_t>(Op::SetName)), "SetUserName");
    EXPECT_EQ(opFromName("FK_GetDeviceTime"), Op::GetTime);
    EXPECT_EQ(opName(18), "GetDeviceTime");
    EXPECT_TRUE(opName(999).empty());
}
