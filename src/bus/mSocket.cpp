// The program's endpoint on the device bus: set-up and the one send operation.
#include "bus/mSocket.h"

#include <stdexcept>

#include "bus/BusEndpoint.h"
#include "core/CommandLine.h"
#include "core/Prompts.h"
#include "core/SharedState.h"
#include "platform/DebugTrace.h"

namespace kestrel {

namespace {
constexpr char kBindFailedMessage[] =
    "Unsuccessfully initialize Winsock!Please check your settings!"
    "Please reference the manual for how to configure it.";
}  // namespace

std::mutex PollLock;
std::atomic<std::uint8_t> PolledSubnetID{0};
std::atomic<std::uint8_t> PolledDeviceID{0};

BusEndpoint& TheBusEndpoint() {
  static BusEndpoint endpoint;
  return endpoint;
}

bool pblInitSocket(const std::string& localIP) {
  // Every step of the set-up counts: an endpoint that is bound but cannot broadcast, or does
  // not hear the broadcast address, is reported like a failed bind rather than as ready.
  std::string why;
  if (TheBusEndpoint().Open(localIP, &why)) return true;
  KESTREL_TRACE_MSG("pblInitSocket: " + why);
  CurrentPrompts().Show(PromptKind::InfoOk, kBindFailedMessage);
  return false;
}

void pblCloseSocket() { TheBusEndpoint().Close(); }

void pblSendBUF(const std::uint8_t* payload, std::size_t n, std::uint16_t opCode,
                std::uint8_t targetSubnetID, std::uint8_t targetDeviceID, bool longFrame) {
  try {
    if (n > kMaxSendPayload)
      throw std::length_error("A payload of " + std::to_string(n) + " bytes exceeds the limit of " +
                              std::to_string(kMaxSendPayload) + " bytes");
    if (payload == nullptr && n > 0) throw std::invalid_argument("No payload bytes were given");
    const std::vector<std::uint8_t> datagram = pblPackFrame(
        payload, n, opCode, targetSubnetID, targetDeviceID, longFrame, LocalIPBytes(), IsDebugMode());
    // A datagram the system refuses is lost without notice, as on any broadcast bus.
    TheBusEndpoint().SendToBus(datagram.data(), datagram.size());
  } catch (const std::exception& e) {
    CurrentPrompts().Show(PromptKind::ErrorOk, std::string(e.what()) + "(pblSendBUF)");
  }
}

void pblSendBUF(const std::vector<std::uint8_t>& payload, std::uint16_t opCode,
                std::uint8_t targetSubnetID, std::uint8_t targetDeviceID, bool longFrame) {
  pblSendBUF(payload.data(), payload.size(), opCode, targetSubnetID, targetDeviceID, longFrame);
}

}  // namespace kestrel
