#include "playlists/DeployPlan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/FileTime.h"
#include "core/TextEscape.h"
#include "platform/Utf8Path.h"
#include "playlists/FtpListParser.h"
#include "playlists/FtpReply.h"
#include "playlists/ServerNames.h"

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

// "YYYY-MM-DD HH:MM:SS" of a time "YYYYMMDDHHMMSS".
std::string StampText(const std::string& stamp) {
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" +
         stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

// Why the player's copy `theirs` may differ from `song`; nullptr when it is the same.
const char* Difference(const DeploySong& song, const DeploySong* theirs, const DeployComparison& comparison) {
  if (theirs == nullptr) return "new";
  if (theirs->size < 0 || theirs->size != song.size) return "size";
  if (!comparison.times) return nullptr;
  long long mine = 0, its = 0;
  if (!ParseUtcStamp(song.modified, mine) || !ParseUtcStamp(theirs->modified, its)) return "time";
  if (mine == its) return nullptr;
  const bool rounded = comparison.twoSecondTimes && mine % 2 != 0 && (mine - its == 1 || its - mine == 1);
  return rounded ? nullptr : "time";
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
      DeploySong found{songName, static_cast<std::int64_t>(size), platform::Utf8FromPath(song->path()), {}};
      platform::FileStamp stamp;
      if (platform::ReadFileStamp(found.path, stamp)) found.modified = UtcStamp(stamp.modified);
      songs[songName] = std::move(found);
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

bool ReadsTimes(const DeployServerOffer& offer) { return offer.setsTimes && (offer.exactListing || offer.mdtm); }

std::string TimesProblem(const std::vector<DeployPlayList>& local, const std::vector<DeployPlayList>& player,
                         long long now, std::optional<DeployTimeTrial>& trial) {
  constexpr long long k1980 = 315532800;
  trial.reset();
  std::optional<DeployTimeTrial> first;
  int kept = 0, differing = 0;  // same-size songs that show the folder's time, and those that do not
  for (const DeployPlayList& list : player) {
    const DeployPlayList* mine = FindList(local, list.name);
    if (mine == nullptr || !IsSendableName(list.name)) continue;
    for (const DeploySong& song : list.songs) {
      const DeploySong* m = FindSong(*mine, song.name);
      long long theirs = 0, ours = 0;
      if (m == nullptr || m->size != song.size || !ParseUtcStamp(m->modified, ours)) continue;
      const std::string shown = QuotedName(list.name + "/" + song.name);
      if (!ParseUtcStamp(song.modified, theirs)) return "it gives no modification time for " + shown;
      if (theirs == ours) {
        ++kept;
        continue;
      }
      if (theirs < k1980 || theirs > now + 24 * 3600)
        return "it dates " + shown + " " + StampText(song.modified) + " UTC, which cannot be right";
      if (theirs - ours > 1 || ours - theirs > 1) {
        ++differing;
        if (!first && IsSendableName(song.name)) first = DeployTimeTrial{list.name, song.name, theirs, ours};
      } else {
        ++kept;
      }
    }
  }
  // Most songs showing the times deploys gave them is what a player that keeps times shows.
  if (kept <= differing) trial = first;
  return {};
}

DeployComparison ChooseComparison(const DeployServerOffer& offer, const std::string& timesProblem,
                                  const std::vector<DeployPlayList>& player, bool withDeletions, bool readBack) {
  DeployComparison comparison;
  comparison.withDeletions = withDeletions;
  comparison.times = ReadsTimes(offer) && timesProblem.empty();
  if (!comparison.times) {
    comparison.noTimes = ReadsTimes(offer) ? timesProblem : offer.mfmt ? offer.timesNotKept : std::string();
    if (comparison.noTimes.empty()) comparison.noTimes = "its server offers no MFMT, or neither MDTM nor MLSD";
  }
  // A player that shows no song at an odd second keeps times to two seconds.
  int timed = 0, odd = 0;
  for (const DeployPlayList& list : player)
    for (const DeploySong& song : list.songs)
      if (long long t = 0; ParseUtcStamp(song.modified, t)) {
        ++timed;
        odd += t % 2 != 0 ? 1 : 0;
      }
  comparison.twoSecondTimes = timed > 0 && odd == 0;
  comparison.described = comparison.times ? "size and time" : "size";
  if (readBack) comparison.described += " and bytes";
  return comparison;
}

DeployPlan PlanDeploy(const std::vector<DeployPlayList>& local, const std::vector<DeployPlayList>& player,
                      const DeployComparison& comparison) {
  const bool withDeletions = comparison.withDeletions;
  DeployPlan plan;
  for (const DeployPlayList& list : local) {
    const DeployPlayList* there = FindList(player, list.name);
    if (std::string problem = NewServerNameProblem(list.name); !problem.empty()) {
      plan.refused.push_back({list.name, {}, std::move(problem)});
      continue;
    }
    if (there == nullptr) plan.createPlayLists.push_back(list.name);
    int same = 0;
    for (const DeploySong& song : list.songs) {
      if (std::string problem = NewServerNameProblem(song.name); !problem.empty()) {
        plan.refused.push_back({list.name, song.name, std::move(problem)});
        continue;
      }
      const DeploySong* theirs = there != nullptr ? FindSong(*there, song.name) : nullptr;
      const char* reason = Difference(song, theirs, comparison);
      if (reason == nullptr && comparison.contentDiffers && comparison.contentDiffers(list.name, song))
        reason = "content";
      if (reason == nullptr) {
        ++same;
        continue;
      }
      plan.uploads.push_back({list.name, song, theirs != nullptr, reason});
    }
    if (there != nullptr) plan.unchanged.push_back({list.name, same});
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
