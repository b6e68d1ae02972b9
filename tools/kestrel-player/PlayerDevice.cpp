#include "PlayerDevice.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "zones/ZoneCommands.h"

namespace kestrel::player {

namespace {

constexpr auto kReportEvery = std::chrono::seconds(5);

std::string Seconds(std::int64_t ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld.%lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000 / 100));
  return buf;
}

bool ThreeDigits(const std::string& text, std::size_t at, int& out) {
  if (at + 3 > text.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + 3; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

// How much of an ignored command the log shows: a long frame may carry 64 KB of zeros.
constexpr std::size_t kLoggedBytesMax = 120;

// The command as printable text: control bytes and non-ASCII bytes as \xNN, at most
// kLoggedBytesMax bytes of it, then how long it was.
std::string Printable(const std::string& text) {
  std::string out;
  const std::size_t shown = std::min(text.size(), kLoggedBytesMax);
  for (unsigned char c : text.substr(0, shown)) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (shown < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

}  // namespace

PlayerDevice::PlayerDevice(DeviceAddress address, const PlayListFolder& folder, const PlayerOptions& options)
    : address_(address),
      folder_(folder),
      zoneChar_(options.zoneChar),
      reloadTime_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.reloadSeconds))),
      attenuation_(options.attenuation),
      playMode_(options.playMode),
      lastAdvance_(Clock::now()) {
  Select(1, 1);
  for (const Cue& c : options.cues) {
    if (!(c.device == address_)) continue;
    if (Select(c.listNo, c.songNo).empty()) positionMs_ = std::min(c.positionTenths * 100, durationMs_ - 1);
  }
}

std::string PlayerDevice::Select(int listNo, int songNo) {
  const PlayListDir* list = folder_.ByDeviceNumber(listNo);
  if (list == nullptr || songNo < 1 || songNo > static_cast<int>(list->songs.size())) return "no such song";
  const SongFile& song = list->songs[static_cast<std::size_t>(songNo - 1)];
  listNo_ = listNo;
  songNo_ = songNo;
  listName_ = list->name;
  songName_ = song.name;
  durationMs_ = SongDurationMs(song.size);
  positionMs_ = 0;
  return {};
}

void PlayerDevice::Step(int delta, bool wrap) {
  const PlayListDir* list = folder_.ByDeviceNumber(listNo_);
  if (list == nullptr || list->songs.empty()) {
    Select(1, 1);
    return;
  }
  const int count = static_cast<int>(list->songs.size());
  int next = songNo_ + delta;
  if (next < 1 || next > count) {
    if (!wrap) {
      playing_ = false;
      positionMs_ = 0;
      return;
    }
    next = (next + count - 1) % count + 1;
  }
  const bool wasPlaying = playing_;
  Select(listNo_, next);
  playing_ = wasPlaying;
}

std::string PlayerDevice::Describe() const {
  if (songNo_ == 0) return "no song";
  return "L" + std::to_string(listNo_) + " S" + std::to_string(songNo_) + " \"" + songName_ + "\" at " +
         Seconds(positionMs_) + "/" + Seconds(durationMs_) + " s, " + (playing_ ? "playing" : "stopped");
}

Outcome PlayerDevice::OnText(const std::string& text, Clock::time_point now) {
  const std::string source = std::string("*S") + kSourceChar;
  if (text == source + "PREV" || text == source + "NEXT") {
    Step(text == source + "NEXT" ? 1 : -1, true);
    return {text.substr(3) + ": " + Describe(), {}};
  }
  if (text == source + "PLAY") {
    if (songNo_ == 0 && !Select(1, 1).empty()) return {"PLAY: nothing to play", {}};
    playing_ = true;
    return {"PLAY: " + Describe(), {}};
  }
  if (text == source + "STOP") {
    playing_ = false;
    positionMs_ = 0;
    return {"STOP: " + Describe(), {}};
  }
  if (text == source + "UPDATELIST") {
    reloading_ = true;
    reloadEnd_ = now + reloadTime_;
    nextReport_ = now + kReportEvery;
    return {"UPDATELIST: reloading the play lists", {DispUpdateReply(true)}};
  }
  int listNo = 0, songNo = 0;
  if (text.size() == 18 && text.compare(0, 7, source + "LIST") == 0 && ThreeDigits(text, 7, listNo) &&
      text.compare(10, 5, ",SONG") == 0 && ThreeDigits(text, 15, songNo)) {
    const std::string what = "LIST " + std::to_string(listNo) + " SONG " + std::to_string(songNo);
    const std::string error = Select(listNo, songNo);
    if (!error.empty()) return {what + ": " + error + ", ignored", {}};
    playing_ = true;
    return {what + ": " + Describe(), {}};
  }
  if (text.size() >= 3 && text.compare(0, 2, "*Z") == 0) {
    const char zone = text[2];
    const std::string rest = text.substr(3);
    if (rest == "PLAYMODE?" && zone == kDigitTable[2])
      return {"PLAYMODE?: DISPMODE (mode " + std::to_string(playMode_) + ")", {DispModeReply(static_cast<unsigned>(playMode_))}};
    if (zone == zoneChar_ && rest == "STATUS?") return Status();
    if (zone == zoneChar_ && rest.size() == 5 && rest.compare(0, 3, "VOL") == 0 && std::isdigit(static_cast<unsigned char>(rest[3])) &&
        std::isdigit(static_cast<unsigned char>(rest[4]))) {
      attenuation_ = std::min(79, (rest[3] - '0') * 10 + (rest[4] - '0'));
      return {"VOL: attenuation " + std::to_string(attenuation_), {}};
    }
  }
  return {"ignored: " + Printable(text), {}};
}

