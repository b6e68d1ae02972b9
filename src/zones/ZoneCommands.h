// The payloads of the commands and status queries sent to the zones' players, as pure
// functions. Texts are ASCII with a trailing carriage return; numbers in them are fixed-width
// decimal with leading zeros, their digits taken from the digit table.
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

// Op code 0x192E texts.
Payload PrevSongCommand();    // "*S2PREV" CR
Payload NextSongCommand();    // "*S2NEXT" CR
Payload PlayCommand();        // "*S2PLAY" CR
Payload StopCommand();        // "*S2STOP" CR
Payload UpdateListCommand();  // "*S2UPDATELIST" CR

// "*S2LIST" ddd ",SONG" ddd CR: play song `songNo` of the device play list `listNo`. Numbers
// outside 0 to 999 have no three-digit form and throw std::out_of_range.
Payload PlaySongCommand(int listNo, int songNo);

// "*Z" z "VOL" dd CR with dd = 79 - volume. `volume` runs from 0 (silent) to 79 (loudest);
// values outside are taken as the nearer end.
Payload SetVolumeCommand(int volume);

Payload StatusQuery();    // "*Z" z "STATUS?" CR
Payload PlayModeQuery();  // "*Z2PLAYMODE?" CR

// Op code 0x0218: 02 mode 00 00. Modes 1 to 4 (play one, repeat one, play list, repeat list);
// any other throws std::out_of_range.
Payload PlayModePayload(int mode);

}  // namespace kestrel
