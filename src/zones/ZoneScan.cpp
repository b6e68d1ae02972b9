#include "zones/ZoneScan.h"

#include <exception>

#include "bus/StatusDecoders.h"
#include "zones/ZoneCommands.h"
#include "zones/ZoneTable.h"

namespace kestrel {

namespace {

std::uint16_t Key(std::uint8_t subnetID, std::uint8_t deviceID) {
  return static_cast<std::uint16_t>(subnetID << 8 | deviceID);
}

}  // namespace

bool ParseIdText(const std::string& text, std::uint8_t& out) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int value = std::stoi(text);
  if (value > 255) return false;
  out = static_cast<std::uint8_t>(value);
  return true;
}

bool ParseIdRange(const std::string& text, std::uint8_t& first, std::uint8_t& last) {
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos) {
    if (!ParseIdText(text, first)) return false;
    last = first;
    return true;
  }
  return ParseIdText(text.substr(0, dash), first) && ParseIdText(text.substr(dash + 1), last) && first <= last;
}

const ZoneDefinition* ZoneAt(const std::vector<ZoneDefinition>& zones, std::uint8_t subnetID, std::uint8_t deviceID) {
  for (const ZoneDefinition& zone : zones)
    if (zone.subnetID == subnetID && zone.deviceID == deviceID) return &zone;
  return nullptr;
}

ZoneDefinition ZoneFor(const FoundDevice& device, const std::string& prefix) {
  ZoneDefinition zone;
  zone.name = prefix + " " + std::to_string(device.subnetID) + ":" + std::to_string(device.deviceID);
  zone.subnetID = device.subnetID;
  zone.deviceID = device.deviceID;
  return zone;
}

ZoneScanner::ZoneScanner(const BusLink& bus, TthreadRecLigth& receiver) : bus_(bus), receiver_(receiver) {}

ZoneScanner::~ZoneScanner() { receiver_.SetReplyListener(nullptr); }

void ZoneScanner::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  wake_.notify_all();
}

bool ZoneScanner::WaitUntil(std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_until(lock, until, [this] { return cancelled_; });
  return !cancelled_;
}

std::vector<FoundDevice> ZoneScanner::Run(const ScanRange& range, const Progress& progress) {
  using Clock = std::chrono::steady_clock;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    range_ = range;
    subnetIndex_.fill(-1);
    for (std::size_t i = 0; i < range.subnets.size(); ++i)
      if (subnetIndex_[range.subnets[i]] < 0) subnetIndex_[range.subnets[i]] = static_cast<int>(i);
    queried_.assign(range.Addresses(), false);
    found_.clear();
  }
  figures_ = {};
  receiver_.SetReplyListener(this);

  const Payload queries[] = {StatusQuery(), PlayModeQuery()};
  const std::size_t total = range.Addresses();
  const Clock::time_point start = Clock::now();
  Clock::time_point next = start;
  Clock::time_point lastSent = start;
  std::size_t done = 0;
  bool going = true;
  for (std::size_t place = 0; going && place < range.subnets.size(); ++place) {
    const std::uint8_t subnet = range.subnets[place];
    if (subnetIndex_[subnet] != static_cast<int>(place)) {  // given twice: scanned once
      done += range.DevicesPerSubnet();
      continue;
    }
    for (int device = range.firstDevice; going && device <= range.lastDevice; ++device) {
      {
        // Marked before the query goes out, so that no answer can come before its mark.
        std::lock_guard<std::mutex> lock(mutex_);
        queried_[place * range.DevicesPerSubnet() + static_cast<std::size_t>(device - range.firstDevice)] = true;
      }
      for (const Payload& query : queries) {
        if (!(going = WaitUntil(next))) break;
        bus_.pblSendBUF(query, kOpTextCommand, subnet, static_cast<std::uint8_t>(device));
        lastSent = Clock::now();
        ++figures_.framesSent;
        // Paced from the moment of sending, so a late frame never brings a burst after it.
        next = lastSent + kFrameGap;
      }
      ++done;
      if (progress) progress(done, total);
    }
  }
  figures_.sendSeconds = std::chrono::duration<double>(lastSent - start).count();
  if (going) WaitUntil(lastSent + kAnswerWait);
  receiver_.SetReplyListener(nullptr);
  figures_.totalSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::vector<FoundDevice> result;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [key, report] : found_)
    result.push_back({static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key & 0xFF), report});
  return result;
}

void ZoneScanner::OnReply(const std::vector<std::uint8_t>& frameData) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Only a reply whose source is an address already asked finds a device. The target says
  // nothing about who is there: another PC's polling sends the replies of its zones to that PC's
  // own address (0:250, say), and any device may address a reply to any other.
  const std::uint8_t subnet = frameData[kSourceSubnetOffset];
  const std::uint8_t device = frameData[kSourceDeviceOffset];
  if (subnetIndex_[subnet] < 0 || device < range_.firstDevice || device > range_.lastDevice) return;
  const std::size_t index = static_cast<std::size_t>(subnetIndex_[subnet]) * range_.DevicesPerSubnet() +
                            static_cast<std::size_t>(device - range_.firstDevice);
  if (!queried_[index]) return;
  TZone& report = found_[Key(subnet, device)];
  report.SubnetID = subnet;
  report.DeviceID = device;
  const std::vector<std::uint8_t> payload(frameData.begin() + kPayloadOffset, frameData.end() - 2);
  TZoneReport recorder(report);
  try {
    DecodeStatusReply(payload, &recorder, nullptr);
  } catch (const std::exception&) {
    // A display line number that is no integer: the device answered all the same.
  }
}

}  // namespace kestrel
