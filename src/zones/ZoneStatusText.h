// The one-line status text of a zone row.
#pragma once

#include <cstdint>
#include <string>

#include "zones/TZone.h"

namespace kestrel {

// "Play One", "Repeat One", "Play List", "Repeat List" for 1..4; empty otherwise.
std::string PlayModeName(std::uint8_t mode);

// Seconds as minutes:seconds without leading zeros (65 gives "1:5").
std::string ZoneTimeText(std::int32_t seconds);

// Volume 0..79 as a whole percentage of 79, rounded to the nearest. A report above 79 (an
// attenuation the player should never send) shows as 100.
int ZoneVolumePercent(std::uint8_t volume);

// "Song Name: x.  Times: p / d.  Volume: n%.  Play Mode: m", each part only when known.
std::string ComposeZoneStatusText(const TZone& zone);

}  // namespace kestrel
