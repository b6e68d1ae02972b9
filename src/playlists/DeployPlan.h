// Deploying a music folder to a player: what must change on the player's FTP server so that its
// play lists match a local folder whose sub-folders are play lists and whose files in them are
// songs. The plan is worked out first (and can be shown or stopped there); carrying it out is
// left to the caller, with the same operations the window uses.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

struct DeploySong {
  std::string name;
  std::int64_t size = -1;  // bytes; -1 when not known
  std::string path;        // local songs only: where the file is
  std::string modified;    // "YYYYMMDDHHMMSS" UTC (to the second); empty when not known
};

struct DeployPlayList {
  std::string name;
  std::vector<DeploySong> songs;
};

// The play lists of `folder`: every sub-folder (sorted by name), with every regular file in it
// (sorted by name) as a song, with its size and modification time. Hidden entries (names
// starting with ".") and anything deeper are left out. False with `error` set when the folder
// cannot be read.
bool ReadDeployFolder(const std::string& folder, std::vector<DeployPlayList>& playLists, std::string& error);

struct DeployPlan {
  struct Upload {
    std::string playList;
    DeploySong song;
    bool replaces = false;  // the player holds a song of that name
    std::string reason;     // "new", "size", "time" or "content" (see PlanDeploy)
  };
  struct Unchanged {
    std::string playList;
    int songs = 0;
  };
  struct Removal {
    std::string playList;
    std::string song;
  };
  struct Refusal {
    std::string playList;
    std::string song;    // empty: the play list itself
    std::string reason;  // NewServerNameProblem
  };
  std::vector<std::string> createPlayLists;  // in the folder's order
  std::vector<Upload> uploads;               // play list by play list, in the folder's order
  std::vector<Removal> deleteSongs;          // only with deletions asked for; by name in each list
  std::vector<std::string> deletePlayLists;  // only with deletions asked for; by name
  std::vector<Refusal> refused;              // local names the server cannot be given
  std::vector<Unchanged> unchanged;          // per play list of the folder on the player: songs
                                             // judged the same, in the folder's order

  bool Empty() const {
    return createPlayLists.empty() && uploads.empty() && deleteSongs.empty() && deletePlayLists.empty();
  }
  std::int64_t UploadBytes() const;
};

// What the player's server offers for telling a changed song from an unchanged one.
struct DeployServerOffer {
  bool mfmt = false;          // it sets a file's modification time (MFMT)
  bool setsTimes = false;     // it offers MFMT and has kept the times set so far in this run
  bool exactListing = false;  // its listing gives times to the second (MLSD)
  bool mdtm = false;          // it gives a file's time (MDTM)
  std::string timesNotKept;   // why it does not keep the times set, when that is known
};

// Whether the times of the player's songs are to be read and looked at (TimesProblem): the
// server keeps the times uploads give the songs, and tells them.
bool ReadsTimes(const DeployServerOffer& offer);

// A song of the player whose time differs from the folder's: whether the player keeps a time
// MFMT sets is tried on it. Times are seconds since 1970, UTC.
struct DeployTimeTrial {
  std::string playList;
  std::string song;
  long long listed = 0;  // its time on the player
  long long local = 0;   // the folder's time of it
};

// Why the player's times cannot tell which songs changed; empty when they can, as far as the
// listing shows. Looked at are the songs the folder has with the same size (only there a time
// decides): each must have a time, one that can be right (from 1980 to a day after `now`) unless
// it is the folder's. When they all look right and no more of them show the folder's time (to a
// second) than do not, `trial` is the first of them whose time differs from the folder's by more
// than a second (and whose names can be sent): the times are to be trusted only when the player
// keeps a time set on it. Where most show the folder's times, the player has kept them.
std::string TimesProblem(const std::vector<DeployPlayList>& local, const std::vector<DeployPlayList>& player,
                         long long now, std::optional<DeployTimeTrial>& trial);

struct DeployComparison {
  bool withDeletions = false;
  // Compare modification times too (the player keeps the times a deploy gives its songs): a
  // song whose times differ is sent.
  bool times = false;
  // The player keeps times to two seconds (as FAT disks do: every song's time is an even
  // second): a local time of an odd second then matches the even seconds on either side.
  bool twoSecondTimes = false;
  // When given, asked about every song judged the same by size (and time): true when its
  // content differs (the player's copy read back).
  std::function<bool(const std::string& playList, const DeploySong& local)> contentDiffers;
  // What songs are compared by, for the reader: "size and time" or "size", then " and bytes"
  // when they are read back.
  std::string described;
  // Why times are not compared; empty when they are.
  std::string noTimes;
};

// The comparison a deploy makes with a server offering `offer`: times compared where the server
// keeps and tells them (ReadsTimes) and `timesProblem` (TimesProblem, or what the trial on the
// server found) is empty; two-second times where the player shows times and none of them at an
// odd second; bytes read back with `readBack` (contentDiffers is the caller's to set).
DeployComparison ChooseComparison(const DeployServerOffer& offer, const std::string& timesProblem,
                                  const std::vector<DeployPlayList>& player, bool withDeletions, bool readBack);

// What makes `player` match `local`: missing play lists created; songs sent when they are
// missing on the player ("new"), of another size or of a size the listing does not give
// ("size"), of another modification time when times are compared ("time"), or found different
// by contentDiffers ("content"); with deletions, songs and play lists the folder does not have
// deleted (songs of a play list that is deleted as a whole are not listed one by one). Names are
// compared exactly.
// A local folder or file whose name cannot be given to the server (NewServerNameProblem) is
// refused: nothing is created or uploaded for it, and what the player holds under that very name
// is not deleted either.
DeployPlan PlanDeploy(const std::vector<DeployPlayList>& local, const std::vector<DeployPlayList>& player,
                      const DeployComparison& comparison);

}  // namespace kestrel
