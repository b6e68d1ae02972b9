// The text replies a zone's player sends (op code 0x192F), built the way the decoders
// (StatusDecoders.h) read them. Used by the player stand-in and by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

using ReplyPayload = std::vector<std::uint8_t>;

// "#S2DISPINFO,DUR" d ",POS" p ",STATUS" s CR; times in tenths of a second, written with at
// least four digits.
ReplyPayload DispInfoReply(std::uint32_t durationTenths, std::uint32_t positionTenths, char status);

// "#Z" z ",ON,SRC2,VOL" attenuation CR, the attenuation without leading zeros.
ReplyPayload VolumeReply(char zoneChar, unsigned attenuation);

// "#S2DISPMODE,STATUS" mode CR.
ReplyPayload DispModeReply(unsigned mode);

// "#S2DISPLINE" line "," 02, the UTF-8 `text` as UTF-16BE, 00 03, CR.
ReplyPayload DisplayLineReply(char line, const std::string& text);

// "#S2DISPUPDATE,STATUS" digit CR; 1 while the play lists reload, 0 when done.
ReplyPayload DispUpdateReply(bool updating);

}  // namespace kestrel
