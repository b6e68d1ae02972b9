#include "songs/FrameWalker.h"

#include <algorithm>
#include <utility>

namespace kestrel::songs {

namespace {

// Headers that must follow a frame, each where the one before ends, before it is taken as the
// start of the audio.
constexpr int kRunFrames = 4;
// Held bytes already handed on are dropped once there are this many.
constexpr std::size_t kCompactBytes = 64 * 1024;

}  // namespace

FrameWalker::FrameWalker(Sink sink) : sink_(std::move(sink)) {}

void FrameWalker::Feed(const std::uint8_t* data, std::size_t bytes) {
  buffer_.insert(buffer_.end(), data, data + bytes);
  Run(false);
}

void FrameWalker::Finish() { Run(true); }

void FrameWalker::Run(bool finishing) {
  while (Step(finishing)) {
  }
  if (pos_ == buffer_.size() || pos_ >= kCompactBytes) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
    base_ += static_cast<std::int64_t>(pos_);
    pos_ = 0;
  }
}

bool FrameWalker::Step(bool finishing) {
  if (Available() == 0) return false;
  switch (state_) {
    case State::Start:
      return StepStart(finishing);
    case State::Tag: {
      const auto bytes = static_cast<std::size_t>(std::min<std::int64_t>(tagLeft_, static_cast<std::int64_t>(Available())));
      Emit(SegmentKind::Tag, bytes);
      tagLeft_ -= static_cast<std::int64_t>(bytes);
      if (tagLeft_ == 0) state_ = foundAudio_ ? State::Search : State::Start;
      return true;
    }
    case State::Search:
      return StepSearch(finishing);
    case State::Chain:
      return StepChain(finishing);
  }
  return false;
}

bool FrameWalker::StepStart(bool finishing) {
  const long tag = Id3v2Bytes(pos_, finishing);
  if (tag < 0) return false;
  if (tag > 0) {
    tagLeft_ = tag;
    state_ = State::Tag;
    return true;
  }
  tagsEnd_ = Offset();
  state_ = State::Search;
  return true;
}

long FrameWalker::Id3v2Bytes(std::size_t at, bool finishing) const {
  const std::size_t have = buffer_.size() - at;
  const std::uint8_t* p = buffer_.data() + at;
  const char id[] = "ID3";
  for (std::size_t i = 0; i < 3 && i < have; ++i)
    if (p[i] != static_cast<std::uint8_t>(id[i])) return 0;
  if (have < 10) return finishing ? 0 : -1;
  if (p[3] == 0xFF || p[4] == 0xFF || ((p[6] | p[7] | p[8] | p[9]) & 0x80)) return 0;
  const long size = (long{p[6]} << 21) | (long{p[7]} << 14) | (long{p[8]} << 7) | p[9];
  return 10 + size + ((p[5] & 0x10) ? 10 : 0);
}

int FrameWalker::RunStartsAt(std::size_t at, bool finishing, FrameHeader& first) const {
  std::size_t p = at;
  for (int k = 0; k < kRunFrames; ++k) {
    if (p + 4 > buffer_.size()) {
      if (!finishing) return -1;
      // The file ends here: a short file is one run of frames to its end.
      return k >= 2 && p >= buffer_.size() ? 1 : 0;
    }
    FrameHeader h;
    if (!ParseFrameHeader(buffer_.data() + p, h)) return 0;
    if (k == 0) {
      first = h;
    } else if (!h.SameStream(first)) {
      return 0;
    }
    p += static_cast<std::size_t>(h.frameBytes);
  }
  return 1;
}

bool FrameWalker::StepSearch(bool finishing) {
  std::size_t i = pos_;
  const std::size_t end = buffer_.size();
  while (i < end) {
    const std::uint8_t c = buffer_[i];
    if (c == 0xFF || c == 'I') {
      int found = 0;
      long tag = 0;
      FrameHeader h;
      if (c == 'I') {
        tag = Id3v2Bytes(i, finishing);
        found = tag < 0 ? -1 : tag > 0 ? 1 : 0;
      } else {
        found = RunStartsAt(i, finishing, h);
      }
      if (found != 0) {
        if (i > pos_) Emit(SegmentKind::Other, i - pos_);
        if (found < 0) return false;
        if (c == 'I') {
          tagLeft_ = tag;
          state_ = State::Tag;
        } else {
          resynced_ = foundAudio_;
          stream_ = h;
          state_ = State::Chain;
        }
        return true;
      }
      ++i;
      continue;
    }
    ++i;
    while (i < end && buffer_[i] != 0xFF && buffer_[i] != 'I') ++i;
  }
  Emit(SegmentKind::Other, end - pos_);
  return false;
}

bool FrameWalker::StepChain(bool finishing) {
  FrameHeader h;
  if (Available() < 4) {
    if (!finishing) return false;
    state_ = State::Search;
    return true;
  }
  if (!ParseFrameHeader(buffer_.data() + pos_, h) || !h.SameStream(stream_)) {
    state_ = State::Search;
    return true;
  }
  if (Available() < static_cast<std::size_t>(h.frameBytes)) {
    if (!finishing) return false;
    Emit(SegmentKind::PartialFrame, Available(), &h);
    return true;
  }
  Emit(SegmentKind::AudioFrame, static_cast<std::size_t>(h.frameBytes), &h);
  return true;
}

void FrameWalker::Emit(SegmentKind kind, std::size_t bytes, const FrameHeader* header) {
  Segment s;
  s.kind = kind;
  s.offset = Offset();
  s.data = buffer_.data() + pos_;
  s.size = bytes;
  if (header) {
    s.header = *header;
    s.resynced = resynced_;
    resynced_ = false;
    if (!foundAudio_ && kind == SegmentKind::AudioFrame && header->layer == 3 &&
        ParseInfoFrame(s.data, s.size, *header, s.info))
      s.kind = SegmentKind::InfoFrame;
    foundAudio_ = true;
  }
  sink_(s);
  pos_ += bytes;
}

}  // namespace kestrel::songs
