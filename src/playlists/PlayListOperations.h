// What the user does to play lists and songs on the player's FTP server: add, rename and delete
// a play list, delete songs, move songs into another play list. Every operation works on the
// server at once; afterwards the front end lists the play lists again where the server changed.
//
// Questions and messages go through the prompts given. An operation's result says whether the
// songs the zones play from may have changed by it; the front end that keeps PlayListsChanged
// raises the flag from that (the next playback command then has the zones reload). When the server has closed the connection (an idle time-out), every operation opens
// it again silently with the settings the client holds, and tells the user only when that fails
// (then it does nothing). Names of a listing go through ReadServerListing: a name that is no
// entry of its directory is never sent back. One thread at a time, like the FTP client.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/Prompts.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListClass.h"

namespace kestrel {

// The name proposed for a new play list.
inline constexpr const char* kNewPlayListBase = "New Play List";

// The first of base, base + "1", base + "2" ... that equals none of `names` (exact comparison).
std::string NextFreePlayListName(const std::string& base, const std::vector<std::string>& names);

// False for a name that cannot be a new play list (NewServerNameProblem): one holding "/" or "\"
// (a nested path, or a name the server's file system refuses), CR/LF (a second command), or
// not valid UTF-8.
bool IsPlainPlayListName(const std::string& name);

// The question asked before a song replaces a file of the same name: `"NAME" exists. Replace it?`
std::string ReplaceQuestion(const std::string& name);

enum class DeleteOutcome {
  NotDone,  // not connected, not confirmed, or it failed before anything was removed
  Deleted,  // the directory and everything in it are gone
  Partial,  // it stopped half way; what was removed stays removed; the user was told
};

// What DeletePlayList did, and whether the zones' play lists may have changed by it.
struct DeleteResult {
  DeleteOutcome outcome = DeleteOutcome::NotDone;
  bool playListsChanged = false;
};

class PlayListOperations {
 public:
  static constexpr const char* kDeletePlayListQuestion = "Delete selected play list?";
  static constexpr const char* kEmptyNameText = "Play List name can not be null";
  static constexpr const char* kRenameFailedText =
      "Can not modify play list name.Be sure you have the rights.";

  PlayListOperations(FtpClient& ftp, Prompts& prompts) : ftp_(ftp), prompts_(prompts) {}

  FtpClient& Ftp() { return ftp_; }
  bool Connected() { return ftp_.Connected(); }
  // True when connected; otherwise connects with the settings the client holds. When that fails
  // the user sees the connection failure message with the reason, and false.
  bool Reconnect();

  // CWD / and MKD Name. False for an empty name or without a connection (silently), and when
  // the server refuses (the user is told why, with the server's reply).
  bool CreateOnServer(const TPlayListObj& playList);

  // RNFR oldName, RNTO newName below the root, then playList.Name = newName. True when renamed:
  // the zones' play lists have then changed. An empty newName or a refused rename is told to the
  // user; false then.
  bool RenamePlayList(TPlayListObj& playList, const std::string& newName);

  // Asks kDeletePlayListQuestion, empties the directory (EmptyDirectory) and removes it. A
  // failure stops at once and is told with the server's reply; nothing is retried. The zones'
  // play lists may have changed when the play list held songs (read or deleted).
  DeleteResult DeletePlayList(TPlayListObj& playList);

  // Deletes everything inside "/" + path: files by DELE, sub-folders by emptying them the same
  // way and RMD; links, and names that are no entry of the directory, are left alone (DeletePlayList
  // tells the user about the latter). Each level works through its own listing. Throws FtpError
  // at the first failure; `removed` counts the DELEs and RMDs that succeeded.
  void EmptyDirectory(const std::string& path, int& removed);

  // Deletes the song's file (asking `Delete "NAME" ?` first when confirm is on) and marks the
  // song Deleting. Any failure: false, the song stays as it was.
  bool DeleteSong(const TPlayListObj& playList, TSongObj& song, bool confirm);

  // Deleting songs become Deleted; the songs after them are renumbered as a fresh listing would.
  static void CommitDeletions(TPlayListObj& playList);

  // Deletes every checked song of `rows` (top to bottom, one question each); when any went,
  // commits the deletions. Returns how many were deleted: more than none, and the zones' play
  // lists have changed. When the connection cannot be opened again, it stops there.
  int DeleteCheckedSongs(TPlayListObj& playList, const std::vector<TSongObj*>& rows);

  // Moves each song into "/" + target by one server-side rename, asking
  // `"NAME" exists. Replace it?` when the target holds a file of that name. A song already in
  // the target is skipped; a failure with one song goes on with the next. The first CWD into
  // the target is not absorbed (FtpError). True when at least one song moved (the zones' play
  // lists have then changed). The song objects are left as they are: callers list the play lists again.
  bool MoveSongs(const std::string& target, const std::vector<TSongObj*>& songs);

  // Why the last DeleteSong that failed on the server failed: its reply or the network's word.
  const std::string& LastError() const { return lastError_; }

 private:
  FtpClient& ftp_;
  Prompts& prompts_;
  std::string lastError_;
  bool unreachable_ = false;  // DeleteSong could not connect
  std::vector<std::pair<std::string, std::vector<std::string>>> skipped_;  // by EmptyDirectory
};

}  // namespace kestrel
