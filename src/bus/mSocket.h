// The device bus: frame layout, CRC and packing.
//
// Datagram: 4 bytes sender IPv4 | 10 bytes header word | lead code AA AA | frame data.
// Frame data: length | src subnet 0 | src device FA | device type FF FD | op code (2) |
//             target subnet | target device | payload (n) | CRC-16/XMODEM (2), high bytes first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel {

constexpr std::uint16_t kBusPort = 6000;

constexpr std::uint16_t kOpTextCommand = 0x192E;
constexpr std::uint16_t kOpTextReply = 0x192F;
constexpr std::uint16_t kOpSetPlayMode = 0x0218;

constexpr std::size_t kDatagramPrefixSize = 14;   // sender address + header word
constexpr std::size_t kFrameDataOffset = 16;      // after the prefix and the lead code
constexpr std::size_t kFrameHeaderSize = 9;       // length byte .. target device
constexpr std::size_t kFrameOverhead = 27;        // datagram size of an empty payload
constexpr std::size_t kMaxSendDatagram = 1300;
constexpr std::size_t kMaxSendPayload = kMaxSendDatagram - kFrameOverhead;  // 1273
constexpr std::size_t kReceiveBufferSize = 1350;

constexpr std::uint8_t kLongFrameMark = 0xFF;
constexpr std::uint8_t kOwnSubnetID = 0x00;
constexpr std::uint8_t kOwnDeviceID = 0xFA;
constexpr std::uint16_t kOwnDeviceType = 0xFFFD;

constexpr char kHeaderWord[] = "CORALWINDS";
constexpr char kDebugHeaderWord[] = "MERIDOXLAN";

// CRC-16/XMODEM of the first `count` bytes (0 for a count of 0).
std::uint16_t pblCalcCRC(const std::uint8_t* data, std::size_t count);

// True when data[count] and data[count + 1] hold the CRC of the first `count` bytes, high byte
// first. The caller guarantees count + 2 bytes.
bool pblCheckCRC(const std::uint8_t* data, std::size_t count);

// The n + 27 bytes of the datagram carrying the first `n` payload bytes. The length byte is
// 0xFF when `longFrame` is asked for or the payload is 70 bytes or more.
std::vector<std::uint8_t> pblPackFrame(const std::uint8_t* payload, std::size_t n,
                                       std::uint16_t opCode, std::uint8_t targetSubnetID,
                                       std::uint8_t targetDeviceID, bool longFrame,
                                       const std::array<std::uint8_t, 4>& senderIP, bool debugMode);

}  // namespace kestrel
