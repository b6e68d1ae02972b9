#include "cli/CliStation.h"

#include <cstdio>
#include <exception>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "core/mGetLocalIP.h"
#include "zones/ZoneScan.h"
#include "platform/Sleep.h"
#include "platform/Terminal.h"

namespace kestrel::cli {

bool ParseAddress(const std::string& text, std::uint8_t& subnetID, std::uint8_t& deviceID) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  return ParseIdText(text.substr(0, colon), subnetID) && ParseIdText(text.substr(colon + 1), deviceID);
}

std::string AddressText(std::uint8_t subnetID, std::uint8_t deviceID) {
  return std::to_string(subnetID) + ":" + std::to_string(deviceID);
}

bool ReadZones(const AppContext& context, std::vector<ZoneDefinition>& zones) {
  try {
    // A zone left out is told, and the others are used.
    ReadZoneIni(
        context.SettingsFile("Zone.ini"), [&zones](const ZoneDefinition& zone) { zones.push_back(zone); },
        [](const std::string& why) { Complain("Zone.ini: " + why); });
    return true;
  } catch (const std::exception& e) {
    Complain("Zone.ini: " + std::string(e.what()));
    return false;
  }
}

std::vector<std::size_t> SelectZones(const std::vector<ZoneDefinition>& zones, const std::vector<std::string>& wanted) {
  std::vector<std::size_t> rows;
  for (const std::string& want : wanted) {
    std::uint8_t subnetID = 0, deviceID = 0;
    const bool isAddress = ParseAddress(want, subnetID, deviceID);
    bool found = false;
    for (std::size_t row = 0; row < zones.size(); ++row) {
      const ZoneDefinition& zone = zones[row];
      const bool match = zone.name == want || (isAddress && zone.subnetID == subnetID && zone.deviceID == deviceID);
      if (!match) continue;
      found = true;
      bool taken = false;
      for (std::size_t r : rows) taken = taken || r == row;
      if (!taken) rows.push_back(row);
      break;
    }
    if (!found) {
      Complain("there is no zone \"" + want + "\" in Zone.ini (give its name or SUBNET:DEVICE)");
      return {};
    }
  }
  return rows;
}

CliStation::CliStation(AppContext& context)
    : context_(context),
      bus_(context),
      zones_([this] { return std::make_pair(poll_.PolledSubnetID.load(), poll_.PolledDeviceID.load()); }) {}

CliStation::~CliStation() {
  if (control_) control_->Cancel();
  if (recv_) recv_->Stop();
  if (query_) query_->Stop();
  bus_.pblCloseSocket();
}

int CliStation::Start(const std::vector<ZoneDefinition>& zones) {
  state_.Reset();
  const std::string localIP = TakeLocalIP(context_, state_);
  if (localIP.empty()) return kNoConnection;
  if (!bus_.pblInitSocket(localIP)) return kNoConnection;

  for (const ZoneDefinition& zone : zones) zones_.Append(zone);
  answeredFlags_ = std::make_unique<std::atomic<bool>[]>(zones.size());
  zones_.SetRowTextHandler([this](std::size_t row, const std::string&) {
    if (row < zones_.Count()) answeredFlags_[row] = true;
  });
  control_ = std::make_unique<ZoneControl>(bus_, poll_, zones_, state_, context_.CurrentPrompts());
  recv_ = std::make_unique<TthreadRecLigth>(&zones_, bus_.Endpoint(), poll_, state_);
  // The command line is the front end that shows what the replies say, for as long as it runs.
  recv_->SetMainFormExists(true);
  query_ = std::make_unique<TQueryThread>(bus_, poll_, zones_, state_);
  recv_->Start();
  return kOk;
}

int CliStation::Reload() {
  const std::size_t count = zones_.Count();
  std::fprintf(stderr, "Reloading the play lists of %zu zone(s): waiting for each to report the end "
                       "(at most 60 s without a report)\n", count);
  if (platform::StderrIsTerminal()) {
    auto waited = std::make_shared<int>(0);
    control_->SetPump([waited](int maxMs, const std::function<bool()>& done) {
      for (int ms = 0; ms < maxMs && !done(); ms += 10) platform::SleepMs(10);
      *waited += maxMs;
      if (*waited % 1000 == 0) std::fprintf(stderr, "\r  waited %d s ", *waited / 1000);
    });
  }
  // Every zone counts as unchecked, so that each is waited for.
  control_->UpdateZonePlayLists(ZoneChecks(count, false));
  if (platform::StderrIsTerminal()) std::fputc('\n', stderr);
  if (control_->ReloadTimeouts() == 0) return kOk;
  Complain(std::to_string(control_->ReloadTimeouts()) + " zone(s) did not report the end of the reload within 60 s");
  return kReloadUnconfirmed;
}

void CliStation::QueryZones() { query_->QueryZones(); }

bool CliStation::Answered(std::size_t row) const { return row < zones_.Count() && answeredFlags_[row]; }

}  // namespace kestrel::cli
