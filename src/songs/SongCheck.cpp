#include "songs/SongCheck.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/Utf8Path.h"
#include "songs/SongAnalyzer.h"

namespace kestrel::songs {

namespace {

constexpr std::size_t kReadBytes = 64 * 1024;

}  // namespace

SongCheck CheckSong(const std::string& path) {
  SongCheck check;
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) {
    check.path = path;
    check.verdict = SongVerdict::Unreadable;
    check.reason = std::string("cannot open it: ") + std::strerror(errno);
    return check;
  }
  SongAnalyzer analyzer;
  std::vector<char> buffer(kReadBytes);
  while (!analyzer.Decided()) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    analyzer.Feed(reinterpret_cast<const std::uint8_t*>(buffer.data()), got);
  }
  if (in.bad()) {
    check.path = path;
    check.verdict = SongVerdict::Unreadable;
    check.reason = "cannot read it";
    return check;
  }
  check = analyzer.Finish();
  check.path = path;
  return check;
}

const char* VerdictText(SongVerdict verdict) {
  switch (verdict) {
    case SongVerdict::Ok:
      return "ok";
    case SongVerdict::Damaged:
      return "damaged";
    case SongVerdict::NotMp3:
      return "not MP3";
    case SongVerdict::Unreadable:
      return "unreadable";
  }
  return "";
}

const char* VersionText(MpegVersion version) {
  switch (version) {
    case MpegVersion::Mpeg1:
      return "MPEG-1";
    case MpegVersion::Mpeg2:
      return "MPEG-2";
    case MpegVersion::Mpeg25:
      return "MPEG-2.5";
  }
  return "";
}

}  // namespace kestrel::songs
