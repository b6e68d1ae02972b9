// Finding the zones on the bus: every device address of a range gets the status and play mode
// queries the query thread sends, paced, and the addresses that answer are collected with what
// each reports. The scan runs beside the polling: it never touches the polled address or the
// poll lock, and it reads the replies through the receive thread's reply listener, so a reply
// is still handed to a zone only when that zone is the one polled.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bus/mSocket.h"
#include "bus/threadUDPReceive.h"
#include "zones/TZone.h"
#include "zones/ZoneIni.h"

namespace kestrel {

// The subnets to scan, each once in the order given, and an inclusive range of device IDs.
struct ScanRange {
  std::vector<std::uint8_t> subnets{1};
  std::uint8_t firstDevice = 1;
  std::uint8_t lastDevice = 254;
  std::size_t DevicesPerSubnet() const { return static_cast<std::size_t>(lastDevice - firstDevice + 1); }
  std::size_t Addresses() const { return subnets.size() * DevicesPerSubnet(); }
};

// A device or subnet ID: one to three digits, 0 to 255. False for anything else.
bool ParseIdText(const std::string& text, std::uint8_t& out);
// "N" or "A-B" with numbers from 0 to 255, A not above B. False for anything else.
bool ParseIdRange(const std::string& text, std::uint8_t& first, std::uint8_t& last);

// A device that answered, with what it reported (the fields of TZone that replies fill; the
// mute state and the check mark mean nothing here).
struct FoundDevice {
  std::uint8_t subnetID = 0;
  std::uint8_t deviceID = 0;
  TZone report;
};

// The first zone of `zones` at this device address, or nullptr.
const ZoneDefinition* ZoneAt(const std::vector<ZoneDefinition>& zones, std::uint8_t subnetID, std::uint8_t deviceID);
// The zone a found device is added as: named `prefix` and its address ("Zone 1:20").
ZoneDefinition ZoneFor(const FoundDevice& device, const std::string& prefix = "Zone");

struct ScanFigures {
  std::size_t framesSent = 0;
  double sendSeconds = 0;   // from the first frame to the last
  double totalSeconds = 0;  // including the wait for late answers
  double FramesPerSecond() const { return sendSeconds > 0 ? static_cast<double>(framesSent) / sendSeconds : 0; }
};

class ZoneScanner : private ReplyListener {
 public:
  // At most one frame every kFrameGap, so a scan never floods the bus.
  static constexpr std::chrono::milliseconds kFrameGap{2};
  // How long answers are waited for after the last query: a player answers within the second
  // after a poll.
  static constexpr std::chrono::milliseconds kAnswerWait{1000};

  // Sends through `bus` and listens on `receiver`; both must outlive the scanner.
  ZoneScanner(const BusLink& bus, TthreadRecLigth& receiver);
  ~ZoneScanner() override;
  ZoneScanner(const ZoneScanner&) = delete;
  ZoneScanner& operator=(const ZoneScanner&) = delete;

  // (addresses queried so far, addresses in all), called on the scanning thread.
  using Progress = std::function<void(std::size_t done, std::size_t total)>;

  // Queries every address of `range`, subnet by subnet and device by device, then waits
  // kAnswerWait for late answers. Returns the devices that answered, in address order. Blocks;
  // Cancel() from another thread ends it early with what was found so far.
  std::vector<FoundDevice> Run(const ScanRange& range, const Progress& progress = {});
  void Cancel();
  const ScanFigures& Figures() const { return figures_; }

 private:
  void OnReply(const std::vector<std::uint8_t>& frameData) override;
  // Sleeps until `until` or a cancel; false when cancelled.
  bool WaitUntil(std::chrono::steady_clock::time_point until);

  const BusLink& bus_;
  TthreadRecLigth& receiver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool cancelled_ = false;
  ScanRange range_;
  std::array<int, 256> subnetIndex_{};  // place of a subnet in range_.subnets; -1: not scanned
  std::vector<bool> queried_;           // by address index: subnet place, then device
  std::map<std::uint16_t, TZone> found_;  // subnet << 8 | device
  ScanFigures figures_;
};

}  // namespace kestrel
