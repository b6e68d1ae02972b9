#include "zones/ZoneIni.h"

#include "core/mPublicFunction.h"
#include "platform/ProfileIni.h"

namespace kestrel {

namespace {

// Why a subnet or device ID can not be used, or empty when it is from 0 to 255.
std::string IdProblem(int value, const std::string& text, const char* key) {
  if (value >= 0 && value <= 255) return {};
  return "'" + text + "' is not a valid " + key + " value (0 to 255)";
}

}  // namespace

void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append,
                 const std::function<void(const std::string& why)>& skipped) {
  // The file is read once: a look-up per key over the whole file made loading quadratic.
  const platform::ProfileIndex ini(path);
  const int total = StrToIntDef(ini.Read("TotalZones", "TotalZones", "0"), 0);
  for (long long i = 1; i <= total; ++i) {
    const std::string section = "Zone" + std::to_string(i);
    ZoneDefinition zone;
    zone.name = ini.Read(section, "ZoneName", "");
    const std::string subnet = ini.Read(section, "SubnetIDOfVeltra", "");
    const std::string device = ini.Read(section, "DeviceIDOfVeltra", "");
    if (zone.name.empty()) return;
    // A text that is no number stops the loading here.
    const int subnetID = StrToInt(subnet);
    const int deviceID = StrToInt(device);
    std::string why = IdProblem(subnetID, subnet, "SubnetIDOfVeltra");
    if (why.empty()) why = IdProblem(deviceID, device, "DeviceIDOfVeltra");
    if (!why.empty()) {
      if (skipped) skipped(section + " (" + zone.name + "): " + why + "; the zone is left out");
      continue;
    }
    zone.subnetID = static_cast<std::uint8_t>(subnetID);
    zone.deviceID = static_cast<std::uint8_t>(deviceID);
    append(zone);
  }
}

}  // namespace kestrel
