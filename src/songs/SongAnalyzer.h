// The song check, fed the file's bytes in order as they are read (from the file, or on their way
// somewhere else): the frames walked and checked, the audio decoded and measured as it comes.
// Holds a few frames and the decoder's state, whatever the song's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "songs/FrameWalker.h"
#include "songs/SongCheck.h"

namespace kestrel::songs {

class LoudnessMeter;
class Mp3Decoder;
class MusicCrc;

class SongAnalyzer {
 public:
  // Audio must start within this many bytes after the tags at the start of a file.
  static constexpr std::int64_t kSearchBytes = 64 * 1024;

  SongAnalyzer();
  ~SongAnalyzer();
  SongAnalyzer(const SongAnalyzer&) = delete;
  SongAnalyzer& operator=(const SongAnalyzer&) = delete;

  void Feed(const std::uint8_t* data, std::size_t bytes);
  // True once the file is known not to be an MP3: the rest of it would change nothing.
  bool Decided() const;
  // The file has ended (or, after Decided(), is not read further): the check's result, all but
  // its path.
  SongCheck Finish();

 private:
  void OnSegment(Segment& s);
  void OnFrame(const Segment& s);
  void OnOther(const Segment& s);
  // Hands the bytes held since the last frame to the decoder: more frames follow them.
  void FlushBetween();
  void Decode(const std::uint8_t* data, std::size_t bytes);
  void OnFormat(long sampleRate, int channels);
  void OnSamples(const float* samples, std::size_t frames);
  std::string NotMp3Reason() const;
  std::vector<std::string> Problems() const;
  bool TrailingIsTags() const;

  FrameWalker walker_;
  std::unique_ptr<Mp3Decoder> decoder_;
  std::unique_ptr<LoudnessMeter> meter_;
  std::unique_ptr<MusicCrc> musicCrc_;

  std::vector<std::uint8_t> head_;  // the file's first bytes, to tell what else it is
  std::int64_t bytes_ = 0;

  // Frames.
  bool foundAudio_ = false;
  bool haveFormat_ = false;
  FrameHeader first_;            // the first audio frame
  std::int64_t firstOffset_ = -1;
  std::int64_t tagBytesBefore_ = 0;
  InfoFrame info_;
  bool haveInfo_ = false;
  std::int64_t audioFrames_ = 0;
  std::int64_t audioBytes_ = 0;
  int bitrate_ = 0;
  bool variable_ = false;
  int reservoir_ = 0;            // main data bytes of the frames before, since the last gap
  GainFacts gain_;

  // What is wrong.
  std::int64_t leadingOther_ = 0;   // non-zero bytes before the first frame
  std::int64_t betweenOther_ = 0;
  int betweenPlaces_ = 0;
  bool partial_ = false;
  int crcErrors_ = 0;
  int reservoirErrors_ = 0;
  bool formatChanged_ = false;

  // Bytes since the last frame: between frames if another follows, else at the end.
  std::vector<std::uint8_t> held_;
  std::int64_t heldOther_ = 0;      // of them, other bytes (the rest are tags)
  std::int64_t trailing_ = 0;
  bool trailingZero_ = true;
  std::vector<std::uint8_t> trailingTail_;  // the last of them

  // Decoded audio.
  long sampleRate_ = 0;
  int channels_ = 0;
  bool measuring_ = true;
  std::int64_t decodedFrames_ = 0;
};

}  // namespace kestrel::songs
