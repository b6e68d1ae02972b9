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

// Reads [TotalZones] TotalZones and the sections Zone1, Zone2, ... of the file at `path` and
// hands each zone to `append` in file order. A missing file, section or count, or a count that
// is not a number, gives no zones. An empty ZoneName ends the list. An ID that is not a number
// throws EConvertError ("'x' is not a valid integer value") after the zones before it were
// handed on. IDs are reduced to their low byte (300 gives 44, -1 gives 255).
void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append);

}  // namespace kestrel
