// The zone sub-commands: the zones of Zone.ini, their status as the query thread polls it, and
// the window's playback commands over the bus.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliServer.h"
#include "cli/CliStation.h"
#include "core/AppContext.h"
#include "core/TextEscape.h"
#include "platform/LocaleTime.h"
#include "zones/ZoneStatusText.h"

namespace kestrel::cli {

namespace {

struct ZoneArgs {
  std::vector<std::string> zones;
  bool allZones = false;
  bool watch = false;
  std::vector<std::string> words;  // the send command and its arguments
};

int RunZones(CliContext& cli, const Options& options) {
  std::vector<ZoneDefinition> zones;
  if (!ReadZones(cli.app, zones)) return kUsage;
  nlohmann::json rows = nlohmann::json::array();
  for (const ZoneDefinition& zone : zones) {
    const std::string address = AddressText(zone.subnetID, zone.deviceID);
    if (options.json)
      rows.push_back({{"name", zone.name}, {"subnetID", zone.subnetID}, {"deviceID", zone.deviceID}, {"address", address}});
    else
      std::printf("%s\t%s\n", EscapeControls(zone.name).c_str(), address.c_str());
  }
  if (options.json) PrintJson(rows);
  return kOk;
}

// The zones of Zone.ini for a command that talks to them. Without any zone there is nothing to
// do, which is said and counted as a fault rather than passed off as done.
bool ReadZonesToUse(const AppContext& context, std::vector<ZoneDefinition>& zones, const std::string& nothingTo) {
  if (!ReadZones(context, zones)) return false;
  if (!zones.empty()) return true;
  Complain("no zones in " + context.SettingsFile("Zone.ini") + ": nothing to " + nothingTo);
  return false;
}

// The zones the command is for: those named, or all of them.
bool ChooseRows(const std::vector<ZoneDefinition>& zones, const ZoneArgs& args, std::vector<std::size_t>& rows) {
  if (args.allZones || args.zones.empty()) {
    for (std::size_t row = 0; row < zones.size(); ++row) rows.push_back(row);
    return true;
  }
  rows = SelectZones(zones, args.zones);
  return !rows.empty();
}

// "2024-05-01T12:03:09Z": a time of TZone (seconds since 1970) in UTC.
std::string UtcText(std::int64_t seconds) {
  const platform::CalendarTime t = platform::CalendarFromSeconds(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

nlohmann::json ZoneJson(const ZoneDefinition& zone, const TZone& status, bool answered) {
  nlohmann::json j = {{"name", zone.name},
                      {"address", AddressText(zone.subnetID, zone.deviceID)},
                      {"answered", answered},
                      {"lastAnswer", status.LastAnswer != 0 ? nlohmann::json(UtcText(status.LastAnswer)) : nlohmann::json()},
                      {"status", ComposeZoneStatusText(status)}};
  if (!answered) return j;
  j["song"] = status.SongName;
  j["songNumber"] = status.SongNo;
  j["playListNumber"] = status.ListNo;
  j["position"] = status.PosText;
  j["duration"] = status.DurText;
  j["volume"] = status.Volume;
  j["volumePercent"] = ZoneVolumePercent(status.Volume);
  j["playMode"] = status.PlayMode;
  j["playModeName"] = PlayModeName(status.PlayMode);
  return j;
}

int RunStatus(CliContext& cli, const Options& options, const ZoneArgs& args) {
  std::vector<ZoneDefinition> all;
  if (!ReadZonesToUse(cli.app, all, "poll")) return kUsage;
  std::vector<std::size_t> rows;
  if (!ChooseRows(all, args, rows)) return kUsage;
  // Only the zones asked for are polled, one a second, as the query thread polls.
  std::vector<ZoneDefinition> zones;
  for (std::size_t row : rows) zones.push_back(all[row]);
  CliStation station(cli.app);
  if (const int status = station.Start(zones); status != kOk) return status;
  int status = kOk;
  do {
    station.QueryZones();
    nlohmann::json out = nlohmann::json::array();
    status = kOk;
    for (std::size_t row = 0; row < zones.size(); ++row) {
      const TZone zone = station.Zones().Snapshot(row);
      const bool answered = station.Answered(row);
      if (!answered) status = kNoConnection;
      if (options.json) {
        out.push_back(ZoneJson(zones[row], zone, answered));
      } else {
        std::printf("%s\t%s\t%s\n", EscapeControls(zones[row].name).c_str(),
                    AddressText(zones[row].subnetID, zones[row].deviceID).c_str(),
                    answered ? EscapeControls(ComposeZoneStatusText(zone)).c_str() : "(no answer)");
      }
    }
    if (options.json) PrintJson(out);
    std::fflush(stdout);
  } while (args.watch);
  return status;
}

bool ToNumber(const std::string& text, int low, int high, int& out) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::stoi(text);
  return out >= low && out <= high;
}

int RunSend(CliContext& cli, const ZoneArgs& args) {
  const std::vector<std::string>& w = args.words;
  const std::string what = w.empty() ? "" : w[0];
  auto wrong = [](const std::string& why) {
    Complain(why);
    return kUsage;
  };
  const std::size_t argCount = what == "volume" || what == "mode" ? 2 : what == "play-song" ? 3 : 1;
  static const std::vector<std::string> known = {"prev", "next", "play", "stop", "mute", "volume", "mode", "play-song", "reload"};
  if (std::find(known.begin(), known.end(), what) == known.end()) return wrong("send what? prev, next, play, stop, mute, volume N, mode 1-4, play-song LIST SONG or reload");
  if (w.size() != argCount) return wrong("send " + what + ": wrong number of arguments");
  if (what != "reload" && args.zones.empty() && !args.allZones) return wrong("send " + what + ": give --zone NAME|S:D (repeatable) or --all-zones");
  int number = 0;
  if (what == "volume" && !ToNumber(w[1], 0, 79, number)) return wrong("volume: give a number from 0 (silent) to 79 (loudest)");
  if (what == "mode" && !ToNumber(w[1], 1, 4, number)) return wrong("mode: give 1 (play one), 2 (repeat one), 3 (play list) or 4 (repeat list)");

  std::vector<ZoneDefinition> zones;
  if (!ReadZonesToUse(cli.app, zones, "send to")) return kUsage;
  std::vector<std::size_t> rows;
  if (!ChooseRows(zones, args, rows)) return kUsage;
  ZoneChecks checked(zones.size(), false);
  for (std::size_t row : rows) checked[row] = true;

  // The play list and song numbers come from the FTP server, as the window takes them.
  std::optional<SongChoice> choice;
  if (what == "play-song") {
    CliServer server(cli);
    const CliServer::Opened opened = server.OpenSongs(w[1], {w[2]});
    if (opened.status != kOk) return opened.status;
    choice = SongChoice{opened.playList->SeqInVeltra, opened.songs[0]->Seq};
  }

  CliStation station(cli.app);
  if (const int status = station.Start(zones); status != kOk) return status;
  ZoneControl& control = station.Control();
  if (what == "prev") control.PrevSong(checked);
  if (what == "next") control.NextSong(checked);
  if (what == "play") control.Play(checked, std::nullopt);
  if (what == "stop") control.Stop(checked);
  if (what == "mute") control.Mute(checked);
  if (what == "volume") control.SendVolume(number, checked);
  if (what == "mode") control.SetPlayMode(number, checked);
  if (what == "play-song") control.PlaySelectedSong(checked, *choice);
  if (what == "reload") {
    if (const int status = station.Reload(); status != kOk) return status;
  }
  return cli.prompts.Errors() > 0 ? kNoConnection : kOk;
}

void AddZoneOptions(CLI::App* sub, ZoneArgs& args, bool withAll) {
  sub->add_option("--zone", args.zones, "a zone by its name in Zone.ini or its address SUBNET:DEVICE; repeat for several")
      ->type_name("NAME|S:D");
  if (withAll) sub->add_flag("--all-zones", args.allZones, "every zone of Zone.ini");
}

}  // namespace

void AddZoneCommands(Registry& r) {
  Options& options = r.options;
  CLI::App* zones = r.app.add_subcommand("zones", "a line per zone of Zone.ini: name, address (SUBNET:DEVICE)");
  CLI::App* scan = AddZoneScanCommand(r, zones);
  zones->callback([&r, &options, scan] {
    if (scan->parsed()) return;  // "zones scan" chose its own command
    r.choose([&options](CliContext& cli) { return RunZones(cli, options); });
  });

  auto statusArgs = std::make_shared<ZoneArgs>();
  CLI::App* status = r.Add("status", "polls the zones and prints what each reports",
                            [&options, statusArgs](CliContext& cli) { return RunStatus(cli, options, *statusArgs); });
  status->footer(
      "Polls the zones (all, or those given) one a second as the window does, and prints a line\n"
      "per zone: name, address, the status text of the window's \"Play Status\" (\"(no answer)\"\n"
      "when the zone did not answer); with --json the reported fields too, and the time of the\n"
      "zone's last answer in UTC (lastAnswer, null when it never answered). Exit status 2 when a\n"
      "zone did not answer.");
  AddZoneOptions(status, *statusArgs, false);
  status->add_flag("--watch", statusArgs->watch, "poll again and print after every pass until interrupted");

  auto sendArgs = std::make_shared<ZoneArgs>();
  CLI::App* send = r.Add("send", "sends the zones a playback command or the reload",
                          [sendArgs](CliContext& cli) { return RunSend(cli, *sendArgs); });
  send->footer(
      "Sends the zones a command, with the window's payloads:\n"
      "  prev | next | play | stop | mute | volume N (0-79) | mode 1-4 | play-song LIST SONG | reload\n"
      "mute sets volume 0 (use volume N to undo it); play-song takes the numbers of play list and\n"
      "song from the FTP server; reload goes to every zone and waits until each reports the end\n"
      "(at most 60 s without a report, exit status 5 then).");
  send->add_option("COMMAND", sendArgs->words, "the command and its arguments")->required();
  AddZoneOptions(send, *sendArgs, true);
}

}  // namespace kestrel::cli
