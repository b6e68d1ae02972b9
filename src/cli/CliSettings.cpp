// The settings sub-commands: which Settings folder is in use and what it holds, and the FTP
// server written only after a login with it worked, as the window's settings dialog does.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliSettings.h"
#include "cli/CliStation.h"
#include "core/AppContext.h"
#include "core/TextEscape.h"
#include "core/mGetLocalIP.h"
#include "platform/ExePath.h"
#include "platform/FileWrite.h"
#include "playlists/FtpServerConnect.h"

namespace kestrel::cli {

namespace {

const char kZoneIni[] = "Zone.ini";
const char kLocalIPIni[] = "localIP.ini";
const char kPasswordMask[] = "********";

struct FtpArgs {
  std::string ip;
  std::string port;
  std::string user;
  bool passwordFromStdin = false;
};

std::string PlaceText(const SettingsFolder& folder) {
  switch (folder.place) {
    case SettingsPlace::Given:
      return "given with --settings";
    case SettingsPlace::BesideProgram:
      return "beside the program";
    case SettingsPlace::UserConfig:
      return "this user's own: " + folder.why;
  }
  return {};
}

const char* PlaceName(SettingsPlace place) {
  // In the order of SettingsPlace.
  static const char* const names[] = {"given", "beside-program", "user"};
  return names[static_cast<int>(place)];
}

// Zone.ini as the program reads it: the zones, the zones left out (each told as it is met), and
// what stopped the reading.
struct ZoneIniReading {
  std::vector<ZoneDefinition> zones;
  std::vector<std::string> skipped;
  std::string error;
};

ZoneIniReading ReadZonesToShow(const std::string& path) {
  ZoneIniReading read;
  try {
    ReadZoneIni(
        path, [&read](const ZoneDefinition& zone) { read.zones.push_back(zone); },
        [&read](const std::string& why) {
          read.skipped.push_back(why);
          Complain(std::string(kZoneIni) + ": " + why);
        });
  } catch (const std::exception& e) {
    read.error = e.what();
  }
  return read;
}

int RunShow(const AppContext& context, const Options& options) {
  const SettingsFolder folder = context.CurrentSettingsFolder();
  const std::string ftpPath = context.SettingsFile(kFtpServerIniName);
  const std::string ipPath = context.SettingsFile(kLocalIPIni);
  const std::string zonePath = context.SettingsFile(kZoneIni);
  const bool ftpExists = platform::IsFile(ftpPath), ipExists = platform::IsFile(ipPath), zonesExist = platform::IsFile(zonePath);
  const FtpServerSettings ftp = ReadFtpServerSettings(ftpPath);
  const std::string preferredIP = ReadSoftwareIP(context);
  const ZoneIniReading read = ReadZonesToShow(zonePath);
  const std::vector<ZoneDefinition>& zones = read.zones;
  const std::string& zoneError = read.error;
  const std::string password = ftp.password.empty() ? "" : kPasswordMask;

  if (options.json) {
    nlohmann::json zoneRows = nlohmann::json::array();
    for (const ZoneDefinition& zone : zones)
      zoneRows.push_back({{"name", zone.name}, {"subnetID", zone.subnetID}, {"deviceID", zone.deviceID},
                          {"address", AddressText(zone.subnetID, zone.deviceID)}});
    nlohmann::json out = {
        {"folder", folder.dir},
        {"place", PlaceName(folder.place)},
        {"ftpServer", {{"file", ftpPath}, {"exists", ftpExists}, {"IP", ftp.ip}, {"Port", ftp.port},
                       {"UserName", ftp.userName}, {"Password", password}}},
        {"localIP", {{"file", ipPath}, {"exists", ipExists}, {"IP", preferredIP}}},
        {"zones", {{"file", zonePath}, {"exists", zonesExist}, {"zones", zoneRows}}},
    };
    if (!zoneError.empty()) out["zones"]["error"] = zoneError;
    if (!read.skipped.empty()) out["zones"]["skipped"] = read.skipped;
    PrintJson(out);
  } else {
    std::printf("Settings folder: %s\n  (%s)\n", EscapeControls(folder.dir).c_str(), EscapeControls(PlaceText(folder)).c_str());
    if (ftpExists) {
      std::printf("%s (the player's FTP server)\n  IP        %s\n  Port      %s\n  UserName  %s\n  Password  %s\n",
                  kFtpServerIniName, EscapeControls(ftp.ip).c_str(), EscapeControls(ftp.port).c_str(),
                  EscapeControls(ftp.userName).c_str(), ftp.password.empty() ? "(none)" : kPasswordMask);
    } else {
      std::printf("%s: missing; kestrel-cli settings ftp writes it\n", kFtpServerIniName);
    }
    if (ipExists)
      std::printf("%s (the preferred address of this computer)\n  IP        %s\n", kLocalIPIni,
                  preferredIP.empty() ? "(none)" : EscapeControls(preferredIP).c_str());
    else
      std::printf("%s: missing; the first address of this computer is used\n", kLocalIPIni);
    if (!zonesExist) {
      std::printf("%s: missing, so no zones; kestrel-cli settings zones add writes it\n", kZoneIni);
    } else {
      std::printf("%s: %zu zone(s)\n", kZoneIni, zones.size());
      for (std::size_t row = 0; row < zones.size(); ++row)
        std::printf("  %zu  %s  %s\n", row + 1, EscapeControls(zones[row].name).c_str(),
                    AddressText(zones[row].subnetID, zones[row].deviceID).c_str());
    }
  }
  if (zoneError.empty()) return kOk;
  Complain(std::string(kZoneIni) + ": " + zoneError);
  return kUsage;
}

int RunFtp(CliContext& cli, const FtpArgs& args) {
  const std::string path = cli.app.SettingsFile(kFtpServerIniName);
  // What is not given stays as it is stored.
  FtpServerSettings typed = ReadFtpServerSettings(path);
  if (!args.ip.empty()) typed.ip = args.ip;
  if (!args.port.empty()) typed.port = args.port;
  if (!args.user.empty()) typed.userName = args.user;
  if (args.passwordFromStdin) {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    typed.password = line;
  }
  if (RemoveBlanks(typed.ip).empty()) {
    Complain("settings ftp: give --ip (no server address is stored yet)");
    return kUsage;
  }
  std::uint16_t port = 0;
  if (!ParseFtpPort(typed.port, port)) {
    Complain("settings ftp: give --port as a number from 1 to 65535");
    return kUsage;
  }
  if (const int status = CheckWritable(cli.app); status != kOk) return status;

  FtpClient ftp(ServerNotes(cli.app));
  const ConnectResult result = ConnectAndSave(ftp, cli.prompts, typed, path);
  if (result.outcome != ConnectOutcome::Connected) {
    Complain(result.reason);
    if (result.notSaved) {
      ftp.Quit();
      return kNotSaved;
    }
    return kNoConnection;
  }
  ftp.Quit();
  std::printf("%s written (the server answered the login: %s)\n", EscapeControls(path).c_str(),
              EscapeControls(result.loginReply).c_str());
  return kOk;
}

}  // namespace

int CheckWritable(const AppContext& context) {
  std::string error;
  const std::string dir = context.SettingsDir();
  if (platform::CanWriteIn(dir, error)) return kOk;
  Complain("the Settings folder " + dir + " can not be written: " + error);
  return kNotSaved;
}

void AddSettingsCommands(Registry& r) {
  Options& options = r.options;
  CLI::App* settings = r.app.add_subcommand("settings", "shows the Settings folder in use and what it holds; writes the settings");
  settings->require_subcommand(0, 1);
  // The sub-commands below choose themselves; "settings" alone shows.
  settings->callback([settings, &r, &options] {
    if (settings->get_subcommands().empty()) r.choose([&options](CliContext& cli) { return RunShow(cli.app, options); });
  });
  settings->footer(
      "Without a sub-command: the folder in use and why, then the values of ftpServer.ini\n"
      "(the password masked), localIP.ini and Zone.ini.\n"
      "\n"
      "The Settings folder is, in this order: the folder given with --settings; the folder\n"
      "Settings beside the program when it exists (a portable copy, the build tree); else this\n"
      "user's $XDG_CONFIG_HOME/kestrel/Settings (~/.config/kestrel/Settings when XDG_CONFIG_HOME\n"
      "is not set). The window uses the same folder and reads the files when it starts.");

  auto ftpArgs = std::make_shared<FtpArgs>();
  CLI::App* ftp = settings->add_subcommand("ftp", "connects to the player's FTP server and, once the login worked, writes ftpServer.ini");
  ftp->callback([&r, ftpArgs] { r.choose([ftpArgs](CliContext& cli) { return RunFtp(cli, *ftpArgs); }); });
  ftp->add_option("--ip", ftpArgs->ip, "the server's IPv4 address")->type_name("ADDRESS");
  ftp->add_option("--port", ftpArgs->port, "its TCP port (default 21)")->type_name("N");
  ftp->add_option("--user", ftpArgs->user, "the user name to log in with")->type_name("NAME");
  ftp->add_flag("--password-stdin", ftpArgs->passwordFromStdin, "read the password from the first line of standard input");
  ftp->footer(
      "Logs in with the values given (what is not given is taken from ftpServer.ini) and writes\n"
      "all four only when the login worked, as the window's settings dialog does. Without\n"
      "--password-stdin the stored password is used. Exit status 2 when the login failed (nothing\n"
      "is written), 6 when the Settings folder can not be written.");

  AddZoneSettingsCommands(r, settings);
}

}  // namespace kestrel::cli
