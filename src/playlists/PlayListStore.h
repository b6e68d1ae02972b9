// The store: the one TPlayListObj whose PlayList owns the current play list objects, in row
// order, and the server work that fills it. A front end keeps one store beside its FTP client
// and turns what the store holds into rows: row i of the play list view is PlayList[i], and
// its song rows are that play list's VisibleSongs().
//
// The store tells its listeners before it releases the play list objects (drop every row and
// every pointer into them) and after every listing (refill the rows from the store, select the
// row given). So the views follow the store whoever started the listing.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListClass.h"
#include "playlists/ServerNames.h"

namespace kestrel {

class PlayListStoreListener {
 public:
  virtual ~PlayListStoreListener() = default;
  // The play list objects are about to be released: remove all song and play list rows.
  virtual void PlayListsCleared() = 0;
  // A listing has ended (also a refused one: the rows built so far stay). Refill the play list
  // rows from the store and select `selectRow` with the focus; -1: select nothing.
  virtual void PlayListsListed(int selectRow) = 0;
};

enum class ListOutcome {
  Listed,       // the store holds the server's play lists
  Refused,      // the listing failed too often in this run; the user was told
  Terminating,  // no connection; the user was told and the program is to end
};

struct ListResult {
  ListOutcome outcome = ListOutcome::Listed;
  int selectRow = -1;         // the row to select, -1 for none
  int leftoversRemoved = 0;   // unfinished uploads removed (the zones' play lists changed)
};

class PlayListStore {
 public:
  // Failed listings retried in one run, and the message after that.
  static constexpr int kMaxListingRetries = 5;
  static constexpr const char* kListingRefusedText =
      "Sorry, you are not allowed to change directory.Please check server user rights";
  // Attempts at reading one play list's songs before giving up.
  static constexpr int kLoadSongsAttempts = 3;

  // The play lists that `client` lists; the connection is opened with the settings of
  // `context`, and what the user must hear of goes to its prompts. Both outlive the store.
  PlayListStore(FtpClient& client, AppContext& context);
  ~PlayListStore();
  PlayListStore(const PlayListStore&) = delete;
  PlayListStore& operator=(const PlayListStore&) = delete;

  // The store object itself (the play list chooser lists its PlayList) and its rows.
  const TPlayListObj& Store() const { return store_; }
  int Count() const { return static_cast<int>(store_.PlayList.size()); }
  TPlayListObj* At(int row) const;

  void AddListener(PlayListStoreListener* listener);
  void RemoveListener(PlayListStoreListener* listener);

  // Opens the connection with the settings (EnsureConnected, FtpServerConnect.h) unless it is
  // open; when that fails the user has been told, the program is to end, LastError() says why,
  // and the result is false.
  bool EnsureConnected();

  // Rebuilds the play lists from the server: EnsureConnected; CWD /; ClearPlayLists; the root's
  // listing (FtpClient::ListDir) and one TPlayListObj per directory ("." and ".." excepted)
  // numbered by Seq; then the listing of every play list to number those that hold a file
  // (SeqInVeltra). Where the server lists over the control connection, a play list costs one
  // round trip and the current directory stays the root. The row to select is
  // FindPlayListRow(reselect, 0).
  // Listings go through ReadServerListing: a directory whose name is no entry of the root is no
  // play list, and the user is told once about such names; one whose name holds "\" (and no "/")
  // is listed all the same, only to give it its place in the SeqInVeltra numbering when it holds
  // a file, as the player does. Unfinished uploads (TransferName)
  // whose transfer no longer runs are removed, and the user is told; those of transfers that may
  // still run are left alone, and the user is told too. (Whether the file of another
  // installation's transfer is still written to is asked with MDTM where the listing gives no
  // exact time.) A play list's SeqInVeltra counts every
  // file the player counts, and not what was removed.
  // A failed step counts against the listing retry counter: up to kMaxListingRetries
  // failures in a run are retried at once without a name to reselect; after that the user sees
  // kListingRefusedText followed by the reason (PromptKind::ErrorYes) and the play lists built
  // so far stay. A final failure (FtpError::retryable() false: no answer in time, a listing too
  // large or not understood) is reported at once and does not count.
  // A play list whose name holds a line break cannot be entered; it keeps SeqInVeltra 0.
  ListResult ListPlayLists(const std::string& reselect);

  // Whether ListPlayLists removes unfinished uploads of transfers that no longer run (it does
  // unless told otherwise; then it names them).
  void SetLeftoverRemoval(bool remove) { removeLeftovers_ = remove; }

