#include "zones/ZoneCommands.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace kestrel {

namespace {

std::string SourceText(const char* command) { return std::string("*S") + kSourceChar + command; }

std::string ThreeDigits(int n, const char* what) {
  if (n < 0 || n > 999)
    throw std::out_of_range(std::string(what) + " " + std::to_string(n) + " is outside 0 to 999");
  return {kDigitTable[n / 100], kDigitTable[(n / 10) % 10], kDigitTable[n % 10]};
}

}  // namespace

Payload PrevSongCommand() { return TextWithCR(SourceText("PREV")); }
Payload NextSongCommand() { return TextWithCR(SourceText("NEXT")); }
Payload PlayCommand() { return TextWithCR(SourceText("PLAY")); }
Payload StopCommand() { return TextWithCR(SourceText("STOP")); }
Payload UpdateListCommand() { return TextWithCR(SourceText("UPDATELIST")); }

Payload PlaySongCommand(int listNo, int songNo) {
  return TextWithCR(SourceText("LIST") + ThreeDigits(listNo, "Play list number") + ",SONG" +
              ThreeDigits(songNo, "Song number"));
}

Payload SetVolumeCommand(int volume) {
  const int attenuation = 79 - std::clamp(volume, 0, 79);
  return TextWithCR(std::string("*Z") + kZoneChar + "VOL" + kDigitTable[attenuation / 10] +
              kDigitTable[attenuation % 10]);
}

Payload StatusQuery() { return TextWithCR(std::string("*Z") + kZoneChar + "STATUS?"); }

Payload PlayModeQuery() { return TextWithCR(std::string("*Z") + kDigitTable[2] + "PLAYMODE?"); }

Payload PlayModePayload(int mode) {
  if (mode < 1 || mode > 4) throw std::out_of_range("Play mode " + std::to_string(mode) + " is not 1 to 4");
  return {0x02, static_cast<std::uint8_t>(mode), 0x00, 0x00};
}

}  // namespace kestrel
