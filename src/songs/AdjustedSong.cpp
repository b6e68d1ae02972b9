#include "songs/AdjustedSong.h"

#include <algorithm>
#include <cstring>

#include "platform/Utf8Path.h"
#include "songs/MusicCrc.h"

namespace kestrel::songs {

namespace {

constexpr std::size_t kReadBytes = 64 * 1024;

}  // namespace

GainChanger::GainChanger(const SongCheck& check, int steps, Sink sink)
    : walker_([this](Segment& s) { OnSegment(s); }),
      sink_(std::move(sink)),
      steps_(std::clamp(steps, -MusicCrc::kMaxSteps, MusicCrc::kMaxSteps)),
      setMusicCrc_(check.gain.setMusicCrc),
      expectedFrames_(check.gain.frames) {
  const auto index = static_cast<std::size_t>(steps_ + MusicCrc::kMaxSteps);
  if (setMusicCrc_ && index < check.gain.musicCrcAfter.size()) {
    musicCrc_ = check.gain.musicCrcAfter[index];
  } else {
    setMusicCrc_ = false;
  }
}

void GainChanger::Feed(const std::uint8_t* data, std::size_t bytes) { walker_.Feed(data, bytes); }

void GainChanger::Finish() {
  walker_.Finish();
  if (steps_ != 0 && frames_ != expectedFrames_)
    throw SongError("the song is no longer the one checked (" + std::to_string(frames_) + " frames, not " +
                    std::to_string(expectedFrames_) + ")");
}

void GainChanger::OnSegment(Segment& s) {
  if (steps_ != 0) {
    const FrameHeader& h = s.header;
    if (s.kind == SegmentKind::InfoFrame) {
      AdjustExtension(s.data, s.info, steps_, setMusicCrc_, musicCrc_);
    } else if ((s.kind == SegmentKind::AudioFrame || s.kind == SegmentKind::PartialFrame) && h.layer == 3 &&
               s.size >= static_cast<std::size_t>(h.HeadBytes())) {
      AddGlobalGain(s.data, h, steps_);
      ++frames_;
    }
  }
  sink_(s.data, s.size);
}

AdjustedSongReader::AdjustedSongReader(const SongCheck& check, int steps)
    : in_(platform::PathFromUtf8(check.path), std::ios::binary), path_(check.path), input_(kReadBytes) {
  if (!in_) throw SongError("cannot open " + path_);
  in_.seekg(0, std::ios::end);
  size_ = static_cast<std::int64_t>(in_.tellg());
  in_.seekg(0, std::ios::beg);
  if (size_ != check.fileBytes) throw SongError("the song is no longer the one checked (its size changed)");
  changer_ = std::make_unique<GainChanger>(check, steps, [this](const std::uint8_t* data, std::size_t bytes) {
    ready_.insert(ready_.end(), data, data + bytes);
  });
}

AdjustedSongReader::~AdjustedSongReader() = default;

std::size_t AdjustedSongReader::Read(char* buffer, std::size_t max) {
  while (ready_.size() - readyAt_ < max && !ended_) {
    if (readyAt_ > 0) {
      ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(readyAt_));
      readyAt_ = 0;
    }
    in_.read(input_.data(), static_cast<std::streamsize>(input_.size()));
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) throw SongError("cannot read " + path_);
    read_ += static_cast<std::int64_t>(got);
    if (got > 0) changer_->Feed(reinterpret_cast<const std::uint8_t*>(input_.data()), got);
    if (got == 0 || in_.eof()) {
      if (read_ != size_) throw SongError("the song is no longer the one checked (its size changed)");
      changer_->Finish();
      ended_ = true;
    }
  }
  const std::size_t n = std::min(max, ready_.size() - readyAt_);
  std::memcpy(buffer, ready_.data() + readyAt_, n);
  readyAt_ += n;
  return n;
}

}  // namespace kestrel::songs
