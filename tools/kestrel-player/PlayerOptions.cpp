#include "PlayerOptions.h"

#include <cstdlib>

#include "platform/UdpSocket.h"
#include "zones/ZoneCommands.h"

namespace kestrel::player {

const char kPlayerUsage[] =
    "Usage: kestrel-player --address IP --device SUBNET:DEVICE [--device ...] --folder DIR\n"
    "                      [--zone-char C] [--reload-seconds S] [--attenuation N] [--mode M]\n"
    "                      [--cue SUBNET:DEVICE:LIST:SONG[:TENTHS]] [--off-file FILE]\n"
    "       kestrel-player --folder DIR --print-numbering\n"
    "\n"
    "Plays the zone players of a Veltra installation on the device bus (UDP port 6000).\n"
    "\n"
    "  --address IP          the player's own IPv4 address; it listens there and on the\n"
    "                        broadcast addresses of that interface, and sends its replies to\n"
    "                        the interface's broadcast address\n"
    "  --device S:D          a device address it answers for (subnet and device ID, 0-255);\n"
    "                        repeat for several zones in one process\n"
    "  --folder DIR          the folder whose sub-folders are the play lists (the folder the\n"
    "                        FTP server serves); numbered like the program numbers them\n"
    "  --zone-char C         the zone character of status queries, volume commands and volume\n"
    "                        replies (default: the program's own)\n"
    "  --reload-seconds S    how long reloading the play lists takes (default 5)\n"
    "  --attenuation N       starting volume as attenuation, 0 loudest to 79 (default 25)\n"
    "  --mode M              starting play mode: 1 play one, 2 repeat one, 3 play list,\n"
    "                        4 repeat list (default 3)\n"
    "  --cue S:D:L:N[:T]     device S:D starts with song N of play list L ready, stopped at\n"
    "                        T tenths of a second\n"
    "  --off-file FILE       the devices FILE names (a SUBNET:DEVICE a line) are switched off\n"
    "                        for as long as it names them: they take no frame and send nothing\n"
    "  --print-numbering     print the numbering of the folder and exit: lines\n"
    "                        list<TAB>Seq<TAB>SeqInVeltra<TAB>name and\n"
    "                        song<TAB>SeqInVeltra<TAB>Seq<TAB>name\n"
    "  --help                this text\n"
    "  --version             the version\n"
    "\n"
    "Songs last their file size at 128 kbit/s (at least one second). One line is printed per\n"
    "command carried out; SIGTERM or SIGINT ends the player.\n";

namespace {

bool ToInt(const std::string& text, long low, long high, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return *end == '\0' && out >= low && out <= high;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == sep)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

bool ToDevice(const std::string& a, const std::string& b, DeviceAddress& out) {
  long s = 0, d = 0;
  if (!ToInt(a, 0, 255, s) || !ToInt(b, 0, 255, d)) return false;
  out = {static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(d)};
  return true;
}

}  // namespace

std::string ToText(const DeviceAddress& a) {
  return std::to_string(a.subnetID) + ":" + std::to_string(a.deviceID);
}

std::optional<PlayerOptions> ParsePlayerOptions(int argc, char** argv, std::string& error) {
  PlayerOptions o;
  o.zoneChar = kZoneChar;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    auto bad = [&](const std::string& why) {
      error = arg + ": " + why;
      return std::nullopt;
    };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--print-numbering") {
      o.printNumbering = true;
    } else if (arg == "--address") {
      const auto v = value();
      if (!v || !platform::IsIPv4Text(*v)) return bad("needs an IPv4 address");
      o.address = *v;
    } else if (arg == "--device") {
      const auto v = value();
      const auto parts = v ? Split(*v, ':') : std::vector<std::string>{};
      DeviceAddress d;
      if (parts.size() != 2 || !ToDevice(parts[0], parts[1], d)) return bad("needs SUBNET:DEVICE, each 0-255");
      o.devices.push_back(d);
    } else if (arg == "--folder") {
      const auto v = value();
      if (!v || v->empty()) return bad("needs a folder");
      o.folder = *v;
    } else if (arg == "--zone-char") {
      const auto v = value();
      if (!v || v->size() != 1 || (*v)[0] < 0x21 || (*v)[0] > 0x7E) return bad("needs one visible ASCII character");
      o.zoneChar = (*v)[0];
    } else if (arg == "--reload-seconds") {
      const auto v = value();
      char* end = nullptr;
      o.reloadSeconds = v ? std::strtod(v->c_str(), &end) : -1;
      if (!v || *end != '\0' || !(o.reloadSeconds >= 0 && o.reloadSeconds <= 3600)) return bad("needs 0 to 3600 seconds");
    } else if (arg == "--attenuation") {
      long n = 0;
      const auto v = value();
      if (!v || !ToInt(*v, 0, 79, n)) return bad("needs 0 to 79");
      o.attenuation = static_cast<int>(n);
    } else if (arg == "--mode") {
      long n = 0;
      const auto v = value();
      if (!v || !ToInt(*v, 1, 4, n)) return bad("needs 1 to 4");
      o.playMode = static_cast<int>(n);
    } else if (arg == "--off-file") {
      const auto v = value();
      if (!v || v->empty()) return bad("needs a file");
      o.offFile = *v;
    } else if (arg == "--cue") {
      const auto v = value();
      const auto parts = v ? Split(*v, ':') : std::vector<std::string>{};
      Cue c;
      long list = 0, song = 0, tenths = 0;
      if ((parts.size() != 4 && parts.size() != 5) || !ToDevice(parts[0], parts[1], c.device) ||
          !ToInt(parts[2], 1, 999, list) || !ToInt(parts[3], 1, 999, song) ||
          (parts.size() == 5 && !ToInt(parts[4], 0, 999999999, tenths)))
        return bad("needs SUBNET:DEVICE:LIST:SONG[:TENTHS]");
      c.listNo = static_cast<int>(list);
      c.songNo = static_cast<int>(song);
      c.positionTenths = tenths;
      o.cues.push_back(c);
    } else {
      error = "unknown argument " + arg + " (see --help)";
      return std::nullopt;
    }
  }
  if (o.help || o.version) return o;
  if (o.folder.empty()) {
    error = "--folder is required (see --help)";
    return std::nullopt;
  }
  if (o.printNumbering) return o;
  if (o.address.empty() || o.devices.empty()) {
    error = "--address and at least one --device are required (see --help)";
    return std::nullopt;
  }
  return o;
}

}  // namespace kestrel::player
