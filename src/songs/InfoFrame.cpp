#include "songs/InfoFrame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace kestrel::songs {

namespace {

// Offsets in the encoder's extension.
constexpr std::size_t kPeak = 11;        // 4 bytes, 1.0 = 2^23
constexpr std::size_t kReplayGain = 15;  // two 16-bit fields: radio, then audiophile
constexpr std::size_t kGainChange = 25;  // signed, in 1.5 dB steps
constexpr std::size_t kMusicCrc = 32;
constexpr std::size_t kOwnCrc = 34;
constexpr std::size_t kExtensionBytes = 36;

const std::array<std::uint16_t, 256>& CrcTable() {
  static const std::array<std::uint16_t, 256> table = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      unsigned crc = i;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
      t[i] = static_cast<std::uint16_t>(crc);
    }
    return t;
  }();
  return table;
}

std::uint32_t Read32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
void Write32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
void Write16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

bool Printable(std::uint8_t c) { return c >= 0x20 && c < 0x7F; }

// A replay gain field: 3 bits name (1 radio, 2 audiophile), 3 bits originator (0: not set),
// sign, 9 bits of tenths of a dB. Lowered by `tenths` when set.
std::uint16_t LowerReplayGain(std::uint16_t field, int tenths) {
  const unsigned name = field >> 13;
  const unsigned originator = (field >> 10) & 7;
  if ((name != 1 && name != 2) || originator == 0) return field;
  int value = static_cast<int>(field & 0x1FF);
  if (field & 0x200) value = -value;
  value = std::clamp(value - tenths, -511, 511);
  return static_cast<std::uint16_t>((field & 0xFC00) | (value < 0 ? 0x200 : 0) | std::abs(value));
}

}  // namespace

void UpdateExtensionCrc(std::uint16_t& crc, std::uint8_t byte) {
  crc = static_cast<std::uint16_t>((crc >> 8) ^ CrcTable()[(crc ^ byte) & 0xFF]);
}

std::uint16_t ExtensionCrc(const std::uint8_t* data, std::size_t bytes, std::uint16_t crc) {
  const auto& table = CrcTable();
  for (std::size_t i = 0; i < bytes; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
  return crc;
}

bool ParseInfoFrame(const std::uint8_t* frame, std::size_t bytes, const FrameHeader& h, InfoFrame& info) {
  info = InfoFrame{};
  // The tag sits right after the side information (the CRC, when there is one, not counted),
  // and the side information before it is empty.
  const std::size_t at = 4 + static_cast<std::size_t>(h.SideInfoBytes());
  if (bytes >= 36 + 26 && std::memcmp(frame + 36, "VBRI", 4) == 0) {
    info.variableBitrate = true;
    info.streamBytes = Read32(frame + 36 + 10);
    info.audioFrames = Read32(frame + 36 + 14);
    return true;
  }
  if (bytes < at + 8) return false;
  const bool xing = std::memcmp(frame + at, "Xing", 4) == 0;
  if (!xing && std::memcmp(frame + at, "Info", 4) != 0) return false;
  for (std::size_t i = 6; i < at; ++i)
    if (frame[i] != 0) return false;
  info.variableBitrate = xing;
  const std::uint32_t flags = Read32(frame + at + 4);
  std::size_t pos = at + 8;
  if (flags & 1u) {
    if (bytes < pos + 4) return true;
    info.audioFrames = Read32(frame + pos);
    pos += 4;
  }
  if (flags & 2u) {
    if (bytes < pos + 4) return true;
    info.streamBytes = Read32(frame + pos);
    pos += 4;
  }
  if (flags & 4u) pos += 100;
  if (flags & 8u) pos += 4;
  if (bytes < pos + kExtensionBytes) return true;
  for (std::size_t i = 0; i < 4; ++i)
    if (!Printable(frame[pos + i])) return true;
  info.extension = pos;
  info.extensionCrcValid =
      ExtensionCrc(frame, pos + kOwnCrc) == ((frame[pos + kOwnCrc] << 8) | frame[pos + kOwnCrc + 1]);
  info.musicCrc = static_cast<std::uint16_t>((frame[pos + kMusicCrc] << 8) | frame[pos + kMusicCrc + 1]);
  return true;
}

void AdjustExtension(std::uint8_t* frame, const InfoFrame& info, int steps, bool setMusicCrc, std::uint16_t musicCrc) {
  // Only an extension whose own CRC holds is known to be laid out as read here.
  if (info.extension == 0 || !info.extensionCrcValid || steps == 0) return;
  std::uint8_t* e = frame + info.extension;
  const std::uint32_t peak = Read32(e + kPeak);
  if (peak != 0) {
    const double scaled = std::round(peak * std::pow(10.0, steps * 1.5 / 20.0));
    Write32(e + kPeak, static_cast<std::uint32_t>(std::min(scaled, 4294967295.0)));
  }
  for (int i = 0; i < 2; ++i) {
    std::uint8_t* field = e + kReplayGain + 2 * i;
    Write16(field, LowerReplayGain(static_cast<std::uint16_t>((field[0] << 8) | field[1]), steps * 15));
  }
  const int recorded = static_cast<std::int8_t>(e[kGainChange]) + steps;
  e[kGainChange] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(recorded, -128, 127)));
  if (setMusicCrc) Write16(e + kMusicCrc, musicCrc);
  Write16(e + kOwnCrc, ExtensionCrc(frame, info.extension + kOwnCrc));
}

}  // namespace kestrel::songs
