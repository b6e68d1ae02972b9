#include "zones/ZoneIni.h"

#include "core/mPublicFunction.h"
#include "platform/ProfileIni.h"

namespace kestrel {

void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append) {
  const int total = StrToIntDef(platform::ReadProfileString(path, "TotalZones", "TotalZones", "0"), 0);
  for (int i = 1; i <= total; ++i) {
    const std::string section = "Zone" + std::to_string(i);
    ZoneDefinition zone;
    zone.name = platform::ReadProfileString(path, section, "ZoneName", "");
    const std::string subnet = platform::ReadProfileString(path, section, "SubnetIDOfVeltra", "");
    const std::string device = platform::ReadProfileString(path, section, "DeviceIDOfVeltra", "");
    if (zone.name.empty()) return;
    zone.subnetID = static_cast<std::uint8_t>(static_cast<unsigned>(StrToInt(subnet)) & 0xFF);
    zone.deviceID = static_cast<std::uint8_t>(static_cast<unsigned>(StrToInt(device)) & 0xFF);
    append(zone);
  }
}

}  // namespace kestrel
