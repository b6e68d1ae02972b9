// The decoders of the players' text replies (op code 0x192F), in the order the dispatcher
// offers a reply to them (threadUDPReceive.h). Each takes the payload and its length, never
// reads beyond it, and returns whether it recognised the reply; a reply that ends before every
// byte of its pattern has been checked is not recognised. Outputs are written only for a
// recognised reply.
//
// Reply shapes (CR = 0x0D, "2" = the source character, z = the zone character):
//   "#S2DISPINFO,DUR" digits ",POS" digits ",STATUS" c        times in tenths of a second
//   "#Z" z ",ON,SRC2,VOL" one or two digits CR                  attenuation, 0 loudest
//   "#S2DISPMODE,STATUS" digit                                  play mode 1..4
//   "#S2DISPLINE" n "," 02 UTF-16BE text 00 03 CR               display line n (1, 3, 4)
//   "#S2DISPUPDATE,STATUS" digit CR                             play list reload state
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/SharedState.h"

namespace kestrel {

// The value of a decimal digit character; 0 for any other byte.
std::uint8_t CharToDigit(std::uint8_t c);

// Duration and position in whole seconds (the reply's tenths divided by 10) and the status
// character. A DUR or POS number beyond the 32-bit range makes the reply unrecognised, so the
// zone keeps the times it had.
bool ParseDispInfo(const std::uint8_t* p, std::size_t n, std::int32_t& durationSeconds,
                   std::int32_t& positionSeconds, char& status);

// The reported attenuation (0 to 99) of a volume reply naming the zone character.
bool ParseVolume(const std::uint8_t* p, std::size_t n, std::uint8_t& reported);
// The volume handed on for a reported attenuation: 79 minus it, and 0 (silent) for a report
// beyond the quietest step 79.
std::uint8_t VolumeFromAttenuation(std::uint8_t reported);

bool ParseDispMode(const std::uint8_t* p, std::size_t n, std::uint8_t& mode);

// Display line 4: the song name, decoded to UTF-8 (an empty name is valid). Writes
// "aaaaa:" and the name to the debug trace.
bool ParseSongName(const std::uint8_t* p, std::size_t n, std::string& name);

// Display line 3 ("S:" number "/" ...) and display line 1 ("L:" number "/" ...). A number
// that is not a valid integer throws BadReplyNumber: the whole frame is to be dropped.
class BadReplyNumber : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
bool ParseSongNo(const std::uint8_t* p, std::size_t n, std::int32_t& songNo);
bool ParseListNo(const std::uint8_t* p, std::size_t n, std::int32_t& listNo);

// A play list reload report: STATUS1 sets the state's ZoneUpdating, any other digit clears it,
// and both reset its UpdateWaitCounter. Always returns false (nothing to hand on).
bool ParseDispUpdate(const std::uint8_t* p, std::size_t n, SharedState& state);

}  // namespace kestrel
