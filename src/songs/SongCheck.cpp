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

SongCheck CheckSong(const std::string& path, const std::atomic<bool>* cancel) {
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
    if (cancel != nullptr && cancel->load()) {
      check.path = path;
      check.cancelled = true;
      return check;
    }
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
  // In the order of SongVerdict.
  static const char* const texts[] = {"ok", "damaged", "not MP3", "unreadable"};
  return texts[static_cast<int>(verdict)];
}

const char* VersionText(MpegVersion version) {
  // In the order of MpegVersion.
  static const char* const texts[] = {"MPEG-1", "MPEG-2", "MPEG-2.5"};
  return texts[static_cast<int>(version)];
}

}  // namespace kestrel::songs
