// Reading the zones from Settings/Zone.ini.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrel {

struct ZoneDefinition {
  std::string name;
  std::uint8_t subnetID = 0;
  std::uint8_t deviceID = 0;
};

// The largest TotalZones a Zone.ini may give: one zone for every device address the bus has
// (256 subnets of 256 devices). A larger count can only be a typing error.
constexpr int kMaxTotalZones = 256 * 256;

// Reads [TotalZones] TotalZones and the sections Zone1, Zone2, ... of the file at `path` (the
// file is read once) and hands each zone to `append` in file order. A missing file, section or
// count, or a count that is not a number, gives no zones. An empty ZoneName ends the list.
// A faulty file throws EConvertError, after the zones before the fault were handed on:
//   an ID that is not a number      "'x' is not a valid integer value"
//   an ID outside 0..255            "'277' is not a valid DeviceIDOfVeltra value (0 to 255)"
//   a count outside 0..65536        "'-1' is not a valid TotalZones value (0 to 65536)"
void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append);

}  // namespace kestrel
