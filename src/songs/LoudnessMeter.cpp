#include "songs/LoudnessMeter.h"

#include <ebur128.h>

#include <cmath>
#include <limits>

namespace kestrel::songs {

struct LoudnessMeter::State {
  ebur128_state* library = nullptr;
  ~State() {
    if (library) ebur128_destroy(&library);
  }
};

LoudnessMeter::LoudnessMeter(long sampleRate, int channels) : state_(std::make_unique<State>()), peak_(channels) {
  if (sampleRate <= 0 || channels <= 0) return;
  state_->library = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_I);
  if (state_->library && channels == 1) ebur128_set_channel(state_->library, 0, EBUR128_DUAL_MONO);
}

LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::Usable() const { return state_->library != nullptr; }

void LoudnessMeter::Add(const float* samples, std::size_t frames) {
  if (!Usable() || frames == 0) return;
  ebur128_add_frames_float(state_->library, samples, frames);
  peak_.Add(samples, frames);
}

double LoudnessMeter::IntegratedLufs() const {
  double lufs = -std::numeric_limits<double>::infinity();
  if (!Usable() || ebur128_loudness_global(state_->library, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
    return -std::numeric_limits<double>::infinity();
  return lufs;
}

double LoudnessMeter::TruePeakDbtp() const {
  const double peak = peak_.Peak();
  return peak > 0 ? 20 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}

}  // namespace kestrel::songs
