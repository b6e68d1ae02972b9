#include "playlists/DeployPlan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/Utf8Path.h"

namespace kestrel {

namespace {

namespace fs = std::filesystem;

bool Hidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

const DeployPlayList* FindList(const std::vector<DeployPlayList>& lists, const std::string& name) {
  for (const DeployPlayList& list : lists)
    if (list.name == name) return &list;
  return nullptr;
}

const DeploySong* FindSong(const DeployPlayList& list, const std::string& name) {
  for (const DeploySong& song : list.songs)
    if (song.name == name) return &song;
  return nullptr;
}

}  // namespace

std::int64_t DeployPlan::UploadBytes() const {
  std::int64_t total = 0;
  for (const Upload& upload : uploads) total += std::max<std::int64_t>(upload.song.size, 0);
  return total;
}

bool ReadDeployFolder(const std::string& folder, std::vector<DeployPlayList>& playLists, std::string& error) {
  std::error_code ec;
  std::map<std::string, DeployPlayList> byName;
  using platform::Utf8FromPath;
  for (fs::directory_iterator it(platform::PathFromUtf8(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8FromPath(it->path().filename());
    if (Hidden(name) || !it->is_directory(ec)) continue;
    DeployPlayList list{name, {}};
    std::map<std::string, DeploySong> songs;
    for (fs::directory_iterator song(it->path(), ec), songEnd; !ec && song != songEnd; song.increment(ec)) {
      const std::string songName = Utf8FromPath(song->path().filename());
      if (Hidden(songName) || !song->is_regular_file(ec)) continue;
      const std::uintmax_t size = song->file_size(ec);
      if (ec) break;
      songs[songName] = DeploySong{songName, static_cast<std::int64_t>(size), Utf8FromPath(song->path())};
    }
    if (ec) {
      error = Utf8FromPath(it->path()) + ": " + ec.message();
      return false;
    }
    for (auto& entry : songs) list.songs.push_back(std::move(entry.second));
    byName[name] = std::move(list);
  }
  if (ec) {
    error = folder + ": " + ec.message();
    return false;
  }
  playLists.clear();
  for (auto& entry : byName) playLists.push_back(std::move(entry.second));
  return true;
}

DeployPlan PlanDeploy(const std::vector<DeployPlayList>& local, const std::vector<DeployPlayList>& player,
                      bool withDeletions) {
  DeployPlan plan;
  for (const DeployPlayList& list : local) {
    const DeployPlayList* there = FindList(player, list.name);
    if (there == nullptr) plan.createPlayLists.push_back(list.name);
    for (const DeploySong& song : list.songs) {
      const DeploySong* theirs = there != nullptr ? FindSong(*there, song.name) : nullptr;
      if (theirs != nullptr && theirs->size >= 0 && theirs->size == song.size) continue;
      plan.uploads.push_back({list.name, song, theirs != nullptr});
    }
    if (!withDeletions || there == nullptr) continue;
    std::vector<std::string> gone;
    for (const DeploySong& song : there->songs)
      if (FindSong(list, song.name) == nullptr) gone.push_back(song.name);
    std::sort(gone.begin(), gone.end());
    for (std::string& name : gone) plan.deleteSongs.push_back({list.name, std::move(name)});
  }
  if (withDeletions)
    for (const DeployPlayList& list : player)
      if (FindList(local, list.name) == nullptr) plan.deletePlayLists.push_back(list.name);
  std::sort(plan.deletePlayLists.begin(), plan.deletePlayLists.end());
  return plan;
}

}  // namespace kestrel
