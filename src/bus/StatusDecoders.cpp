#include "bus/StatusDecoders.h"

#include <cstring>
#include <limits>
#include <optional>

#include "bus/Utf16Text.h"
#include "core/SharedState.h"
#include "platform/DebugTrace.h"
#include "bus/BusText.h"

namespace kestrel {

namespace {

constexpr std::uint8_t kStartOfText = 0x02;
constexpr unsigned kEndOfText = 0x0003;
constexpr unsigned kSlash = 0x002F;

const std::string kSourcePrefix = std::string("#S") + kSourceChar;

// True when the payload holds `text` at `pos`.
bool Holds(const std::uint8_t* p, std::size_t n, std::size_t pos, const std::string& text) {
  return pos <= n && text.size() <= n - pos && std::memcmp(p + pos, text.data(), text.size()) == 0;
}

bool HoldsByte(const std::uint8_t* p, std::size_t n, std::size_t pos, std::uint8_t b) {
  return pos < n && p[pos] == b;
}

unsigned UnitAt(const std::uint8_t* p, std::size_t pos) { return unsigned{p[pos]} << 8 | p[pos + 1]; }

// The position of the first comma at or after `from`, if any.
std::optional<std::size_t> FindComma(const std::uint8_t* p, std::size_t n, std::size_t from) {
  for (std::size_t i = from; i < n; ++i)
    if (p[i] == ',') return i;
  return std::nullopt;
}

// The decimal value of a digit run, non-digits counting as 0; none when it exceeds 32 bits.
std::optional<std::int32_t> DigitRunValue(const std::uint8_t* p, std::size_t count) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t digit = CharToDigit(p[i]);
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// A text read as a decimal integer: an optional sign and at least one digit, nothing else,
// within 32 bits.
std::int32_t ReplyInteger(const std::string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  if (i == text.size()) throw BadReplyNumber("'" + text + "' is not a valid integer value");
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || value > (std::int64_t{1} << 32))
      throw BadReplyNumber("'" + text + "' is not a valid integer value");
    value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    throw BadReplyNumber("'" + text + "' is not a valid integer value");
  return static_cast<std::int32_t>(value);
}

// "#S2DISPLINE" n "," 02: the display line header; its text starts at position 14.
bool IsDisplayLine(const std::uint8_t* p, std::size_t n, char line) {
  return Holds(p, n, 0, kSourcePrefix + "DISPLINE") && HoldsByte(p, n, 11, static_cast<std::uint8_t>(line)) &&
         HoldsByte(p, n, 12, ',') && HoldsByte(p, n, 13, kStartOfText);
}

// Display lines 1 and 3: `letter` ":" number "/" more text, ended by 00 03 and CR.
bool ParseNumberLine(const std::uint8_t* p, std::size_t n, char line, char letter, std::int32_t& number) {
  if (!IsDisplayLine(p, n, line)) return false;
  const std::string label = {'\0', letter, '\0', ':'};
  if (!Holds(p, n, 14, label)) return false;

  // Each unit adds its low byte alone when its high byte is 0, else both bytes.
  auto collect = [&](std::size_t& pos, unsigned stop) {
    std::string text;
    for (; pos + 1 < n; pos += 2) {
      const unsigned u = UnitAt(p, pos);
      if (u == stop) return text;
      if (p[pos] != 0) text += static_cast<char>(p[pos]);
      text += static_cast<char>(p[pos + 1]);
    }
    return text;
  };
  std::size_t pos = 18;
  const std::int32_t value = ReplyInteger(collect(pos, kSlash));
  collect(pos, kEndOfText);  // the total after the slash is not used
  if (pos + 1 >= n || UnitAt(p, pos) != kEndOfText) return false;
  if (!HoldsByte(p, n, pos + 2, kCR)) return false;
  number = value;
  return true;
}

}  // namespace

