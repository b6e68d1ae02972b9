// A play list and a song as the program holds them.
//
// On the player's FTP server every directory directly under "/" is a play list (its name is the
// directory name) and every file directly inside one is a song (its name is the file name).
// Order is the server's listing order; nothing is sorted.
//
// Numbers, which are also the numbers the zones use on the bus:
//  - a play list's Seq: 1, 2, 3 ... in the listing order of "/";
//  - a play list's SeqInVeltra: 1, 2, 3 ... in the same order, counting only play lists that
//    hold at least one file; 0 for a play list without a file;
//  - a song's Seq: 1, 2, 3 ... in the listing order of its play list, counting files only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/LocaleTime.h"

namespace kestrel {

class TSongObj {
 public:
  std::int32_t Seq = 0;
  std::string Name;
  std::string DateTime;              // modification time in the user's locale (short date, long time)
  bool Selected = false;             // nothing in the program changes it
  bool Checked = false;              // the user's check mark on the song's row
  bool Deleting = false;             // the file was deleted on the server in the current operation
  bool Deleted = false;              // gone: no longer shown, counted or renumbered
  std::string ParentName;            // the play list that holds the file
  platform::CalendarTime ModTime;    // the modification time the listing gave, as numbers
  std::int64_t Size = -1;            // bytes, as the listing gave them; -1 when it gave none
  std::string ModTimeUtc;            // "YYYYMMDDHHMMSS" UTC where the listing gave it to the second
};

class TPlayListObj {
 public:
  std::int32_t Seq = 0;
  std::string Name;
  bool GotSong = false;              // SongList holds the songs read from the server
  std::int32_t SeqInVeltra = 0;      // device play list number; 0: none
  std::vector<std::unique_ptr<TSongObj>> SongList;      // in listing order, owned
  std::vector<std::unique_ptr<TPlayListObj>> PlayList;  // the store's play lists, owned
  // Names in the play list's listing that are never sent back (see ServerNames.h), which the user
  // has not been told of yet.
  std::vector<std::string> UnusableNames;

  TPlayListObj() = default;
  TPlayListObj(const TPlayListObj&) = delete;
  TPlayListObj& operator=(const TPlayListObj&) = delete;

  // Releases every song object and empties SongList.
  void ClearSongs() { SongList.clear(); }
  // The songs to show, in order: every song not Deleted.
  std::vector<TSongObj*> VisibleSongs() const;
  // Checked songs that are not Deleted.
  int CheckedSongCount() const;
};

// Row lookups over a list of songs as shown (VisibleSongs): the index of the first song with
// that name (exact, case-sensitive) or that Seq; -1 when there is none or the name is empty.
int FindSongRowByName(const std::vector<TSongObj*>& rows, const std::string& name);
int FindSongRowBySeq(const std::vector<TSongObj*>& rows, std::int32_t seq);

// What a play list's songs are, to tell whether they changed: each song's number, name, size,
// times and whether it is gone.
std::string SongsStamp(const TPlayListObj& playList);
// Takes the songs of `read` (its songs read again from the server) into `target` when they differ
// from those `target` holds and those are still `before` (SongsStamp of `target` when the reading
// began: nothing changed them meanwhile). The check marks go over by name. True when taken.
bool TakeSongsReadAgain(TPlayListObj& target, TPlayListObj& read, const std::string& before);

// Where play lists and songs lie on the server, the one way every part of the program names
// them: the play list root, under which every directory is a play list; the directory of the
// play list `playList` (the root followed by its name); and the file of its song `song`.
inline constexpr const char* kPlayListRoot = "/";
std::string PlayListDir(const std::string& playList);
std::string SongPath(const std::string& playList, const std::string& song);

}  // namespace kestrel
