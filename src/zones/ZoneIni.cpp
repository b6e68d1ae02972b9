#include "zones/ZoneIni.h"

#include "core/mPublicFunction.h"
#include "platform/ProfileIni.h"

namespace kestrel {

void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append) {
  // The file is read once: a look-up per key over the whole file made loading quadratic.
  const platform::ProfileIndex ini(path);
  const int total = StrToIntDef(ini.Read("TotalZones", "TotalZones", "0"), 0);
  for (int i = 1; i <= total; ++i) {
    const std::string section = "Zone" + std::to_string(i);
    ZoneDefinition zone;
    zone.name = ini.Read(section, "ZoneName", "");
    const std::string subnet = ini.Read(section, "SubnetIDOfVeltra", "");
    const std::string device = ini.Read(section, "DeviceIDOfVeltra", "");
    if (zone.name.empty()) return;
    zone.subnetID = static_cast<std::uint8_t>(static_cast<unsigned>(StrToInt(subnet)) & 0xFF);
    zone.deviceID = static_cast<std::uint8_t>(static_cast<unsigned>(StrToInt(device)) & 0xFF);
    append(zone);
  }
}

}  // namespace kestrel