std::uint8_t CharToDigit(std::uint8_t c) {
  const char* hit = c != 0 ? std::strchr(kDigitTable, c) : nullptr;
  return hit != nullptr ? static_cast<std::uint8_t>(hit - kDigitTable) : 0;
}

bool ParseDispInfo(const std::uint8_t* p, std::size_t n, std::int32_t& durationSeconds,
                   std::int32_t& positionSeconds, char& status) {
  if (n < 30) return false;
  if (!Holds(p, n, 0, kSourcePrefix + "DISPINFO") || !Holds(p, n, 11, ",DUR")) return false;

  const auto durEnd = FindComma(p, n, 15);
  if (!durEnd || !Holds(p, n, *durEnd, ",POS")) return false;
  const auto dur = DigitRunValue(p + 15, *durEnd - 15);

  const std::size_t posStart = *durEnd + 4;
  const auto posEnd = FindComma(p, n, posStart);
  if (!posEnd || !Holds(p, n, *posEnd, ",STATUS") || *posEnd + 7 >= n) return false;
  const auto pos = DigitRunValue(p + posStart, *posEnd - posStart);

  if (!dur || !pos) return false;
  durationSeconds = *dur / 10;
  positionSeconds = *pos / 10;
  status = static_cast<char>(p[*posEnd + 7]);
  return true;
}

bool ParseVolume(const std::uint8_t* p, std::size_t n, std::uint8_t& reported) {
  if (n < 17) return false;
  if (p[0] != '#' || p[1] != 'Z' || p[2] != static_cast<std::uint8_t>(kZoneChar)) return false;
  if (!Holds(p, n, 3, ",ON,SRC") || p[10] != static_cast<std::uint8_t>(kSourceChar) || !Holds(p, n, 11, ",VOL"))
    return false;
  reported = p[16] == kCR ? CharToDigit(p[15])
                          : static_cast<std::uint8_t>(10 * CharToDigit(p[15]) + CharToDigit(p[16]));
  return true;
}

std::uint8_t VolumeFromAttenuation(std::uint8_t reported) {
  return reported > 79 ? 0 : static_cast<std::uint8_t>(79 - reported);
}

bool ParseDispMode(const std::uint8_t* p, std::size_t n, std::uint8_t& mode) {
  if (n < 20) return false;
  if (!Holds(p, n, 0, kSourcePrefix + "DISPMODE") || p[11] != ',' || !Holds(p, n, 12, "STATUS")) return false;
  mode = CharToDigit(p[18]);
  return true;
}

bool ParseSongName(const std::uint8_t* p, std::size_t n, std::string& name) {
  if (!IsDisplayLine(p, n, '4')) return false;
  std::size_t pos = 14;
  while (pos + 1 < n && UnitAt(p, pos) != kEndOfText) pos += 2;
  if (pos + 1 >= n || !HoldsByte(p, n, pos + 2, kCR)) return false;
  name = Utf16BeToUtf8(p + 14, (pos - 14) / 2);
  KESTREL_TRACE_MSG("aaaaa:" + name);
  return true;
}

bool ParseSongNo(const std::uint8_t* p, std::size_t n, std::int32_t& songNo) {
  return ParseNumberLine(p, n, '3', 'S', songNo);
}

bool ParseListNo(const std::uint8_t* p, std::size_t n, std::int32_t& listNo) {
  return ParseNumberLine(p, n, '1', 'L', listNo);
}

bool ParseDispUpdate(const std::uint8_t* p, std::size_t n, SharedState& state) {
  if (n < 22) return false;
  if (!Holds(p, n, 0, kSourcePrefix + "DISPUPDATE") || p[13] != ',' || !Holds(p, n, 14, "STATUS") || p[21] != kCR)
    return false;
  state.ZoneUpdating = CharToDigit(p[20]) == 1;
  state.UpdateWaitCounter = 0;
  ++state.UpdateReplies;
  return false;
}

}  // namespace kestrel
