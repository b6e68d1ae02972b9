// The text conventions of the bus: ASCII texts ending in a carriage return, digits taken from
// the digit table by value, the source and zone characters that commands and replies share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

using Payload = std::vector<std::uint8_t>;

// The digits of command texts, looked up by value; replies map a byte back to its index.
constexpr char kDigitTable[] = "0123456789";

// The player source that the "*S" commands address and that "#S" replies come from.
constexpr char kSourceChar = kDigitTable[2];

// The zone of a player that the status query and the volume command address, and that volume
// replies name at their third byte. The play mode query addresses zone 2 of the player by a
// fixed text; the zone character names the same zone, so that every zone text sent to a
// device concerns one and the same zone of it.
constexpr char kZoneChar = kDigitTable[2];

// Every bus text ends with a carriage return.
constexpr std::uint8_t kCR = 0x0D;
// The ASCII bytes of `text` followed by the carriage return.
Payload TextWithCR(const std::string& text);

}  // namespace kestrel
