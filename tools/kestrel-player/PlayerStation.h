// The stand-in on the bus: its endpoint, its play list folder and its devices. It acts only on
// command frames (0x192E, 0x0218) addressed to one of its devices and answers from that device
// to the interface's broadcast address.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "PlayListFolder.h"
#include "PlayerDevice.h"
#include "PlayerOptions.h"
#include "bus/BusEndpoint.h"

namespace kestrel::player {

class PlayerStation {
 public:
  PlayerStation(const PlayerOptions& options, std::ostream& log);

  // Opens the endpoint and reads the folder; false with a reason when either fails.
  bool Start(std::string& error);
  // Serves the bus until `stop` is set.
  void Run(const std::atomic<bool>& stop);

  std::uint64_t CommandsCarriedOut() const { return commands_; }
  std::uint64_t RepliesSent() const { return replies_; }

 private:
  void OnDatagram(const std::uint8_t* data, std::size_t size, const std::string& receivedOn);
  // Whether --off-file names the device now.
  bool SwitchedOff(const DeviceAddress& device) const;
  void Tick(Clock::time_point now);
  void Report(const PlayerDevice& device, const Outcome& outcome, std::uint8_t targetSubnet,
              std::uint8_t targetDevice, const std::string& via);
  void Send(const PlayerDevice& device, const ReplyPayload& reply, std::uint8_t targetSubnet,
            std::uint8_t targetDevice);

  PlayerOptions options_;
  std::ostream& log_;
  BusEndpoint endpoint_;
  PlayListFolder folder_;
  std::vector<std::unique_ptr<PlayerDevice>> devices_;
  std::array<std::uint8_t, 4> ownIP_{};
  std::uint64_t commands_ = 0;
  std::uint64_t replies_ = 0;
};

}  // namespace kestrel::player
