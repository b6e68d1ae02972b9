#include "zones/ZoneStatusText.h"

#include <cmath>

namespace kestrel {

std::string PlayModeName(std::uint8_t mode) {
  switch (mode) {
    case 1: return "Play One";
    case 2: return "Repeat One";
    case 3: return "Play List";
    case 4: return "Repeat List";
    default: return {};
  }
}

std::string ZoneTimeText(std::int32_t seconds) {
  return std::to_string(seconds / 60) + ":" + std::to_string(seconds % 60);
}

int ZoneVolumePercent(std::uint8_t volume) {
  if (volume >= 79) return 100;
  return static_cast<int>(std::nearbyint(volume * 100.0 / 79.0));
}

std::string ComposeZoneStatusText(const TZone& zone) {
  std::string text;
  if (!zone.SongName.empty()) text += "Song Name: " + zone.SongName + ".  ";
  if (zone.DurText != "0") text += "Times: " + zone.PosText + " / " + zone.DurText + ".  ";
  text += "Volume: " + std::to_string(ZoneVolumePercent(zone.Volume)) + "%.  ";
  const std::string mode = PlayModeName(zone.PlayMode);
  if (!mode.empty()) text += "Play Mode: " + mode;
  return text;
}

}  // namespace kestrel
