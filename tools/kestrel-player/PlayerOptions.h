// The stand-in's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::player {

struct DeviceAddress {
  std::uint8_t subnetID = 0;
  std::uint8_t deviceID = 0;
  bool operator==(const DeviceAddress& o) const { return subnetID == o.subnetID && deviceID == o.deviceID; }
};
std::string ToText(const DeviceAddress& a);  // "1:20"

// A song a device has ready when the stand-in starts, stopped at a position.
struct Cue {
  DeviceAddress device;
  int listNo = 1;
  int songNo = 1;
  std::int64_t positionTenths = 0;
};

struct PlayerOptions {
  std::string address;                 // --address
  std::vector<DeviceAddress> devices;  // --device (one or more)
  char zoneChar = 0;                   // --zone-char (default: the program's)
  std::string folder;                  // --folder
  double reloadSeconds = 5;            // --reload-seconds
  int attenuation = 25;                // --attenuation
  int playMode = 3;                    // --mode
  std::vector<Cue> cues;               // --cue
  std::string offFile;                 // --off-file
  bool printNumbering = false;         // --print-numbering
  bool help = false;                   // --help
  bool version = false;                // --version
};

// Parses argv; on a mistake returns nothing and puts a one-line reason in `error`.
std::optional<PlayerOptions> ParsePlayerOptions(int argc, char** argv, std::string& error);

extern const char kPlayerUsage[];

}  // namespace kestrel::player
