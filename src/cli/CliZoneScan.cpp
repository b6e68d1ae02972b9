// "zones scan": which device addresses answer the status query, marked where Zone.ini has them,
// and with --add the new ones appended to Zone.ini as zones.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliSettings.h"
#include "cli/CliStation.h"
#include "core/AppContext.h"
#include "core/TextEscape.h"
#include "platform/Terminal.h"
#include "zones/ZoneIniWriter.h"
#include "zones/ZoneScan.h"
#include "zones/ZoneStatusText.h"

namespace kestrel::cli {

namespace {

struct ScanArgs {
  std::string subnets;  // N or A-B; empty: the subnets of Zone.ini, or 1
  std::string devices = "1-254";
  bool add = false;
  std::string namePrefix = "Zone";
};

bool ChooseRange(const ScanArgs& args, const std::vector<ZoneDefinition>& zones, ScanRange& range) {
  if (!ParseIdRange(args.devices, range.firstDevice, range.lastDevice)) {
    Complain("--devices: give N or A-B, numbers from 0 to 255 (not \"" + args.devices + "\")");
    return false;
  }
  range.subnets.clear();
  if (!args.subnets.empty()) {
    std::uint8_t first = 0, last = 0;
    if (!ParseIdRange(args.subnets, first, last)) {
      Complain("--subnet: give N or A-B, numbers from 0 to 255 (not \"" + args.subnets + "\")");
      return false;
    }
    for (int s = first; s <= last; ++s) range.subnets.push_back(static_cast<std::uint8_t>(s));
    return true;
  }
  bool seen[256] = {};
  for (const ZoneDefinition& zone : zones) seen[zone.subnetID] = true;
  for (int s = 0; s < 256; ++s)
    if (seen[s]) range.subnets.push_back(static_cast<std::uint8_t>(s));
  if (range.subnets.empty()) range.subnets.push_back(1);
  return true;
}

nlohmann::json DeviceJson(const FoundDevice& device, const ZoneDefinition* known) {
  const TZone& r = device.report;
  nlohmann::json j = {{"address", AddressText(device.subnetID, device.deviceID)},
                      {"subnetID", device.subnetID},
                      {"deviceID", device.deviceID},
                      {"inZoneIni", known != nullptr},
                      {"status", ComposeZoneStatusText(r)},
                      {"song", r.SongName},
                      {"songNumber", r.SongNo},
                      {"playListNumber", r.ListNo},
                      {"volume", r.Volume},
                      {"volumePercent", ZoneVolumePercent(r.Volume)},
                      {"playMode", r.PlayMode},
                      {"playModeName", PlayModeName(r.PlayMode)}};
  if (known != nullptr) j["zone"] = known->name;
  return j;
}

// Appends the devices Zone.ini does not have. kOk, or the exit status after saying why.
int AddNew(const AppContext& context, const std::vector<FoundDevice>& found, const std::string& prefix) {
  std::unique_ptr<ZoneIniWriter> writer;
  if (const int status = OpenZoneIni(context, writer); status != kOk) return status;
  int added = 0;
  int status = kOk;
  for (const FoundDevice& device : found) {
    if (ZoneAt(writer->Zones(), device.subnetID, device.deviceID) != nullptr) continue;
    if (const std::string why = writer->Add(ZoneFor(device, prefix)); !why.empty()) {
      Complain(AddressText(device.subnetID, device.deviceID) + " not added: " + why);
      status = kUsage;
      continue;
    }
    ++added;
  }
  if (added == 0) {
    std::fprintf(stderr, "Zone.ini has every zone that answered: nothing added\n");
    return status;
  }
  if (const int saved = SaveZoneIni(context, *writer, true); saved != kOk) return saved;
  std::fprintf(stderr, "%s: added %d zone(s); the file as it was is %s\n",
               EscapeControls(context.SettingsFile("Zone.ini")).c_str(), added,
               EscapeControls(writer->BackupPath()).c_str());
  return status;
}

int RunScan(CliContext& cli, const Options& options, const ScanArgs& args) {
  std::vector<ZoneDefinition> zones;
  if (!ReadZones(cli.app, zones)) return kUsage;
  ScanRange range;
  if (!ChooseRange(args, zones, range)) return kUsage;

  CliStation station(cli.app);
  if (const int status = station.Start({}); status != kOk) return status;
  ZoneScanner scanner(station.Bus(), station.Receiver());
  const bool terminal = platform::StderrIsTerminal();
  const std::vector<FoundDevice> found = scanner.Run(range, [terminal](std::size_t done, std::size_t total) {
    if (terminal && (done % 16 == 0 || done == total)) std::fprintf(stderr, "\r  %zu of %zu addresses", done, total);
  });
  if (terminal) std::fputc('\n', stderr);

  const ScanFigures& figures = scanner.Figures();
  std::size_t fresh = 0;
  nlohmann::json devices = nlohmann::json::array();
  for (const FoundDevice& device : found) {
    const ZoneDefinition* known = ZoneAt(zones, device.subnetID, device.deviceID);
    if (known == nullptr) ++fresh;
    if (options.json) {
      devices.push_back(DeviceJson(device, known));
    } else {
      std::printf("%s\t%s\t%s\n", AddressText(device.subnetID, device.deviceID).c_str(),
                  known != nullptr ? EscapeControls(known->name).c_str() : "(new)",
                  EscapeControls(ComposeZoneStatusText(device.report)).c_str());
    }
  }
  if (options.json)
    PrintJson({{"devices", devices},
               {"addresses", range.Addresses()},
               {"frames", figures.framesSent},
               {"seconds", figures.totalSeconds},
               {"framesPerSecond", figures.FramesPerSecond()}});
  std::fflush(stdout);
  std::fprintf(stderr, "%zu address(es) on %zu subnet(s) in %.1f s (%zu frames, %.0f a second): %zu answered, %zu not in Zone.ini\n",
               range.Addresses(), range.subnets.size(), figures.totalSeconds, figures.framesSent,
               figures.FramesPerSecond(), found.size(), fresh);
  if (found.empty()) {
    Complain("no device answered: check the subnets and devices asked for, and the network");
    return kNoConnection;
  }
  return args.add ? AddNew(cli.app, found, args.namePrefix) : kOk;
}

}  // namespace

CLI::App* AddZoneScanCommand(Registry& r, CLI::App* zones) {
  auto args = std::make_shared<ScanArgs>();
  CLI::App* scan = zones->add_subcommand("scan", "finds the devices that answer on the bus");
  scan->add_option("--subnet", args->subnets, "the subnet or subnets to scan (default: those of Zone.ini, or 1)")
      ->type_name("N|A-B");
  scan->add_option("--devices", args->devices, "the device IDs to scan in each subnet")
      ->type_name("A-B")
      ->capture_default_str();
  scan->add_flag("--add", args->add, "append the devices Zone.ini does not have as zones (keeping Zone.ini.bak)");
  scan->add_option("--name-prefix", args->namePrefix, "the new zones' names: PREFIX SUBNET:DEVICE")
      ->capture_default_str();
  scan->footer(
      "Sends each address the status and play mode queries of the zone polling, at most one\n"
      "frame every 2 ms, then waits a second for late answers; a subnet takes about 2 s. Prints a\n"
      "line per device that answered: address, its zone in Zone.ini or \"(new)\", what it\n"
      "reports. The zones' polling is not disturbed. Exit status 2 when no device answered.");
  Options& options = r.options;
  scan->callback([&r, &options, args] {
    r.choose([&options, args](CliContext& cli) { return RunScan(cli, options, *args); });
  });
  return scan;
}

}  // namespace kestrel::cli
