// The true peak of a decoded song: the highest level of the signal between its samples as well
// as at them, found by interpolating four values per sample (the 49-tap windowed-sinc filter the
// loudness library uses, so the two agree), in blocks and with the processor's vector
// instructions: about a quarter of the library's own time, which would otherwise be most of a
// song check's. A block whose samples are too low for any value between them to pass the peak
// found so far (the filter's gain is at most the sum of its taps' magnitudes) is not
// interpolated at all.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace kestrel::songs {

class TruePeakMeter {
 public:
  explicit TruePeakMeter(int channels);

  // `frames` frames of interleaved samples (1.0 = full scale).
  void Add(const float* samples, std::size_t frames);
  // The highest absolute value so far, over all channels (1.0 = full scale).
  double Peak() const;

 private:
  static constexpr int kTaps = 12;         // per interpolated phase
  static constexpr std::size_t kBlock = 4096;

  void AddChannel(int channel, const float* samples, std::size_t frames);

  int channels_;
  std::array<std::array<float, kTaps>, 3> phase_{};  // the three phases between two samples
  float gain_ = 0;  // the largest sum of a phase's tap magnitudes
  std::vector<std::vector<float>> history_;  // per channel: kTaps - 1 samples, then a block
  std::vector<float> peak_;
};

}  // namespace kestrel::songs
