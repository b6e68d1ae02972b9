// What a transfer makes of its local files before anything is sent: each file checked once
// (a worker per core), files that are not MP3 or cannot be read held back, damaged ones let
// through with a warning, and, when loudness is evened out, each song's change planned. The
// transfer then sends each song through SongSource, the file as it is or the changed copy.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "songs/LoudnessPlan.h"
#include "songs/SongCheck.h"

namespace kestrel::songs {

// The loudness targets a user may ask for (LUFS).
constexpr double kLowestTargetLufs = -40.0;
constexpr double kHighestTargetLufs = -5.0;

struct ScreenedSong {
  SongCheck check;
  LoudnessChange change;  // no steps unless loudness is evened out
};

struct SongScreening {
  std::optional<double> targetLufs;  // set: loudness evened out to it
  std::vector<ScreenedSong> songs;   // every file, in the order given
  bool cancelled = false;            // songs then holds only those checked before

  // The song checked for `path`; nullptr when it was not checked.
  const ScreenedSong* Find(const std::string& path) const;
  // The files that are not sent: "name: reason", in order.
  std::vector<std::string> NotSent() const;
  // The damaged songs, sent with a warning: "name: reason".
  std::vector<std::string> Warned() const;
  // The songs whose loudness is changed: "name: +9.0 dB (to -18.1 LUFS)", with the reason a
  // song misses the target.
  std::vector<std::string> Changed() const;
  // Songs left as they are although they miss the target: "name: why" (silent, not measured,
  // no room under the peak ceiling). Those changed but not as far as the target are in Changed.
  std::vector<std::string> MissedTarget() const;
};

struct ScreenOptions {
  std::optional<double> targetLufs;
  // Called on the calling thread after each song, in order: songs done, songs in all.
  std::function<void(std::size_t done, std::size_t total)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

SongScreening ScreenSongs(const std::vector<std::string>& paths, const ScreenOptions& options);
// One file, on the calling thread.
ScreenedSong ScreenSong(const std::string& path, std::optional<double> targetLufs);

// Where the player keeps the times a transfer gives its songs, a copy evened out to a target is
// given the local file's time moved on by this many seconds (always even, for players that keep
// times to two seconds): 20 minutes and 2 s for each tenth of a LU below 0 LUFS. A later deploy
// then tells the local file's own copy, and copies evened out to other targets, from it.
long long NormalizedTimeShift(double targetLufs);

// The bytes a transfer sends for a song: the file, or its copy with the loudness changed. Both
// have the file's size.
class SongSource {
 public:
  // Opens `path`; with `song` planned to change, its changed copy. Throws std::runtime_error
  // (SongError for the copy) when the file cannot be opened or is no longer the one checked.
  SongSource(const std::string& path, const ScreenedSong* song);
  ~SongSource();
  SongSource(const SongSource&) = delete;
  SongSource& operator=(const SongSource&) = delete;

  std::int64_t Size() const;
  // Up to `max` bytes into `buffer`; 0 at the end. Throws as the constructor does.
  std::size_t Read(char* buffer, std::size_t max);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace kestrel::songs
