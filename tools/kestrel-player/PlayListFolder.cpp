#include "PlayListFolder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Utf8Path.h"

namespace fs = std::filesystem;

namespace kestrel::player {

namespace {

// Names of the entries of `dir` whose own kind (links not followed) passes `keep`, in byte
// order.
template <typename Keep>
std::vector<fs::directory_entry> SortedEntries(const fs::path& dir, Keep keep, std::error_code& ec) {
  std::vector<fs::directory_entry> out;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kindError;
    const fs::file_status st = it->symlink_status(kindError);
    if (!kindError && keep(st)) out.push_back(*it);
  }
  std::sort(out.begin(), out.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return platform::Utf8FromPath(a.path().filename()) < platform::Utf8FromPath(b.path().filename());
  });
  return out;
}

}  // namespace

std::int64_t SongDurationMs(std::uintmax_t fileSize) {
  // 128 kbit/s is 16,000 bytes a second: one byte lasts 1/16 ms.
  return std::max<std::int64_t>(1000, static_cast<std::int64_t>(fileSize / 16));
}

bool PlayListFolder::Rescan(std::string* error) {
  std::error_code ec;
  const auto dirs = SortedEntries(platform::PathFromUtf8(root_), [](const fs::file_status& s) { return fs::is_directory(s); }, ec);
  if (ec) {
    if (error != nullptr) *error = root_ + ": " + ec.message();
    return false;
  }
  std::vector<PlayListDir> lists;
  int deviceNumber = 0;
  int rows = 0;
  for (const auto& d : dirs) {
    PlayListDir list;
    list.name = platform::Utf8FromPath(d.path().filename());
    // A name holding "\" is no entry the program sends back, so it shows no row for it; the
    // player numbers the folder all the same.
    if (list.name.find('\\') == std::string::npos) list.seq = ++rows;
    const auto files = SortedEntries(d.path(), [](const fs::file_status& s) { return fs::is_regular_file(s); }, ec);
    if (ec) {
      if (error != nullptr) *error = platform::Utf8FromPath(d.path()) + ": " + ec.message();
      return false;
    }
    for (const auto& f : files) {
      std::error_code sizeError;
      const auto size = f.file_size(sizeError);
      list.songs.push_back({platform::Utf8FromPath(f.path().filename()), sizeError ? 0 : size});
    }
    if (!list.songs.empty()) list.seqInVeltra = ++deviceNumber;
    lists.push_back(std::move(list));
  }
  lists_ = std::move(lists);
  return true;
}

const PlayListDir* PlayListFolder::ByDeviceNumber(int seqInVeltra) const {
  if (seqInVeltra <= 0) return nullptr;
  for (const auto& l : lists_)
    if (l.seqInVeltra == seqInVeltra) return &l;
  return nullptr;
}

const PlayListDir* PlayListFolder::ByName(const std::string& name) const {
  for (const auto& l : lists_)
    if (l.name == name) return &l;
  return nullptr;
}

int PlayListFolder::DeviceListCount() const {
  int count = 0;
  for (const auto& l : lists_) count += l.seqInVeltra > 0 ? 1 : 0;
  return count;
}

void PlayListFolder::PrintNumbering(std::ostream& out) const {
  for (const auto& l : lists_) out << "list\t" << l.seq << '\t' << l.seqInVeltra << '\t' << l.name << '\n';
  for (const auto& l : lists_)
    for (std::size_t i = 0; i < l.songs.size(); ++i)
      out << "song\t" << l.seqInVeltra << '\t' << i + 1 << '\t' << l.songs[i].name << '\n';
}

}  // namespace kestrel::player
