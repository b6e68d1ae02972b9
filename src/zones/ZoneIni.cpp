#include "zones/ZoneIni.h"

#include "core/mPublicFunction.h"
#include "platform/ProfileIni.h"

namespace kestrel {

namespace {

[[noreturn]] void OutOfRange(const std::string& text, const std::string& key, int high) {
  throw EConvertError("'" + text + "' is not a valid " + key + " value (0 to " + std::to_string(high) + ")");
}

// Decimal digits with an optional sign, blanks around them: a number, whatever its size.
bool IsNumberText(const std::string& text) {
  const std::string t = TrimText(text);
  const std::size_t digits = !t.empty() && (t[0] == '+' || t[0] == '-') ? 1 : 0;
  return t.size() > digits && t.find_first_not_of("0123456789", digits) == std::string::npos;
}

// TotalZones: a text that is no number means no zones; a number outside 0..kMaxTotalZones is a
// faulty file.
int ZoneCount(const std::string& text) {
  if (!IsNumberText(text)) return 0;
  const int count = StrToIntDef(text, -1);
  if (count < 0 || count > kMaxTotalZones) OutOfRange(text, "TotalZones", kMaxTotalZones);
  return count;
}

// A subnet or device ID: a number from 0 to 255. Anything else is a faulty file; an ID is never
// wrapped into range, which would address a device nobody configured.
std::uint8_t IdValue(const std::string& text, const char* key) {
  const int value = StrToInt(text);
  if (value < 0 || value > 255) OutOfRange(text, key, 255);
  return static_cast<std::uint8_t>(value);
}

}  // namespace

void ReadZoneIni(const std::string& path, const std::function<void(const ZoneDefinition&)>& append) {
  // The file is read once: a look-up per key over the whole file made loading quadratic.
  const platform::ProfileIndex ini(path);
  const int total = ZoneCount(ini.Read("TotalZones", "TotalZones", "0"));
  for (int i = 1; i <= total; ++i) {
    const std::string section = "Zone" + std::to_string(i);
    ZoneDefinition zone;
    zone.name = ini.Read(section, "ZoneName", "");
    const std::string subnet = ini.Read(section, "SubnetIDOfVeltra", "");
    const std::string device = ini.Read(section, "DeviceIDOfVeltra", "");
    if (zone.name.empty()) return;
    zone.subnetID = IdValue(subnet, "SubnetIDOfVeltra");
    zone.deviceID = IdValue(device, "DeviceIDOfVeltra");
    append(zone);
  }
}

}  // namespace kestrel
