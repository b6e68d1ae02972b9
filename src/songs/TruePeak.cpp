#include "songs/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTREL_TRUE_PEAK_SSE 1
#endif

namespace kestrel::songs {

TruePeakMeter::TruePeakMeter(int channels)
    : channels_(channels),
      history_(static_cast<std::size_t>(channels), std::vector<float>(kTaps - 1 + kBlock + 4, 0.0f)),
      peak_(static_cast<std::size_t>(channels), 0.0f) {
  // 49 taps, four phases: tap j belongs to phase j % 4 and delays the input by j / 4 samples.
  // Phase 0 is the sample itself (every other tap of it is zero).
  const double pi = 3.14159265358979323846;
  for (int j = 0; j < 49; ++j) {
    const double m = j - 24.0;
    double c = m == 0 ? 1.0 : std::sin(m * pi / 4) / (m * pi / 4);
    c *= 0.5 * (1 - std::cos(2 * pi * j / 48));
    if (j % 4 != 0) phase_[static_cast<std::size_t>(j % 4 - 1)][static_cast<std::size_t>(j / 4)] = static_cast<float>(c);
  }
  for (const auto& taps : phase_) {
    float sum = 0;
    for (float c : taps) sum += std::fabs(c);
    gain_ = std::max(gain_, sum * 1.001f);  // and a little for the rounding of float sums
  }
}

void TruePeakMeter::Add(const float* samples, std::size_t frames) {
  while (frames > 0) {
    const std::size_t n = std::min(frames, kBlock);
    for (int c = 0; c < channels_; ++c) AddChannel(c, samples + c, n);
    samples += n * static_cast<std::size_t>(channels_);
    frames -= n;
  }
}

void TruePeakMeter::AddChannel(int channel, const float* samples, std::size_t n) {
  float* x = history_[static_cast<std::size_t>(channel)].data();
  float* in = x + kTaps - 1;  // in[i - t] for t < kTaps is always within x
  float peak = peak_[static_cast<std::size_t>(channel)];
  float loudest = 0;  // in this block and the samples before it that the filter reaches
  for (std::size_t i = 0; i < n; ++i) {
    in[i] = samples[i * static_cast<std::size_t>(channels_)];
    loudest = std::max(loudest, std::fabs(in[i]));
  }
  for (int t = 1; t < kTaps; ++t) loudest = std::max(loudest, std::fabs(in[-t]));
  peak = std::max(peak, loudest);
  std::size_t i = loudest * gain_ <= peak ? n : 0;
#ifdef KESTREL_TRUE_PEAK_SSE
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  __m128 top = _mm_set1_ps(peak);
  for (; i + 4 <= n; i += 4) {
    __m128 a = _mm_setzero_ps(), b = _mm_setzero_ps(), c = _mm_setzero_ps();
    for (int t = 0; t < kTaps; ++t) {
      const __m128 v = _mm_loadu_ps(in - t + i);
      a = _mm_add_ps(a, _mm_mul_ps(_mm_set1_ps(phase_[0][static_cast<std::size_t>(t)]), v));
      b = _mm_add_ps(b, _mm_mul_ps(_mm_set1_ps(phase_[1][static_cast<std::size_t>(t)]), v));
      c = _mm_add_ps(c, _mm_mul_ps(_mm_set1_ps(phase_[2][static_cast<std::size_t>(t)]), v));
    }
    top = _mm_max_ps(top, _mm_max_ps(_mm_and_ps(a, absMask), _mm_max_ps(_mm_and_ps(b, absMask), _mm_and_ps(c, absMask))));
  }
  float lanes[4];
  _mm_storeu_ps(lanes, top);
  peak = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
#endif
  for (; i < n; ++i) {
    for (const auto& coefficients : phase_) {
      float acc = 0;
      for (int t = 0; t < kTaps; ++t) acc += coefficients[static_cast<std::size_t>(t)] * in[static_cast<std::ptrdiff_t>(i) - t];
      peak = std::max(peak, std::fabs(acc));
    }
  }
  peak_[static_cast<std::size_t>(channel)] = peak;
  std::memmove(x, x + n, (kTaps - 1) * sizeof(float));
}

double TruePeakMeter::Peak() const {
  return peak_.empty() ? 0.0 : *std::max_element(peak_.begin(), peak_.end());
}

}  // namespace kestrel::songs
