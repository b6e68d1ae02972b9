// How far a song's global gains are moved to bring it to a loudness target: in whole steps of
// 2^(1/4) in amplitude (1.505 dB), the nearest to the target, so that the song ends within
// 0.75 LU of it; never so far up that its true peak would pass -1 dBTP, and never beyond what
// the gain fields can hold.
#pragma once

#include <string>

#include "songs/SongCheck.h"

namespace kestrel::songs {

constexpr double kDefaultTargetLufs = -18.0;
constexpr double kToleranceLu = 0.75;
constexpr double kPeakCeilingDbtp = -1.0;
// One global gain step in dB: 20 log10(2^(1/4)).
constexpr double kGainStepDb = 1.5051499783199060;

struct LoudnessChange {
  int steps = 0;           // added to every global gain
  double gainDb = 0;       // steps x kGainStepDb
  double loudnessLufs = 0;  // expected after the change (as measured before, when not measured)
  double truePeakDbtp = 0;
  bool reachesTarget = false;
  // Why the target is not reached (or nothing changes), for a person; empty when it is.
  std::string note;
};

// The change for `check`'s song. Only a checked MP3 whose loudness was measured is changed.
LoudnessChange PlanLoudness(const SongCheck& check, double targetLufs = kDefaultTargetLufs);

}  // namespace kestrel::songs
