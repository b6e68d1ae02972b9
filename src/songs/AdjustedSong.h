// The copy of a song with its loudness changed, made while the song is read: every audio frame's
// global gains moved by the planned steps (and its CRC with them), the info frame's level fields
// and CRCs kept true (InfoFrame.h), every other byte as it was. The copy has the size of the file.
//
// GainChanger takes the file's bytes in pieces and hands on the copy's, a few frames behind;
// AdjustedSongReader reads a file through it, for a transfer that pulls the bytes it sends.
// Either holds a few frames and one read buffer, whatever the song's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "songs/FrameWalker.h"
#include "songs/SongCheck.h"

namespace kestrel::songs {

class SongError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class GainChanger {
 public:
  using Sink = std::function<void(const std::uint8_t* data, std::size_t bytes)>;

  // `check` is the song's check (its frames must be the ones read now); `steps` its change.
  GainChanger(const SongCheck& check, int steps, Sink sink);

  void Feed(const std::uint8_t* data, std::size_t bytes);
  // The file has ended. Throws SongError when its frames were not the ones the check found.
  void Finish();

 private:
  void OnSegment(Segment& s);

  FrameWalker walker_;
  Sink sink_;
  int steps_;
  bool setMusicCrc_;
  std::uint16_t musicCrc_ = 0;
  std::int64_t expectedFrames_;
  std::int64_t frames_ = 0;
};

class AdjustedSongReader {
 public:
  // Opens the file of `check` (a sendable MP3). Throws SongError when it cannot be opened or its
  // size is not the one checked.
  AdjustedSongReader(const SongCheck& check, int steps);
  ~AdjustedSongReader();

  std::int64_t Size() const { return size_; }
  // Copies up to `max` bytes of the copy into `buffer`; 0 at its end. Throws SongError when the
  // file cannot be read or is no longer the one checked.
  std::size_t Read(char* buffer, std::size_t max);

 private:
  std::ifstream in_;
  std::string path_;
  std::int64_t size_ = 0;
  std::int64_t read_ = 0;  // bytes read from the file
  std::unique_ptr<GainChanger> changer_;
  std::vector<char> input_;
  std::vector<std::uint8_t> ready_;  // the copy's bytes not handed out yet
  std::size_t readyAt_ = 0;
  bool ended_ = false;
};

}  // namespace kestrel::songs
