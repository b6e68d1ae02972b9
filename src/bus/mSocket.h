// The device bus: frame layout, CRC and packing, and the program's endpoint on it.
//
// Datagram: 4 bytes sender IPv4 | 10 bytes header word | lead code AA AA | frame data.
// Frame data: length | src subnet 0 | src device FA | device type FF FD | op code (2) |
//             target subnet | target device | payload (n) | CRC-16/XMODEM (2), high bytes first.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "bus/BusEndpoint.h"
#include "core/AppContext.h"

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

// Offsets within the frame data (length byte .. CRC).
constexpr std::size_t kSourceSubnetOffset = 1;
constexpr std::size_t kSourceDeviceOffset = 2;
constexpr std::size_t kDeviceTypeOffset = 3;
constexpr std::size_t kOpCodeOffset = 5;
constexpr std::size_t kTargetSubnetOffset = 7;
constexpr std::size_t kTargetDeviceOffset = 8;
constexpr std::size_t kPayloadOffset = 9;
constexpr std::size_t kFrameDataOverhead = 11;  // frame data size of an empty payload

// Who a frame says it comes from: device address and device type.
struct FrameSource {
  std::uint8_t subnetID;
  std::uint8_t deviceID;
  std::uint16_t deviceType;
};
constexpr FrameSource kOwnSource{kOwnSubnetID, kOwnDeviceID, kOwnDeviceType};

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

// The same datagram with another source address and device type in its frame header (the
// program always sends as kOwnSource; the player stand-in sends as its devices).
std::vector<std::uint8_t> PackFrameFrom(const FrameSource& source, const std::uint8_t* payload,
                                        std::size_t n, std::uint16_t opCode,
                                        std::uint8_t targetSubnetID, std::uint8_t targetDeviceID,
                                        bool longFrame, const std::array<std::uint8_t, 4>& senderIP,
                                        bool debugMode);

// ---- The program's station on the bus ----

// Pairs a poll with its replies: the query thread holds PollLock while it sets the polled
// address and sends its queries; the receive thread holds it while it matches and decodes a
// reply. The polled address is the device address of the zone polled last, written only while
// PollLock is held.
struct PollState {
  std::mutex PollLock;
  std::atomic<std::uint8_t> PolledSubnetID{0};
  std::atomic<std::uint8_t> PolledDeviceID{0};
};

// The program's endpoint and the one send operation every command and query goes through.
// Failures are told through the context's prompts; the context's debug flag chooses the header
// word.
class BusLink {
 public:
  explicit BusLink(const AppContext& context) : context_(context) {}
  BusLink(const BusLink&) = delete;
  BusLink& operator=(const BusLink&) = delete;

  // Opens the endpoint on `localIP`, port 6000; frames then carry its four bytes. When it
  // cannot be bound, shows "Unsuccessfully initialize Winsock!..." once and returns false.
  bool pblInitSocket(const std::string& localIP);
  // Closes the endpoint; only after the receive thread has ended.
  void pblCloseSocket();

  // Packs one frame from this station (with the local IP bytes and the debug-mode header word
  // of the moment) and broadcasts it to a.b.c.255, port 6000. A datagram the system refuses is
  // lost without notice; a failure while packing (a payload over 1,273 bytes, for one) is shown
  // as an error with "(pblSendBUF)" after its text, and nothing is sent. Safe from several
  // threads.
  void pblSendBUF(const std::uint8_t* payload, std::size_t n, std::uint16_t opCode,
                  std::uint8_t targetSubnetID, std::uint8_t targetDeviceID, bool longFrame) const;
  void pblSendBUF(const std::vector<std::uint8_t>& payload, std::uint16_t opCode,
                  std::uint8_t targetSubnetID, std::uint8_t targetDeviceID, bool longFrame = false) const;

  BusEndpoint& Endpoint() { return endpoint_; }
  const BusEndpoint& Endpoint() const { return endpoint_; }

 private:
  const AppContext& context_;
  BusEndpoint endpoint_;
  std::atomic<std::uint32_t> senderIP_{0};
};

}  // namespace kestrel
