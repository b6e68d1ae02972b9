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

// Reads [TotalZones] TotalZones and the sections Zone1, Zone2, ... of the file at `path` (the
// file is read once) and hands each zone to `append` in file order. A missing file, section or
// count, or a count that is not a whole number above 0, gives no zones. An empty ZoneName ends
// the list.
// An ID that is a number outside 0..255 is never wrapped into range, which would address a
// device nobody configured: its zone is left out, `skipped` is handed a message naming the zone
// and the value ("Zone2 (Bar): '277' is not a valid DeviceIDOfVeltra value (0 to 255); the
// zone is left out"), and the zones after it are read.
// An ID that is not a number throws EConvertError "'x' is not a valid integer value", after
// the zones before it were handed on.
void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append,
                 const std::function<void(const std::string& why)>& skipped = {});

}  // namespace kestrel
