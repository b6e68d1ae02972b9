#include "songs/LoudnessPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Text.h"
#include "songs/MusicCrc.h"

namespace kestrel::songs {

using platform::DecimalText;

LoudnessChange PlanLoudness(const SongCheck& check, double targetLufs) {
  LoudnessChange change;
  change.loudnessLufs = check.loudnessLufs;
  change.truePeakDbtp = check.truePeakDbtp;
  if (!check.Sendable() || check.layer != 3 || !check.measured) {
    change.note = "loudness not measured";
    return change;
  }
  if (!std::isfinite(check.loudnessLufs) || check.gain.lowestGain > check.gain.highestGain) {
    change.note = "silent";
    return change;
  }
  const int wanted = static_cast<int>(std::lround((targetLufs - check.loudnessLufs) / kGainStepDb));
  int steps = wanted;
  if (steps > 0 && std::isfinite(check.truePeakDbtp)) {
    const int room = static_cast<int>(std::floor((kPeakCeilingDbtp - check.truePeakDbtp) / kGainStepDb + 1e-9));
    if (room < steps) {
      steps = std::max(room, 0);
      change.note = "raised only " + DecimalText(steps * kGainStepDb, 1) + " dB: its true peak of " + DecimalText(check.truePeakDbtp, 1) +
                    " dBTP may not pass " + DecimalText(kPeakCeilingDbtp, 1) + " dBTP";
    }
  }
  const int low = std::max(-check.gain.lowestGain, -MusicCrc::kMaxSteps);
  const int high = std::min(255 - check.gain.highestGain, MusicCrc::kMaxSteps);
  if (steps < low || steps > high) {
    steps = std::clamp(steps, low, high);
    change.note = "changed only " + DecimalText(steps * kGainStepDb, 1) + " dB: the most the song's gain fields allow";
  }
  change.steps = steps;
  change.gainDb = steps * kGainStepDb;
  change.loudnessLufs = check.loudnessLufs + change.gainDb;
  if (std::isfinite(check.truePeakDbtp)) change.truePeakDbtp = check.truePeakDbtp + change.gainDb;
  change.reachesTarget = std::fabs(change.loudnessLufs - targetLufs) <= kToleranceLu + 1e-9;
  if (change.reachesTarget) change.note.clear();
  return change;
}

}  // namespace kestrel::songs
