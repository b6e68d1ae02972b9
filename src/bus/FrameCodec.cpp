// CRC and packing of bus frames (declared in mSocket.h; the endpoint lives in mSocket.cpp).
#include <cstring>

#include "bus/mSocket.h"

namespace kestrel {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr auto kCrcTable = MakeCrcTable();

}  // namespace

std::uint16_t pblCalcCRC(const std::uint8_t* data, std::size_t count) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < count; ++i)
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
  return crc;
}

bool pblCheckCRC(const std::uint8_t* data, std::size_t count) {
  const std::uint16_t crc = pblCalcCRC(data, count);
  return data[count] == (crc >> 8) && data[count + 1] == (crc & 0xFF);
}

std::vector<std::uint8_t> pblPackFrame(const std::uint8_t* payload, std::size_t n,
                                       std::uint16_t opCode, std::uint8_t targetSubnetID,
                                       std::uint8_t targetDeviceID, bool longFrame,
                                       const std::array<std::uint8_t, 4>& senderIP, bool debugMode) {
  return PackFrameFrom(kOwnSource, payload, n, opCode, targetSubnetID, targetDeviceID, longFrame,
                       senderIP, debugMode);
}

std::vector<std::uint8_t> PackFrameFrom(const FrameSource& source, const std::uint8_t* payload,
                                        std::size_t n, std::uint16_t opCode,
                                        std::uint8_t targetSubnetID, std::uint8_t targetDeviceID,
                                        bool longFrame, const std::array<std::uint8_t, 4>& senderIP,
                                        bool debugMode) {
  std::vector<std::uint8_t> out;
  out.reserve(n + kFrameOverhead);
  out.insert(out.end(), senderIP.begin(), senderIP.end());
  const char* word = debugMode ? kDebugHeaderWord : kHeaderWord;
  out.insert(out.end(), word, word + std::strlen(word));
  out.push_back(0xAA);
  out.push_back(0xAA);

  const std::size_t frameStart = out.size();
  const bool isLong = longFrame || n + 11 > 80;
  out.push_back(isLong ? kLongFrameMark : static_cast<std::uint8_t>(n + 11));
  out.push_back(source.subnetID);
  out.push_back(source.deviceID);
  out.push_back(static_cast<std::uint8_t>(source.deviceType >> 8));
  out.push_back(static_cast<std::uint8_t>(source.deviceType & 0xFF));
  out.push_back(static_cast<std::uint8_t>(opCode >> 8));
  out.push_back(static_cast<std::uint8_t>(opCode & 0xFF));
  out.push_back(targetSubnetID);
  out.push_back(targetDeviceID);
  if (n > 0) out.insert(out.end(), payload, payload + n);

  const std::uint16_t crc = pblCalcCRC(out.data() + frameStart, out.size() - frameStart);
  out.push_back(static_cast<std::uint8_t>(crc >> 8));
  out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  return out;
}

}  // namespace kestrel
