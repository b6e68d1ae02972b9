// Walks an MPEG audio file from its first byte to its last, given in pieces of any size, and
// hands on every byte exactly once, in order, as part of one segment: an ID3v2 tag at the start,
// the encoder's info frame, an audio frame, a frame cut short by the end of the file, or other
// bytes (junk, damage, tags at the end).
//
// How frames are found: after the tags at the start, the first place where a frame header is
// followed, frame after frame, by three more headers of the same stream starts the audio. From
// there each frame's header gives the next frame's place. Where the next place holds no header of
// the same stream (damage, a gap, the tags at the end), the walker searches again as at the
// start; what it passes over is other bytes. A decoder does the same, so the frames found here
// are the ones a player plays. Only the first frame of the stream can be the info frame.
//
// The song check and the gain change both walk a file with this, so they agree on every frame.
// Memory: a few frames at most, whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "songs/InfoFrame.h"
#include "songs/Mp3Frame.h"

namespace kestrel::songs {

enum class SegmentKind {
  Tag,           // an ID3v2 tag (before the audio, or between two streams)
  InfoFrame,     // the encoder's info frame: not audio
  AudioFrame,    // a whole frame
  PartialFrame,  // a frame the end of the file cuts short
  Other,         // anything else
};

struct Segment {
  SegmentKind kind = SegmentKind::Other;
  std::int64_t offset = 0;    // in the file
  std::uint8_t* data = nullptr;  // the bytes; the receiver may change them, not keep the pointer
  std::size_t size = 0;
  FrameHeader header;         // frames only
  InfoFrame info;             // InfoFrame only
  bool resynced = false;      // a frame that begins a run found by searching after the first
};

class FrameWalker {
 public:
  using Sink = std::function<void(Segment&)>;

  explicit FrameWalker(Sink sink);

  void Feed(const std::uint8_t* data, std::size_t bytes);
  // The file has ended: hands on what is still held.
  void Finish();

  // True until the first frame is found.
  bool Searching() const { return state_ != State::Chain; }
  // Bytes passed since the tags at the start, while no frame has been found yet. A tag's own
  // bytes are not searched (a large picture in it is no sign that the file holds no audio).
  std::int64_t BytesSearchedBeforeAudio() const {
    return foundAudio_ || state_ == State::Start || state_ == State::Tag ? 0 : Offset() - tagsEnd_;
  }

 private:
  enum class State { Start, Tag, Search, Chain };

  void Run(bool finishing);
  // One step; false when more data is needed.
  bool Step(bool finishing);
  bool StepStart(bool finishing);
  bool StepSearch(bool finishing);
  bool StepChain(bool finishing);
  // Whether a run of frames starts at `at` (an index into buffer_): true or false when known,
  // or -1 when more data is needed to tell.
  int RunStartsAt(std::size_t at, bool finishing, FrameHeader& first) const;
  // Bytes of an ID3v2 tag starting at `at`; 0: none; -1: not known yet.
  long Id3v2Bytes(std::size_t at, bool finishing) const;
  void Emit(SegmentKind kind, std::size_t bytes, const FrameHeader* header = nullptr);
  std::size_t Available() const { return buffer_.size() - pos_; }
  std::int64_t Offset() const { return base_ + static_cast<std::int64_t>(pos_); }

  Sink sink_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;      // next byte to hand on
  std::int64_t base_ = 0;    // file offset of buffer_[0]
  State state_ = State::Start;
  std::int64_t tagLeft_ = 0;
  std::int64_t tagsEnd_ = 0;
  FrameHeader stream_;       // the stream being followed
  bool foundAudio_ = false;
  bool resynced_ = false;
};

}  // namespace kestrel::songs
