// The check of a song before it is sent to a player: is it MPEG audio layer III (an MP3), its
// format, whether frames are damaged or missing, and its loudness, all from one reading of the
// file. A file that is not MP3 is not sent; a damaged one is sent with a warning.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "songs/Mp3Frame.h"

namespace kestrel::songs {

enum class SongVerdict {
  Ok,
  Damaged,       // MP3 with damaged or missing frames: sent, with a warning
  NotMp3,        // not MPEG audio layer III: not sent
  Unreadable,    // the file could not be read: not sent
};

// What changing the song's global gains needs to know, found by the check.
struct GainFacts {
  // The lowest and highest global gain of any granule that holds audio; a change keeps them
  // within 0..255. lowest > highest: no granule holds audio.
  int lowestGain = 256;
  int highestGain = -1;
  std::int64_t frames = 0;  // frames a change touches
  // The info frame's CRC of the audio was right: the stored copy's is set to musicCrcAfter,
  // indexed by steps + MusicCrc::kMaxSteps.
  bool setMusicCrc = false;
  std::vector<std::uint16_t> musicCrcAfter;
};

struct SongCheck {
  std::string path;
  std::int64_t fileBytes = 0;
  SongVerdict verdict = SongVerdict::NotMp3;
  // Why the verdict is not Ok, for a person: "a WAV file, not MPEG audio", "truncated: the
  // last frame is cut short; 3 frames fail their CRC check". Empty when Ok.
  std::string reason;

  // The format, for MPEG audio (also of another layer).
  MpegVersion version = MpegVersion::Mpeg1;
  int layer = 0;
  int sampleRate = 0;
  int channels = 0;
  int channelMode = 0;  // as in the frame header: 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  bool variableBitrate = false;
  double bitrateKbps = 0;  // average over the audio frames
  double seconds = 0;      // the decoded audio's length
  std::int64_t audioFrames = 0;

  // Loudness, when audio was decoded: integrated loudness (LUFS) and true peak (dBTP), each
  // -infinity for silence.
  bool measured = false;
  double loudnessLufs = 0;
  double truePeakDbtp = 0;

  GainFacts gain;

  // The check was stopped before the end of the file: nothing of it is known.
  bool cancelled = false;

  bool Sendable() const { return verdict == SongVerdict::Ok || verdict == SongVerdict::Damaged; }
};

// Reads the file at `path` (UTF-8) once, from its start, and checks it. A file that is not
// MPEG audio is usually known as such from its first 64 KiB, and reading stops there.
// `cancel`, when given, is watched between reads: once set, the check stops (cancelled).
SongCheck CheckSong(const std::string& path, const std::atomic<bool>* cancel = nullptr);

// "ok", "damaged", "not MP3", "unreadable".
const char* VerdictText(SongVerdict verdict);
// "MPEG-1", "MPEG-2", "MPEG-2.5".
const char* VersionText(MpegVersion version);

}  // namespace kestrel::songs
