// "settings zones": adding, removing, renaming and moving the zones of Zone.ini, which keeps its
// format, order and numbering (zones/ZoneIniWriter).
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliSettings.h"
#include "cli/CliStation.h"
#include "core/AppContext.h"
#include "core/TextEscape.h"
#include "zones/ZoneIniWriter.h"

namespace kestrel::cli {

namespace {

struct ZoneEditArgs {
  std::string zone;    // NAME|S:D, or the new zone's name
  std::string second;  // the address, the new name or the position
  bool noBackup = false;
};

// A change of the list: kOk with `done` saying what was done, or the exit status after saying
// why not.
using Change = std::function<int(ZoneIniWriter& zones, const ZoneEditArgs& args, std::string& done)>;

std::string ZoneText(const ZoneDefinition& zone) {
  return zone.name + " (" + AddressText(zone.subnetID, zone.deviceID) + ")";
}

int Refused(const std::string& why) {
  Complain(why);
  return kUsage;
}

// The row of the zone that `wanted` names: its name, else its address when one zone has it.
int FindRow(const ZoneIniWriter& writer, const std::string& wanted) {
  const int row = writer.Find(wanted);
  if (row >= 0) return row;
  std::uint8_t subnetID = 0, deviceID = 0;
  if (ParseAddress(wanted, subnetID, deviceID)) {
    int found = -1, count = 0;
    for (std::size_t r = 0; r < writer.Zones().size(); ++r) {
      const ZoneDefinition& zone = writer.Zones()[r];
      if (zone.subnetID != subnetID || zone.deviceID != deviceID) continue;
      if (count++ == 0) found = static_cast<int>(r);
    }
    if (count == 1) return found;
    if (count > 1) {
      Complain(std::to_string(count) + " zones have the address " + wanted + ": give the zone's name");
      return -1;
    }
  }
  Complain("there is no zone \"" + wanted + "\" in Zone.ini (give its name or SUBNET:DEVICE)");
  return -1;
}

int Edit(const AppContext& context, const ZoneEditArgs& args, const Change& change) {
  std::unique_ptr<ZoneIniWriter> writer;
  if (const int status = OpenZoneIni(context, writer); status != kOk) return status;
  std::string done;
  if (const int status = change(*writer, args, done); status != kOk) return status;
  if (const int status = SaveZoneIni(context, *writer, !args.noBackup); status != kOk) return status;
  std::printf("%s: %s\n", EscapeControls(context.SettingsFile("Zone.ini")).c_str(), EscapeControls(done).c_str());
  return kOk;
}

int Add(ZoneIniWriter& zones, const ZoneEditArgs& args, std::string& done) {
  ZoneDefinition zone;
  zone.name = args.zone;
  if (!ParseAddress(args.second, zone.subnetID, zone.deviceID))
    return Refused("give the zone's address as SUBNET:DEVICE, each 0-255 (not \"" + args.second + "\")");
  if (const std::string why = zones.Add(zone); !why.empty()) return Refused(why);
  done = "added zone " + std::to_string(zones.Zones().size()) + ", " + ZoneText(zones.Zones().back());
  return kOk;
}

int Remove(ZoneIniWriter& zones, const ZoneEditArgs& args, std::string& done) {
  const int row = FindRow(zones, args.zone);
  if (row < 0) return kUsage;
  done = "removed zone " + std::to_string(row + 1) + ", " + ZoneText(zones.Zones()[static_cast<std::size_t>(row)]);
  if (const std::string why = zones.Remove(static_cast<std::size_t>(row)); !why.empty()) return Refused(why);
  return kOk;
}

int Rename(ZoneIniWriter& zones, const ZoneEditArgs& args, std::string& done) {
  const int row = FindRow(zones, args.zone);
  if (row < 0) return kUsage;
  const std::string old = zones.Zones()[static_cast<std::size_t>(row)].name;
  if (const std::string why = zones.Rename(static_cast<std::size_t>(row), args.second); !why.empty()) return Refused(why);
  done = "zone " + std::to_string(row + 1) + " renamed from " + old + " to " + zones.Zones()[static_cast<std::size_t>(row)].name;
  return kOk;
}

int Move(ZoneIniWriter& zones, const ZoneEditArgs& args, std::string& done) {
  const int row = FindRow(zones, args.zone);
  if (row < 0) return kUsage;
  const std::string& p = args.second;
  const std::size_t count = zones.Zones().size();
  if (p.empty() || p.size() > 6 || p.find_first_not_of("0123456789") != std::string::npos || std::stoul(p) < 1 ||
      std::stoul(p) > count)
    return Refused("give the position as a number from 1 to " + std::to_string(count));
  const std::size_t to = std::stoul(p) - 1;
  if (const std::string why = zones.Move(static_cast<std::size_t>(row), to); !why.empty()) return Refused(why);
  done = ZoneText(zones.Zones()[to]) + " is zone " + p + " now";
  return kOk;
}

}  // namespace

int OpenZoneIni(const AppContext& context, std::unique_ptr<ZoneIniWriter>& writer) {
  // The lock file goes beside Zone.ini: where nothing can be written, that is said first.
  if (const int status = CheckWritable(context); status != kOk) return status;
  std::string error;
  try {
    writer = ZoneIniWriter::OpenLocked(context.SettingsFile("Zone.ini"), error);
  } catch (const std::exception& e) {
    Complain("Zone.ini: " + std::string(e.what()) + "; the file is left as it is: mend it by hand first");
    return kUsage;
  }
  if (writer) return kOk;
  Complain("Zone.ini can not be changed now: " + error);
  return kNotSaved;
}

int SaveZoneIni(const AppContext& context, const ZoneIniWriter& writer, bool backup) {
  if (const int status = CheckWritable(context); status != kOk) return status;
  std::string error;
  if (writer.Save(backup, error)) return kOk;
  Complain("Zone.ini was not written: " + error);
  return kNotSaved;
}

void AddZoneSettingsCommands(Registry& r, CLI::App* settings) {
  auto args = std::make_shared<ZoneEditArgs>();
  CLI::App* zones = settings->add_subcommand("zones", "adds, removes, renames and moves the zones of Zone.ini");
  zones->require_subcommand(1);
  zones->add_flag("--no-backup", args->noBackup, "keep no copy of the file as it was (Zone.ini.bak)");
  zones->footer(
      "Zone.ini keeps its comments, other keys and line ends. The zones are numbered Zone1 to\n"
      "ZoneN in list order and TotalZones follows; a zone's own lines go with it when it moves.\n"
      "The file as it was is kept as Zone.ini.bak. A Zone.ini the program can not read is not\n"
      "changed. The window reads Zone.ini when it starts. Exit status 1 when the change is\n"
      "refused, 6 when the file can not be written.");

  struct Sub {
    const char* name;
    const char* description;
    const char* first;
    const char* firstHelp;
    const char* second;  // nullptr: none
    const char* secondHelp;
    int (*change)(ZoneIniWriter&, const ZoneEditArgs&, std::string&);
  };
  static const Sub subs[] = {
      {"add", "adds a zone as the last one", "NAME", "the zone's name, as the zone list shows it", "SUBNET:DEVICE",
       "the address of the zone's player, each 0-255", Add},
      {"remove", "removes a zone; the zones after it move up", "ZONE", "the zone's name, or its SUBNET:DEVICE", nullptr,
       nullptr, Remove},
      {"rename", "gives a zone another name", "ZONE", "the zone's name, or its SUBNET:DEVICE", "NEW_NAME", "its new name",
       Rename},
      {"move", "moves a zone to another place in the list", "ZONE", "the zone's name, or its SUBNET:DEVICE", "POSITION",
       "its place afterwards, from 1", Move},
  };
  for (const Sub& s : subs) {
    CLI::App* sub = zones->add_subcommand(s.name, s.description);
    sub->add_option(s.first, args->zone, s.firstHelp)->required();
    if (s.second != nullptr) sub->add_option(s.second, args->second, s.secondHelp)->required();
    const auto change = s.change;
    sub->callback([&r, args, change] { r.choose([args, change](CliContext& cli) { return Edit(cli.app, *args, change); }); });
  }
}

}  // namespace kestrel::cli