Outcome PlayerDevice::OnPlayMode(const std::uint8_t* payload, std::size_t n) {
  if (n < 4 || payload[0] != 0x02 || payload[1] < 1 || payload[1] > 4 || payload[2] != 0 || payload[3] != 0)
    return {"ignored: play mode frame " + Printable(std::string(payload, payload + n)), {}};
  playMode_ = payload[1];
  return {"PLAYMODE: mode " + std::to_string(playMode_), {}};
}

Outcome PlayerDevice::Status() const {
  const PlayListDir* list = folder_.ByDeviceNumber(listNo_);
  const std::size_t songs = list != nullptr ? list->songs.size() : 0;
  Outcome out;
  out.line = "STATUS?: DISPINFO VOL DISPLINE1 DISPLINE3 DISPLINE4 (" + Describe() + ", attenuation " +
             std::to_string(attenuation_) + ")";
  out.replies.push_back(DispInfoReply(static_cast<std::uint32_t>(durationMs_ / 100),
                                      static_cast<std::uint32_t>(positionMs_ / 100), playing_ ? '1' : '0'));
  out.replies.push_back(VolumeReply(zoneChar_, static_cast<unsigned>(attenuation_)));
  out.replies.push_back(DisplayLineReply('1', "L:" + std::to_string(listNo_) + "/" + std::to_string(folder_.DeviceListCount())));
  out.replies.push_back(DisplayLineReply('3', "S:" + std::to_string(songNo_) + "/" + std::to_string(songs)));
  out.replies.push_back(DisplayLineReply('4', songName_));
  return out;
}

std::vector<std::string> PlayerDevice::Advance(Clock::time_point now) {
  std::vector<std::string> lines;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastAdvance_).count();
  lastAdvance_ = now;
  if (!playing_ || songNo_ == 0) return lines;
  positionMs_ += elapsed;
  // Each song lasts at least a second, so a long pause runs through a bounded number of them.
  for (int guard = 0; playing_ && positionMs_ >= durationMs_ && guard < 10000; ++guard) {
    const std::int64_t carry = positionMs_ - durationMs_;
    switch (playMode_) {
      case 1:
        playing_ = false;
        positionMs_ = 0;
        break;
      case 2:
        positionMs_ = 0;
        break;
      default:
        Step(1, playMode_ == 4);
        break;
    }
    if (playing_) positionMs_ = std::min(carry, durationMs_ - 1);
    lines.push_back("song ended: " + Describe());
  }
  return lines;
}

ReplyPayload PlayerDevice::RepeatReloadReport(Clock::time_point now) {
  nextReport_ = now + kReportEvery;
  return DispUpdateReply(true);
}

Outcome PlayerDevice::FinishReload() {
  reloading_ = false;
  Renumbered();
  return {"UPDATELIST: play lists reloaded, " + std::to_string(folder_.DeviceListCount()) + " play lists; " + Describe(),
          {DispUpdateReply(false)}};
}

void PlayerDevice::Renumbered() {
  const PlayListDir* list = folder_.ByName(listName_);
  if (list != nullptr && list->seqInVeltra > 0) {
    for (std::size_t i = 0; i < list->songs.size(); ++i) {
      if (list->songs[i].name != songName_) continue;
      listNo_ = list->seqInVeltra;
      songNo_ = static_cast<int>(i) + 1;
      durationMs_ = SongDurationMs(list->songs[i].size);
      positionMs_ = std::min(positionMs_, durationMs_ - 1);
      return;
    }
  }
  // The song is gone: start over at the first song, stopped.
  playing_ = false;
  listNo_ = songNo_ = 0;
  listName_.clear();
  songName_.clear();
  durationMs_ = positionMs_ = 0;
  Select(1, 1);
}

}  // namespace kestrel::player