  // Whether ListPlayLists keeps each play list's listing as its songs (GotSong true), read with
  // sizes and times to the second where the server gives them (FtpClient::ListDirExact, used
  // for the root too, which is then not entered first), so that one listing a play list serves
  // both. Off unless told: the window reads a play list's songs when it is first shown.
  void SetKeepSongs(bool keep) { keepSongs_ = keep; }

  // Tells the listeners, then releases every play list object and empties the store.
  void ClearPlayLists();

  // The row SelectPlayList selects: -1 when there are no rows; row 0 for an empty name and
  // number 0; otherwise the first play list whose Name equals `name` (exact, case-sensitive)
  // or, when `deviceNumber` is not 0, whose SeqInVeltra equals it; -1 when none does.
  int FindPlayListRow(const std::string& name, int deviceNumber) const;

  // Reads the songs of `playList` from the server unless GotSong: reconnects silently with the
  // settings the client holds when the connection is gone, then CWD PlayListDir(Name), its listing
  // (FtpClient::ListDir), and one TSongObj per file, numbered by Seq. A file that is not shown (a
  // name that is no entry of the directory, which the user is told about, or an unfinished
  // upload) still takes its number, as the player counts it. A lost connection or a transient (4xx) reply is tried
  // again, up to kLoadSongsAttempts attempts in all; a reconnection that fails, a permanent
  // refusal or a name that cannot be sent ends at once. When it gives up, the user sees
  // "Can not read the songs of play list "NAME"." with the reason (PromptKind::ErrorOk),
  // SongList is empty, GotSong stays false (the next showing tries again) and it returns false.
  bool LoadSongs(TPlayListObj& playList);

  // Failed play list listings so far (never reset: at most kMaxListingRetries are retried in the
  // store's life).
  int ListingRetryCounter() const { return listingRetryCounter_; }

  // Checked songs that are not Deleted, over every play list the store holds.
  int CheckedSongCount() const;

  // What went wrong in the last failed ListPlayLists or LoadSongs (control characters of the
  // server's text escaped), and whether it was the connection (none, lost or timed out) rather
  // than the server's answer.
  const std::string& LastError() const { return lastError_; }
  bool LastErrorWasConnection() const { return lastErrorWasConnection_; }

 private:
  // A folder of the root that the player numbers: the next play list, or a folder that is no
  // play list (its name holds "\") but may hold a file.
  struct Numbered {
    bool playList;
    std::string folder;  // of a folder that is no play list
  };
  void ListOnce();
  // The listing of `dir`: exact where the songs are kept.
  std::vector<FtpListEntry> ListingOf(const std::string& dir);
  // The play lists of the root's listing, numbered by Seq, into the store.
  void TakePlayLists(std::vector<FtpListEntry> rootEntries);
  // SeqInVeltra of every play list, in the order of `numbered`, as the player gives them.
  void NumberPlayLists(const std::vector<Numbered>& numbered);
  // Reads one play list's listing: the number of the files the player counts in it, less the
  // unfinished uploads removed; its songs when they are kept.
  std::int32_t ReadPlayList(TPlayListObj& playList, std::time_t now);
  // Sorts out the unfinished uploads of `listing` (in `playList`): removes those whose transfer
  // no longer runs (unless told not to) and notes them all. Returns how many were removed.
  std::int32_t SortOutTransfers(const TPlayListObj& playList, const ServerListing& listing, std::time_t now);
  // Whether the listing of `dir` holds a file as the player counts them; false when the server
  // refuses to list it.
  bool HoldsFile(const std::string& dir);
  void TellAboutListing();
  void ReadSongs(TPlayListObj& playList);
  void FillSongs(TPlayListObj& playList, ServerListing& listing);
  void Failed(const std::string& why, bool connection);

  FtpClient& client_;
  AppContext& context_;
  Prompts& prompts_;
  TPlayListObj store_;
  std::vector<PlayListStoreListener*> listeners_;
  std::string lastError_;
  bool lastErrorWasConnection_ = false;
  std::vector<std::string> unusable_;  // of the last listing
  bool removeLeftovers_ = true;
  bool keepSongs_ = false;
  int listingRetryCounter_ = 0;
  struct Leftovers {
    std::vector<std::string> removed, notRemoved, running;  // "PLAYLIST/NAME"
  } leftovers_;
};

}  // namespace kestrel
