// The program's endpoint on the device bus: set-up and the one send operation.
#include "bus/mSocket.h"

#include <stdexcept>

#include "core/mGetLocalIP.h"
#include "platform/DebugTrace.h"

namespace kestrel {

namespace {
constexpr char kBindFailedMessage[] =
    "Unsuccessfully initialize Winsock!Please check your settings!"
    "Please reference the manual for how to configure it.";
}  // namespace

bool BusLink::pblInitSocket(const std::string& localIP) {
  // Every step of the set-up counts: an endpoint that is bound but cannot broadcast, or does
  // not hear the broadcast address, is reported like a failed bind rather than as ready.
  std::string why;
  if (endpoint_.Open(localIP, &why)) {
    const IPv4Bytes b = SplitLocalIP(localIP);
    senderIP_ = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    return true;
  }
  KESTREL_TRACE_MSG("pblInitSocket: " + why);
  context_.CurrentPrompts().Show(PromptKind::InfoOk, kBindFailedMessage);
  return false;
}

void BusLink::pblCloseSocket() { endpoint_.Close(); }

void BusLink::pblSendBUF(const std::uint8_t* payload, std::size_t n, std::uint16_t opCode,
                         std::uint8_t targetSubnetID, std::uint8_t targetDeviceID, bool longFrame) const {
  try {
    if (n > kMaxSendPayload)
      throw std::length_error("A payload of " + std::to_string(n) + " bytes exceeds the limit of " +
                              std::to_string(kMaxSendPayload) + " bytes");
    if (payload == nullptr && n > 0) throw std::invalid_argument("No payload bytes were given");
    const std::uint32_t ip = senderIP_;
    const IPv4Bytes sender{static_cast<std::uint8_t>(ip >> 24), static_cast<std::uint8_t>(ip >> 16),
                           static_cast<std::uint8_t>(ip >> 8), static_cast<std::uint8_t>(ip)};
    const std::vector<std::uint8_t> datagram =
        pblPackFrame(payload, n, opCode, targetSubnetID, targetDeviceID, longFrame, sender, context_.DebugMode());
    // A datagram the system refuses is lost without notice, as on any broadcast bus.
    endpoint_.SendToBus(datagram.data(), datagram.size());
  } catch (const std::exception& e) {
    context_.CurrentPrompts().Show(PromptKind::ErrorOk, std::string(e.what()) + "(pblSendBUF)");
  }
}

void BusLink::pblSendBUF(const std::vector<std::uint8_t>& payload, std::uint16_t opCode,
                         std::uint8_t targetSubnetID, std::uint8_t targetDeviceID, bool longFrame) const {
  pblSendBUF(payload.data(), payload.size(), opCode, targetSubnetID, targetDeviceID, longFrame);
}

}  // namespace kestrel
