// The command line's station on the device bus: the same Settings folder and the same local
// address choice as the window, the zones of Zone.ini, the endpoint, the receive thread and the
// zone control, all with the run's context. Built for one run and taken down in order by the
// destructor.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "bus/mSocket.h"
#include "bus/threadUDPReceive.h"
#include "core/AppContext.h"
#include "core/SharedState.h"
#include "zones/ZoneControl.h"
#include "zones/ZoneTable.h"
#include "zones/ZoneThreads.h"

namespace kestrel::cli {

// Reads Zone.ini from the context's Settings folder. False (after saying why) for a faulty file.
bool ReadZones(const AppContext& context, std::vector<ZoneDefinition>& zones);

// The rows of `zones` that `wanted` names: a zone name (exact) or SUBNET:DEVICE. Empty after
// saying which one matches no zone.
std::vector<std::size_t> SelectZones(const std::vector<ZoneDefinition>& zones,
                                     const std::vector<std::string>& wanted);

// "S:D" with both numbers 0-255.
bool ParseAddress(const std::string& text, std::uint8_t& subnetID, std::uint8_t& deviceID);

// "S:D".
std::string AddressText(std::uint8_t subnetID, std::uint8_t deviceID);

class CliStation {
 public:
  explicit CliStation(AppContext& context);
  ~CliStation();
  CliStation(const CliStation&) = delete;
  CliStation& operator=(const CliStation&) = delete;

  // Chooses the local address, opens the endpoint, takes the zones and starts the receive
  // thread. kOk, or the exit status after saying why.
  int Start(const std::vector<ZoneDefinition>& zones);

  ZoneTable& Zones() { return zones_; }
  ZoneControl& Control() { return *control_; }
  SharedState& State() { return state_; }
  const BusLink& Bus() const { return bus_; }
  TthreadRecLigth& Receiver() { return *recv_; }
  // One polling pass over every zone, as the query thread makes it (a second per zone).
  void QueryZones();
  // Tells every zone to reload its play lists and waits for each to report the end, as the
  // window's reload does, saying that it waits (and on a terminal for how long so far). kOk,
  // or kReloadUnconfirmed after naming how many zones did not report in time.
  int Reload();
  // Whether the zone has answered a poll since the start.
  bool Answered(std::size_t row) const;

 private:
  AppContext& context_;
  SharedState state_;
  PollState poll_;
  BusLink bus_;
  ZoneTable zones_;
  std::unique_ptr<ZoneControl> control_;
  std::unique_ptr<TthreadRecLigth> recv_;
  std::unique_ptr<TQueryThread> query_;
  std::unique_ptr<std::atomic<bool>[]> answeredFlags_;  // set on the receive thread
};

}  // namespace kestrel::cli
