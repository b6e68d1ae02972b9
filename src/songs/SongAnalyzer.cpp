#include "songs/SongAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "songs/LoudnessMeter.h"
#include "songs/Mp3Decoder.h"
#include "songs/MusicCrc.h"

namespace kestrel::songs {

namespace {

constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kTrailingTail = 192;
// Bytes between frames held back from the decoder until it is known whether frames follow.
constexpr std::size_t kHoldBytes = 256 * 1024;

bool StartsWith(const std::vector<std::uint8_t>& data, std::size_t at, const char* text) {
  const std::size_t n = std::strlen(text);
  return data.size() >= at + n && std::memcmp(data.data() + at, text, n) == 0;
}

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// Text: UTF-8 without control characters other than tab, line ends and form feed.
bool LooksLikeText(const std::vector<std::uint8_t>& data) {
  if (data.empty()) return false;
  std::size_t i = 0;
  while (i < data.size()) {
    const std::uint8_t c = data[i];
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') return false;
      if (c == 0x7F) return false;
      ++i;
      continue;
    }
    const int more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0) return false;
    for (int k = 1; k <= more; ++k) {
      if (i + k >= data.size()) return true;  // cut at the end of what was kept
      if ((data[i + k] & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

std::string Count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

SongAnalyzer::SongAnalyzer() : walker_([this](Segment& s) { OnSegment(s); }) {
  decoder_ = std::make_unique<Mp3Decoder>([this](long rate, int channels) { OnFormat(rate, channels); },
                                          [this](const float* samples, std::size_t frames) { OnSamples(samples, frames); });
}

SongAnalyzer::~SongAnalyzer() = default;

void SongAnalyzer::Feed(const std::uint8_t* data, std::size_t bytes) {
  if (head_.size() < kHeadBytes)
    head_.insert(head_.end(), data, data + std::min(bytes, kHeadBytes - head_.size()));
  bytes_ += static_cast<std::int64_t>(bytes);
  walker_.Feed(data, bytes);
}

bool SongAnalyzer::Decided() const {
  if (foundAudio_) return first_.layer != 3;
  return walker_.BytesSearchedBeforeAudio() > kSearchBytes;
}

void SongAnalyzer::OnSegment(Segment& s) {
  switch (s.kind) {
    case SegmentKind::Tag:
      if (!foundAudio_) {
        tagBytesBefore_ += static_cast<std::int64_t>(s.size);
        return;
      }
      held_.insert(held_.end(), s.data, s.data + s.size);
      if (held_.size() > kHoldBytes) FlushBetween();
      if (musicCrc_) musicCrc_->Other(s.data, s.size);
      trailing_ += static_cast<std::int64_t>(s.size);
      trailingZero_ = false;
      return;
    case SegmentKind::Other:
      OnOther(s);
      return;
    case SegmentKind::InfoFrame:
      info_ = s.info;
      haveInfo_ = true;
      firstOffset_ = s.offset;
      foundAudio_ = true;
      if (info_.extension != 0 && info_.extensionCrcValid) musicCrc_ = std::make_unique<MusicCrc>();
      Decode(s.data, s.size);
      return;
    case SegmentKind::AudioFrame:
    case SegmentKind::PartialFrame:
      OnFrame(s);
      return;
  }
}

void SongAnalyzer::OnOther(const Segment& s) {
  if (!foundAudio_) {
    for (std::size_t i = 0; i < s.size; ++i)
      if (s.data[i] != 0) ++leadingOther_;
    return;
  }
  held_.insert(held_.end(), s.data, s.data + s.size);
  heldOther_ += static_cast<std::int64_t>(s.size);
  if (held_.size() > kHoldBytes) FlushBetween();
  if (musicCrc_) musicCrc_->Other(s.data, s.size);
  trailing_ += static_cast<std::int64_t>(s.size);
  for (std::size_t i = 0; i < s.size && trailingZero_; ++i) trailingZero_ = s.data[i] == 0;
  trailingTail_.insert(trailingTail_.end(), s.data, s.data + s.size);
  if (trailingTail_.size() > kTrailingTail)
    trailingTail_.erase(trailingTail_.begin(), trailingTail_.end() - static_cast<std::ptrdiff_t>(kTrailingTail));
}

void SongAnalyzer::FlushBetween() {
  Decode(held_.data(), held_.size());
  held_.clear();
}

void SongAnalyzer::OnFrame(const Segment& s) {
  const FrameHeader& h = s.header;
  // What came since the last frame lies between two frames.
  if (heldOther_ > 0) {
    betweenOther_ += heldOther_;
    ++betweenPlaces_;
  }
  if (!held_.empty()) FlushBetween();
  heldOther_ = 0;
  trailing_ = 0;
  trailingZero_ = true;
  trailingTail_.clear();

  if (!foundAudio_) firstOffset_ = s.offset;
  foundAudio_ = true;
  if (!haveFormat_) {
    first_ = h;
    haveFormat_ = true;
    bitrate_ = h.bitrateKbps;
  } else if (!h.SameStream(first_)) {
    formatChanged_ = true;
  }
  if (h.bitrateKbps != bitrate_) variable_ = true;
  if (s.resynced) reservoir_ = 0;

  const bool whole = s.kind == SegmentKind::AudioFrame;
  const bool head = s.size >= static_cast<std::size_t>(h.HeadBytes());
  if (!whole) partial_ = true;
  if (whole) {
    ++audioFrames_;
    audioBytes_ += static_cast<std::int64_t>(s.size);
  }
  if (h.layer == 3 && head) {
    if (h.protectedByCrc && ComputeFrameCrc(s.data, h) != StoredFrameCrc(s.data)) ++crcErrors_;
    if (MainDataBegin(s.data, h) > reservoir_) ++reservoirErrors_;
    reservoir_ += h.frameBytes - h.HeadBytes();
    for (int gr = 0; gr < h.Granules(); ++gr) {
      for (int ch = 0; ch < h.Channels(); ++ch) {
        if (Part23Length(s.data, h, gr, ch) == 0) continue;
        const int g = static_cast<int>(ReadBits(s.data, GlobalGainBit(h, gr, ch), 8));
        gain_.lowestGain = std::min(gain_.lowestGain, g);
        gain_.highestGain = std::max(gain_.highestGain, g);
      }
    }
    ++gain_.frames;
  }
  if (musicCrc_) {
    if (whole && h.layer == 3) {
      musicCrc_->Frame(s.data, h);
    } else {
      musicCrc_.reset();  // cut short: the stored CRC cannot be the one of this audio
    }
  }
  Decode(s.data, s.size);
}

void SongAnalyzer::Decode(const std::uint8_t* data, std::size_t bytes) {
  if (decoder_ && !Decided()) decoder_->Feed(data, bytes);
}

void SongAnalyzer::OnFormat(long sampleRate, int channels) {
  if (meter_) {
    if (sampleRate != sampleRate_ || channels != channels_) {
      formatChanged_ = true;
      measuring_ = false;  // the loudness of the first format stands
    }
    return;
  }
  sampleRate_ = sampleRate;
  channels_ = channels;
  meter_ = std::make_unique<LoudnessMeter>(sampleRate, channels);
}

void SongAnalyzer::OnSamples(const float* samples, std::size_t frames) {
  if (!meter_ || !measuring_) return;
  meter_->Add(samples, frames);
  decodedFrames_ += static_cast<std::int64_t>(frames);
}

bool SongAnalyzer::TrailingIsTags() const {
  if (trailing_ == 0 || trailingZero_) return true;
  std::int64_t rest = trailing_;
  const std::int64_t tailStart = trailing_ - static_cast<std::int64_t>(trailingTail_.size());
  // The byte `at` of the trailing bytes, when it is among those kept.
  auto at = [&](std::int64_t i) -> const std::uint8_t* {
    return i >= tailStart && i < trailing_ ? trailingTail_.data() + (i - tailStart) : nullptr;
  };
  auto matches = [&](std::int64_t i, const char* text) {
    const std::size_t n = std::strlen(text);
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint8_t* p = at(i + static_cast<std::int64_t>(k));
      if (!p || *p != static_cast<std::uint8_t>(text[k])) return false;
    }
    return true;
  };
  if (rest >= 128 && matches(rest - 128, "TAG")) rest -= 128;  // ID3v1
  if (rest >= 32 && matches(rest - 32, "APETAGEX") && at(rest - 32 + 23)) {  // APE tag footer
    const std::uint8_t* footer = at(rest - 32);
    const std::int64_t size = LittleEndian32(footer + 12) + ((footer[23] & 0x80) ? 32 : 0);
    if (size <= rest) rest -= size;
  }
  if (rest >= 15 && matches(rest - 9, "LYRICS200")) {  // Lyrics3 v2: six digits of size, then the mark
    std::int64_t size = 0;
    bool digits = true;
    for (int k = 0; k < 6; ++k) {
      const std::uint8_t* p = at(rest - 15 + k);
      digits = digits && p && *p >= '0' && *p <= '9';
      if (digits) size = size * 10 + (*p - '0');
    }
    if (digits && size + 15 <= rest) rest -= size + 15;
  }
  return rest == 0;
}

std::string SongAnalyzer::NotMp3Reason() const {
  if (bytes_ == 0) return "an empty file";
  if (foundAudio_ && haveFormat_ && first_.layer != 3)
    return std::string("MPEG audio layer ") + (first_.layer == 1 ? "I" : "II") + ", not layer III (MP3)";
  struct Kind {
    const char* magic;
    std::size_t at;  // where `also` must follow
    const char* also;
    const char* text;
  };
  // First match wins: a WAV before any other RIFF file.
  static const Kind kinds[] = {
      // other sound
      {"RIFF", 8, "WAVE", "a WAV file"}, {"RIFF", 0, "", "a RIFF file"}, {"FORM", 8, "AIFF", "an AIFF file"},
      {"OggS", 0, "", "an Ogg file"}, {"fLaC", 0, "", "a FLAC file"}, {"MThd", 0, "", "a MIDI file"},
      {"\x30\x26\xB2\x75", 0, "", "a Windows Media file"}, {"", 4, "ftyp", "an MP4 (M4A, AAC) file"},
      // not sound at all
      {"%PDF", 0, "", "a PDF document"}, {"\x89PNG", 0, "", "a PNG picture"},
      {"\xFF\xD8\xFF", 0, "", "a JPEG picture"}, {"PK\x03\x04", 0, "", "a ZIP archive"},
  };
  std::string what;
  for (const Kind& k : kinds) {
    if (StartsWith(head_, 0, k.magic) && StartsWith(head_, k.at, k.also)) {
      what = k.text;
      break;
    }
  }
  if (what.empty() && head_.size() >= 2 && head_[0] == 0xFF && (head_[1] & 0xF6) == 0xF0) what = "AAC audio (ADTS)";
  if (what.empty() && LooksLikeText(head_)) what = "a text file";
  if (what.empty()) return foundAudio_ ? "no MPEG audio at its start" : "no MPEG audio found";
  return what + ", not MPEG audio";
}

std::vector<std::string> SongAnalyzer::Problems() const {
  std::vector<std::string> problems;
  const std::int64_t expected = haveInfo_ ? info_.audioFrames : -1;
  if (partial_ || (expected > 0 && audioFrames_ < expected)) {
    std::string text = "truncated: ";
    if (partial_) text += "the last frame is cut short";
    if (expected > 0 && audioFrames_ < expected) {
      if (partial_) text += ", ";
      text += std::to_string(expected - audioFrames_) + " of the " + std::to_string(expected) +
              " frames the encoder wrote are missing";
    }
    problems.push_back(text);
  }
  if (leadingOther_ > 0) problems.push_back(Count(leadingOther_, "byte", "bytes") + " before the audio are not MPEG audio");
  if (betweenOther_ > 0)
    problems.push_back(Count(betweenOther_, "byte", "bytes") + " between frames (" +
                       Count(betweenPlaces_, "place", "places") + ") are not MPEG audio: damaged or missing frames");
  if (!TrailingIsTags()) problems.push_back(Count(trailing_, "byte", "bytes") + " after the audio are not MPEG audio");
  if (crcErrors_ > 0) problems.push_back(Count(crcErrors_, "frame fails its", "frames fail their") + " CRC check");
  if (reservoirErrors_ > 0)
    problems.push_back(Count(reservoirErrors_, "frame lacks", "frames lack") + " audio data of a frame before it");
  if (formatChanged_) problems.push_back("the format changes within the song");
  if (decoder_ && decoder_->Errors() > 0) problems.push_back("the decoder reported " + Count(decoder_->Errors(), "error", "errors"));
  if (decoder_ && !decoder_->Usable()) problems.push_back(decoder_->Problem());
  return problems;
}

SongCheck SongAnalyzer::Finish() {
  walker_.Finish();
  if (decoder_ && !Decided()) decoder_->Finish();  // the bytes after the last frame are not audio
  SongCheck check;
  check.fileBytes = bytes_;
  const bool audioStartsLate = foundAudio_ && firstOffset_ - tagBytesBefore_ > kSearchBytes;
  if (!foundAudio_ || !haveFormat_ || Decided() || audioStartsLate) {
    check.verdict = SongVerdict::NotMp3;
    check.reason = NotMp3Reason();
  }
  if (haveFormat_) {
    check.version = first_.version;
    check.layer = first_.layer;
    check.sampleRate = first_.sampleRate;
    check.channels = first_.Channels();
    check.channelMode = first_.channelMode;
    check.variableBitrate = variable_ || (haveInfo_ && info_.variableBitrate);
    check.audioFrames = audioFrames_;
    const double frameSeconds = static_cast<double>(first_.SamplesPerFrame()) / first_.sampleRate;
    if (audioFrames_ > 0) check.bitrateKbps = audioBytes_ * 8.0 / (audioFrames_ * frameSeconds) / 1000.0;
    check.seconds = decodedFrames_ > 0 && sampleRate_ > 0 ? static_cast<double>(decodedFrames_) / sampleRate_
                                                          : audioFrames_ * frameSeconds;
  }
  if (check.verdict == SongVerdict::NotMp3 && !check.reason.empty()) return check;

  const std::vector<std::string> problems = Problems();
  check.verdict = problems.empty() ? SongVerdict::Ok : SongVerdict::Damaged;
  for (const std::string& p : problems) check.reason += (check.reason.empty() ? "" : "; ") + p;
  if (meter_ && decodedFrames_ > 0) {
    check.measured = true;
    check.loudnessLufs = meter_->IntegratedLufs();
    check.truePeakDbtp = meter_->TruePeakDbtp();
  }
  check.gain = gain_;
  if (musicCrc_ && musicCrc_->Original() == info_.musicCrc) {
    check.gain.setMusicCrc = true;
    for (int steps = -MusicCrc::kMaxSteps; steps <= MusicCrc::kMaxSteps; ++steps)
      check.gain.musicCrcAfter.push_back(musicCrc_->After(steps));
  }
  return check;
}

}  // namespace kestrel::songs
