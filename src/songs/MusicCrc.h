// The encoder's CRC of the audio (kept in the info frame's extension) as it is, and as it would
// be after a gain change of any number of steps in a range, worked out in the one reading of the
// song that the check makes. The stored copy's info frame is sent before its audio, so the new
// CRC must be known before the audio is read again; and the number of steps is known only once
// the whole song has been measured.
//
// The CRC (polynomial 0x8005 reflected, start 0, no final step) is linear: the CRC of the
// changed audio is the CRC of the original one combined with the CRC of the difference, and
// the difference is nothing but the global gains and frame CRCs of each frame. Their share,
// for every value a gain can change by, depends only on the frame's length and layout, and is
// worked out once per layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "songs/Mp3Frame.h"

namespace kestrel::songs {

class MusicCrc {
 public:
  static constexpr int kMaxSteps = 40;  // changes of -kMaxSteps .. +kMaxSteps steps are followed

  MusicCrc();

  // The next bytes of the audio: a frame whose global gains a change adds to (all of it), or
  // bytes that a change leaves alone.
  void Frame(const std::uint8_t* frame, const FrameHeader& header);
  void Other(const std::uint8_t* data, std::size_t bytes);

  // The CRC of the bytes up to the end of the last frame given, as they are, and after a change
  // of `steps` (within +-kMaxSteps).
  std::uint16_t Original() const { return throughLastFrame_; }
  std::uint16_t After(int steps) const;

 private:
  using Vector = std::uint16_t;
  // A linear map of CRC states, as a table per byte of the state.
  struct Map {
    std::array<std::uint16_t, 256> low{}, high{};
    Vector operator()(Vector v) const { return low[v & 0xFF] ^ high[v >> 8]; }
  };
  struct Layout {
    Map advance;  // over the frame's length
    int fields = 0;
    // Per global gain field: the share of the CRC state at the frame's end, by the bits the
    // field's value changes by.
    std::array<std::array<Vector, 256>, 4> share{};
  };
  const Layout& LayoutOf(const FrameHeader& header);
  // The state after `count` zero bytes.
  Vector Advance(Vector v, std::uint64_t count) const;

  std::array<std::array<Vector, 16>, 48> powers_{};  // columns of the map over 2^j zero bytes
  std::map<std::tuple<int, bool, int, int>, Layout> layouts_;
  std::uint16_t running_ = 0;
  std::uint16_t throughLastFrame_ = 0;
  std::uint64_t zerosSinceFrame_ = 0;  // bytes since the last frame, unchanged by a gain
  std::array<Vector, 2 * kMaxSteps + 1> difference_{};  // CRC of the change, by steps
};

}  // namespace kestrel::songs
