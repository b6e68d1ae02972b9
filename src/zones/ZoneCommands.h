// The payloads of the commands and status queries sent to the zones' players, as pure
// functions. Texts are ASCII with a trailing carriage return; numbers in them are fixed-width
// decimal with leading zeros, their digits taken from the digit table.
#pragma once

#include <string>

#include "bus/BusText.h"

namespace kestrel {

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
