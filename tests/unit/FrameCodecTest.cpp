#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bus/mSocket.h"
#include "bus/threadUDPReceive.h"
#include "core/CommandLine.h"

using namespace kestrel;

namespace {

const std::array<std::uint8_t, 4> kIP = {192, 168, 1, 10};

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& payload, std::uint16_t op = kOpTextCommand,
                               bool longFrame = false, bool debug = false) {
  return pblPackFrame(payload.data(), payload.size(), op, 1, 20, longFrame, kIP, debug);
}

}  // namespace

TEST(Crc, XmodemCheckValueAndEmptyInput) {
  const std::string digits = "123456789";
  EXPECT_EQ(pblCalcCRC(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0x31C3);
  EXPECT_EQ(pblCalcCRC(nullptr, 0), 0x0000);
  std::vector<std::uint8_t> withCrc = Bytes(digits);
  withCrc.push_back(0x31);
  withCrc.push_back(0xC3);
  EXPECT_TRUE(pblCheckCRC(withCrc.data(), digits.size()));
  withCrc.back() ^= 1;
  EXPECT_FALSE(pblCheckCRC(withCrc.data(), digits.size()));
}

TEST(PackFrame, PlayCommandToZoneByteForByte) {
  const auto d = Pack(Bytes("*S2PLAY\r"));
  const std::vector<std::uint8_t> expected = {
      192, 168, 1, 10, 'C', 'O', 'R', 'A', 'L', 'W', 'I', 'N', 'D', 'S', 0xAA, 0xAA,
      0x13, 0x00, 0xFA, 0xFF, 0xFD, 0x19, 0x2E, 0x01, 0x14,
      0x2A, 0x53, 0x32, 0x50, 0x4C, 0x41, 0x59, 0x0D, 0xBA, 0x0D};
  EXPECT_EQ(d, expected);
}

TEST(PackFrame, LongFrameThresholdAndRequest) {
  EXPECT_EQ(Pack(std::vector<std::uint8_t>(69, 'x'))[16], 80);
  EXPECT_EQ(Pack(std::vector<std::uint8_t>(70, 'x'))[16], 0xFF);
  EXPECT_EQ(Pack({}, kOpTextCommand, /*longFrame=*/true)[16], 0xFF);
  // Nothing else changes for a long frame: same size, CRC over the same bytes.
  const auto d = Pack(std::vector<std::uint8_t>(70, 'x'));
  EXPECT_EQ(d.size(), 70u + 27u);
  EXPECT_TRUE(pblCheckCRC(d.data() + 16, d.size() - 18));
  EXPECT_EQ(Pack({}).size(), 27u);
}

TEST(PackFrame, HeaderWordFollowsDebugArgumentExactly) {
  auto word = [](const std::vector<std::uint8_t>& d) { return std::string(d.begin() + 4, d.begin() + 14); };
  EXPECT_EQ(word(Pack({}, kOpTextCommand, false, true)), "MERIDOXLAN");
  EXPECT_EQ(word(Pack({}, kOpTextCommand, false, false)), "CORALWINDS");

  EXPECT_TRUE(IsDebugArgument("debug=1"));
  for (const char* other : {"", "DEBUG=1", "Debug=1", "debug=1 ", " debug=1", "debug=10"})
    EXPECT_FALSE(IsDebugArgument(other)) << '"' << other << '"';

  const char* withDebug[] = {"kestrel", "debug=1", "x"};
  EXPECT_TRUE(DebugModeFromArguments(3, withDebug));
  const char* secondOnly[] = {"kestrel", "x", "debug=1"};
  EXPECT_FALSE(DebugModeFromArguments(3, secondOnly));
  EXPECT_FALSE(DebugModeFromArguments(1, withDebug));
}

TEST(UnpackFrame, RoundTripAndLeadCodes) {
  auto d = Pack(Bytes("*S2PLAY\r"), kOpTextReply);
  auto f = pblUnpackFrame(d.data(), d.size());
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->isLong);
  EXPECT_EQ(f->data, std::vector<std::uint8_t>(d.begin() + 16, d.end()));

  d[15] = 0x55;
  EXPECT_TRUE(pblUnpackFrame(d.data(), d.size()));
  d[15] = 0x56;
  EXPECT_FALSE(pblUnpackFrame(d.data(), d.size()));
  d[15] = 0xAA;
  d[14] = 0xAB;
  EXPECT_FALSE(pblUnpackFrame(d.data(), d.size()));
}

TEST(UnpackFrame, SizeAndCrcRules) {
  auto empty = Pack({});
  ASSERT_EQ(empty.size(), 27u);
  EXPECT_TRUE(pblUnpackFrame(empty.data(), empty.size()));
  // A well-formed empty frame behind a shortened prefix: 26 bytes, dropped.
  std::vector<std::uint8_t> shortened(empty.begin() + 1, empty.end());
  EXPECT_FALSE(pblUnpackFrame(shortened.data(), shortened.size()));

  // The length byte is not compared with the size; the CRC over the actual bytes decides.
  auto d = Pack(Bytes("#S2HELLO\r"));
  d[16] = 0x40;
  const auto crc = pblCalcCRC(d.data() + 16, d.size() - 18);
  d[d.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
  d[d.size() - 1] = static_cast<std::uint8_t>(crc);
  EXPECT_TRUE(pblUnpackFrame(d.data(), d.size()));
  d.back() ^= 0xFF;
  EXPECT_FALSE(pblUnpackFrame(d.data(), d.size()));
  // The prefix is not examined.
  d = Pack(Bytes("x"));
  for (size_t i = 0; i < 14; ++i) d[i] = 0;
  EXPECT_TRUE(pblUnpackFrame(d.data(), d.size()));
}

TEST(UnpackFrame, LongFrameExtentFromItsLengthBytesWithoutCrc) {
  // m = 4: the payload holds the two length bytes and two more; wrong CRC, still accepted.
  std::vector<std::uint8_t> payload = {0x00, 0x04, '#', 'S', 'x', 'y'};
  auto d = Pack(payload, kOpTextReply, true);
  d.back() ^= 0xFF;
  auto f = pblUnpackFrame(d.data(), d.size());
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->isLong);
  ASSERT_EQ(f->data.size(), 4u + 11u);
  EXPECT_EQ(f->data[0], 0xFF);
  EXPECT_EQ(f->data[9], 0x00);
  EXPECT_EQ(f->data[13], 'x');

  // A frame announcing the largest extent reads as zeros past the datagram.
  payload = {0xFF, 0xFF, 'a'};
  d = Pack(payload, kOpTextReply, true);
  f = pblUnpackFrame(d.data(), d.size());
  ASSERT_TRUE(f);
  ASSERT_EQ(f->data.size(), 65535u + 11u);
  EXPECT_EQ(f->data[11], 'a');
  EXPECT_EQ(f->data[12], d[d.size() - 2]);  // CRC bytes are part of the copied datagram
  EXPECT_EQ(f->data[14], 0);
  EXPECT_EQ(f->data.back(), 0);
}
