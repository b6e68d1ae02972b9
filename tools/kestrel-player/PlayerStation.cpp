#include "PlayerStation.h"

#include <fstream>

#include "bus/mSocket.h"
#include "bus/threadUDPReceive.h"
#include "core/mGetLocalIP.h"
#include "platform/Utf8Path.h"

namespace kestrel::player {

namespace {
// The device type the stand-in's frames carry.
constexpr std::uint16_t kPlayerDeviceType = 0x0278;
// Datagrams handled in one go before time is let pass again.
constexpr int kBurst = 256;
// The tool that sent a command; replies go back to it.
constexpr std::uint8_t kToolSubnet = kOwnSubnetID;
constexpr std::uint8_t kToolDevice = kOwnDeviceID;
}  // namespace

PlayerStation::PlayerStation(const PlayerOptions& options, std::ostream& log)
    : options_(options), log_(log), folder_(options.folder) {}

bool PlayerStation::Start(std::string& error) {
  if (!folder_.Rescan(&error)) return false;
  if (!endpoint_.Open(options_.address, &error)) return false;
  ownIP_ = SplitLocalIP(options_.address);
  for (const DeviceAddress& d : options_.devices) devices_.push_back(std::make_unique<PlayerDevice>(d, folder_, options_));
  log_ << "kestrel-player on " << options_.address << " (interface " << endpoint_.InterfaceName() << "), replying to "
       << endpoint_.InterfaceBroadcast() << ":"
       << kBusPort << ", " << folder_.DeviceListCount() << " play lists, devices";
  for (const auto& d : devices_) log_ << ' ' << ToText(d->Address());
  log_ << std::endl;
  return true;
}

void PlayerStation::Run(const std::atomic<bool>& stop) {
  std::array<std::uint8_t, kReceiveBufferSize + 1> buffer{};
  std::string via;
  while (!stop) {
    endpoint_.WaitReadable(20);
    for (int i = 0; i < kBurst && !stop; ++i) {
      const std::size_t n = endpoint_.Receive(buffer.data(), buffer.size(), &via);
      if (n == 0) break;
      if (n <= kReceiveBufferSize) OnDatagram(buffer.data(), n, via);
    }
    Tick(Clock::now());
  }
}

void PlayerStation::OnDatagram(const std::uint8_t* data, std::size_t size, const std::string& receivedOn) {
  const auto frame = pblUnpackFrame(data, size);
  if (!frame || frame->data.size() < kFrameDataOverhead) return;
  const auto& f = frame->data;
  const std::uint16_t op = static_cast<std::uint16_t>(f[kOpCodeOffset] << 8 | f[kOpCodeOffset + 1]);
  if (op != kOpTextCommand && op != kOpSetPlayMode) return;
  const DeviceAddress target{f[kTargetSubnetOffset], f[kTargetDeviceOffset]};
  for (const auto& device : devices_) {
    if (!(device->Address() == target)) continue;
    if (SwitchedOff(device->Address())) {
      log_ << ToText(device->Address()) << " off: frame not taken" << std::endl;
      continue;
    }
    const auto now = Clock::now();
    for (const auto& line : device->Advance(now)) log_ << ToText(device->Address()) << ' ' << line << std::endl;
    const std::uint8_t* payload = f.data() + kPayloadOffset;
    const std::size_t n = f.size() - kFrameDataOverhead;
    Outcome outcome;
    if (op == kOpSetPlayMode) {
      outcome = device->OnPlayMode(payload, n);
    } else {
      std::string text(payload, payload + n);
      if (!text.empty() && text.back() == '\r') text.pop_back();
      outcome = device->OnText(text, now);
    }
    ++commands_;
    Report(*device, outcome, f[kSourceSubnetOffset], f[kSourceDeviceOffset], receivedOn);
  }
}

bool PlayerStation::SwitchedOff(const DeviceAddress& device) const {
  if (options_.offFile.empty()) return false;
  std::ifstream in(platform::PathFromUtf8(options_.offFile));
  const std::string wanted = ToText(device);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line == wanted) return true;
  }
  return false;
}

void PlayerStation::Tick(Clock::time_point now) {
  bool rescanned = false;
  for (const auto& device : devices_) {
    for (const auto& line : device->Advance(now)) log_ << ToText(device->Address()) << ' ' << line << std::endl;
    if (device->ReloadDone(now)) {
      if (!rescanned) {
        std::string error;
        if (!folder_.Rescan(&error)) log_ << "reading the play lists failed: " << error << std::endl;
        for (const auto& other : devices_) other->Renumbered();
        rescanned = true;
      }
      Report(*device, device->FinishReload(), kToolSubnet, kToolDevice, {});
    } else if (device->ReloadReportDue(now)) {
      Send(*device, device->RepeatReloadReport(now), kToolSubnet, kToolDevice);
    }
  }
}

void PlayerStation::Report(const PlayerDevice& device, const Outcome& outcome, std::uint8_t targetSubnet,
                           std::uint8_t targetDevice, const std::string& via) {
  log_ << ToText(device.Address()) << ' ' << outcome.line;
  if (!via.empty()) log_ << " (via " << via << ")";
  log_ << std::endl;
  for (const auto& reply : outcome.replies) Send(device, reply, targetSubnet, targetDevice);
}

void PlayerStation::Send(const PlayerDevice& device, const ReplyPayload& reply, std::uint8_t targetSubnet,
                         std::uint8_t targetDevice) {
  const FrameSource source{device.Address().subnetID, device.Address().deviceID, kPlayerDeviceType};
  const auto datagram = PackFrameFrom(source, reply.data(), reply.size(), kOpTextReply, targetSubnet, targetDevice,
                                      false, ownIP_, false);
  if (endpoint_.SendTo(endpoint_.InterfaceBroadcast(), datagram.data(), datagram.size())) ++replies_;
}

}  // namespace kestrel::player
