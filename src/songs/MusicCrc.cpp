#include "songs/MusicCrc.h"

#include <algorithm>

#include "songs/InfoFrame.h"

namespace kestrel::songs {

namespace {

std::uint16_t ZeroByte(std::uint16_t v) {
  std::uint16_t crc = v;
  UpdateExtensionCrc(crc, 0);
  return crc;
}

std::uint16_t OneByte(std::uint8_t byte) {
  std::uint16_t crc = 0;
  UpdateExtensionCrc(crc, byte);
  return crc;
}

}  // namespace

MusicCrc::MusicCrc() {
  for (int i = 0; i < 16; ++i) powers_[0][i] = ZeroByte(static_cast<Vector>(1u << i));
  for (std::size_t j = 1; j < powers_.size(); ++j) {
    for (int i = 0; i < 16; ++i) {
      Vector v = powers_[j - 1][i];
      Vector out = 0;
      for (int b = 0; b < 16; ++b)
        if (v & (1u << b)) out ^= powers_[j - 1][b];
      powers_[j][i] = out;
    }
  }
}

MusicCrc::Vector MusicCrc::Advance(Vector v, std::uint64_t count) const {
  for (std::size_t j = 0; count != 0 && j < powers_.size(); ++j, count >>= 1) {
    if (!(count & 1u)) continue;
    Vector out = 0;
    for (int b = 0; b < 16; ++b)
      if (v & (1u << b)) out ^= powers_[j][b];
    v = out;
  }
  return v;
}

const MusicCrc::Layout& MusicCrc::LayoutOf(const FrameHeader& h) {
  const auto key = std::make_tuple(h.frameBytes, h.protectedByCrc, static_cast<int>(h.version), h.Channels());
  auto found = layouts_.find(key);
  if (found != layouts_.end()) return found->second;
  Layout& layout = layouts_[key];
  const auto length = static_cast<std::uint64_t>(h.frameBytes);
  for (int b = 0; b < 256; ++b) {
    layout.advance.low[b] = Advance(static_cast<Vector>(b), length);
    layout.advance.high[b] = Advance(static_cast<Vector>(b << 8), length);
  }
  // The share of a difference byte at `at` in the frame, at the frame's end.
  auto share = [&](std::uint8_t byte, std::size_t at) { return Advance(OneByte(byte), length - 1 - at); };
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(h.HeadBytes()), 0);
  const std::uint16_t zeroCrc = ComputeFrameCrc(scratch.data(), h);
  int field = 0;
  for (int gr = 0; gr < h.Granules(); ++gr) {
    for (int ch = 0; ch < h.Channels(); ++ch, ++field) {
      std::array<Vector, 8> bitShare{};
      for (int j = 0; j < 8; ++j) {
        const std::size_t bit = GlobalGainBit(h, gr, ch) + static_cast<std::size_t>(j);
        const auto mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        bitShare[j] = share(mask, bit / 8);
        if (h.protectedByCrc) {
          scratch[bit / 8] = mask;
          const std::uint16_t crc = ComputeFrameCrc(scratch.data(), h) ^ zeroCrc;
          scratch[bit / 8] = 0;
          bitShare[j] ^= share(static_cast<std::uint8_t>(crc >> 8), 4) ^ share(static_cast<std::uint8_t>(crc & 0xFF), 5);
        }
      }
      for (int v = 0; v < 256; ++v) {
        Vector s = 0;
        for (int j = 0; j < 8; ++j)
          if (v & (0x80 >> j)) s ^= bitShare[j];
        layout.share[field][v] = s;
      }
    }
  }
  layout.fields = field;
  return layout;
}

void MusicCrc::Frame(const std::uint8_t* frame, const FrameHeader& h) {
  running_ = ExtensionCrc(frame, static_cast<std::size_t>(h.frameBytes), running_);
  throughLastFrame_ = running_;
  const Layout& layout = LayoutOf(h);
  std::array<int, 4> gains{};
  int field = 0;
  for (int gr = 0; gr < h.Granules(); ++gr)
    for (int ch = 0; ch < h.Channels(); ++ch) gains[field++] = static_cast<int>(ReadBits(frame, GlobalGainBit(h, gr, ch), 8));
  for (int i = 0; i < static_cast<int>(difference_.size()); ++i) {
    Vector v = difference_[i];
    if (zerosSinceFrame_ != 0) v = Advance(v, zerosSinceFrame_);
    v = layout.advance(v);
    const int steps = i - kMaxSteps;
    for (int f = 0; f < layout.fields; ++f) {
      const int changed = std::clamp(gains[f] + steps, 0, 255) ^ gains[f];
      v ^= layout.share[f][changed];
    }
    difference_[i] = v;
  }
  zerosSinceFrame_ = 0;
}

void MusicCrc::Other(const std::uint8_t* data, std::size_t bytes) {
  running_ = ExtensionCrc(data, bytes, running_);
  zerosSinceFrame_ += bytes;
}

std::uint16_t MusicCrc::After(int steps) const {
  const int i = std::clamp(steps, -kMaxSteps, kMaxSteps) + kMaxSteps;
  return throughLastFrame_ ^ difference_[static_cast<std::size_t>(i)];
}

}  // namespace kestrel::songs
