// EBU R128 integrated loudness (the loudness library, gated over the whole song) and true peak
// (TruePeakMeter) of decoded samples. A mono song is measured as two equal channels, as the
// players play it on both their outputs: 3 LU louder than a single channel would be.
#pragma once

#include <cstddef>
#include <memory>

#include "songs/TruePeak.h"

namespace kestrel::songs {

class LoudnessMeter {
 public:
  LoudnessMeter(long sampleRate, int channels);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  bool Usable() const;
  void Add(const float* samples, std::size_t frames);

  // LUFS; -infinity for silence (nothing above the gate).
  double IntegratedLufs() const;
  // dBTP; -infinity for digital silence.
  double TruePeakDbtp() const;

 private:
  struct State;  // the loudness library's
  std::unique_ptr<State> state_;
  TruePeakMeter peak_;
};

}  // namespace kestrel::songs
