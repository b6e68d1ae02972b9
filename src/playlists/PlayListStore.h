// The store: the one TPlayListObj whose PlayList owns the current play list objects, in row
// order, and the server work that fills it. A front end keeps one store beside its FTP client
// and turns what the store holds into rows: row i of the play list view is PlayList[i], and
// its song rows are that play list's VisibleSongs().
//
// The store tells its listeners before it releases the play list objects (drop every row and
// every pointer into them), when a listing has read the root (the play list rows can be shown),
// as the play lists' own listings come in (device numbers and songs), and after every listing
// (refill the rows from the store, select the row given). So the views follow the store whoever
// started the listing.
//
// Threads: a listing may run on a thread of its own while a window shows the store. The play
// list objects are then changed, and the listeners told, only through the owner call
// (SetOwnerCall), which runs the change on the thread that shows them and waits for it; the
// listing thread itself only reads them in between. Without an owner call everything happens
// on the listing's thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListClass.h"
#include "playlists/PlayerReader.h"
#include "playlists/ServerNames.h"

namespace kestrel {

class PlayListStoreListener {
 public:
  virtual ~PlayListStoreListener() = default;
  // The play list objects are about to be released: remove all song and play list rows.
  virtual void PlayListsCleared() = 0;
  // A listing has read the root: the store holds its play lists (Seq and Name), whose device
  // numbers and songs follow. Fill the play list rows and select `selectRow` with the focus (-1:
  // nothing). When the way to list, decided afterwards, shows the root otherwise, the store is
  // cleared and told this again.
  virtual void PlayListsFound(int /*selectRow*/) {}
  // The play lists of rows [first, first + count) have been read: their SeqInVeltra is set (so
  // are those of all rows before), and their songs are there (GotSong).
  virtual void PlayListsRead(int /*first*/, int /*count*/) {}
  // A listing has ended (also a refused one: the rows built so far stay). Refill the play list
  // rows from the store unless they are those PlayListsFound showed, and select `selectRow`
  // with the focus; -1: select nothing.
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

  // Rebuilds the play lists from the server: EnsureConnected; ClearPlayLists; the root's
  // listing (PlayerReader::ReadRoot), and one TPlayListObj per directory ("." and ".."
  // excepted) numbered by Seq (listeners: PlayListsFound); "CWD /" and what else must be settled
  // (PlayerReader::Settle); then the listing of every play list, in flight together
  // (PlayerReader::ReadFolders), to number those that hold a file (SeqInVeltra) and to keep its
  // songs (GotSong; listeners: PlayListsRead as they come). Where the server lists over the
  // control connection, the first rows come a round trip after the login, and a few hundred
  // play lists take a few round trips. The row to select is FindPlayListRow(reselect, 0).
  // Listings go through ReadServerListing: a directory whose name is no entry of the root is no
  // play list, and the user is told once about such names; one whose name holds "\" (and no "/")
  // is listed all the same, only to give it its place in the SeqInVeltra numbering when it holds
  // a file, as the player does. Unfinished uploads (TransferName)
  // whose transfer no longer runs are removed, and the user is told; those of transfers that may
  // still run are left alone, and the user is told too. (Whether the file of another
  // installation's transfer is still written to is asked with MDTM where the listing gives no
  // exact time.) A play list's SeqInVeltra counts every file the player counts, and not what
  // was removed; its songs leave out the names that are never sent back, which LoadSongs tells.
  // A failed step counts against the listing retry counter: up to kMaxListingRetries
  // failures in a run are retried at once without a name to reselect; after that the user sees
  // kListingRefusedText followed by the reason (PromptKind::ErrorYes) and the play lists built
  // so far stay. A final failure (FtpError::retryable() false: no answer in time, a listing too
  // large or not understood) is reported at once and does not count. A play list the server
  // refuses to list fails the listing; a folder with "\" that it refuses to list holds nothing.
  // A play list whose name holds a line break cannot be entered; it keeps SeqInVeltra 0 and has
  // no songs. When the owner call can no longer run (the window is closing), the listing ends
  // quietly as Refused.
  ListResult ListPlayLists(const std::string& reselect);

  // Whether ListPlayLists removes unfinished uploads of transfers that no longer run (it does
  // unless told otherwise; then it names them).
  void SetLeftoverRemoval(bool remove) { removeLeftovers_ = remove; }

  // Whether ListPlayLists reads the play lists with sizes and times to the second where the
  // server gives them (PlayerReader's exact listings, a data connection each), so that the songs
  // it keeps serve a comparison of times. Off unless told: the songs are kept as listed.
  // `pool`, when given, gives (once the store's connection is logged in) a pool made on it,
  // whose connections then read the play lists at once; the root stays on the store's own.
  void SetKeepSongs(bool exactTimes, std::function<FtpConnectionPool*()> pool = {}) {
    exact_ = exactTimes;
    pool_ = std::move(pool);
  }

  // Where the play list objects are changed and the listeners told (see the top): `call` runs
  // the change there and waits for it, and returns false when it could not run it (nor will).
  // Empty: at once, on the listing's thread.
  using OwnerCall = std::function<bool(const std::function<void()>& change)>;
  void SetOwnerCall(OwnerCall call) { ownerCall_ = std::move(call); }

  // Tells the listeners, then releases every play list object and empties the store.
  void ClearPlayLists();

  // The row SelectPlayList selects: -1 when there are no rows; row 0 for an empty name and
  // number 0; otherwise the first play list whose Name equals `name` (exact, case-sensitive)
  // or, when `deviceNumber` is not 0, whose SeqInVeltra equals it; -1 when none does.
  int FindPlayListRow(const std::string& name, int deviceNumber) const;

  // Reads the songs of `playList` from the server unless GotSong: reconnects silently with the
  // settings the client holds when the connection is gone, then CWD PlayListDir(Name), its listing
  // (FtpClient::ListDir), and one TSongObj per file, numbered by Seq. A file that is not shown (a
  // name that is no entry of the directory, or an unfinished upload) still takes its number, as
  // the player counts it. Names that are no entry of the directory are told to the user, once,
  // also when the songs were read by a listing of the play lists (then nothing is sent). A lost
  // connection or a transient (4xx) reply is tried
  // again, up to kLoadSongsAttempts attempts in all; a reconnection that fails, a permanent
  // refusal or a name that cannot be sent ends at once. When it gives up, the user sees
  // "Can not read the songs of play list "NAME"." with the reason (PromptKind::ErrorOk),
  // SongList is empty, GotSong stays false (the next showing tries again) and it returns false.
  bool LoadSongs(TPlayListObj& playList);
  // Reads the songs of `copy` (a play list of this name) again, to see whether they changed:
  // once, without a word to the user (the names never sent back were told when the songs were
  // first read). On failure it returns false and GotSong stays false.
  bool ReadSongsAgain(TPlayListObj& copy);
  // Tells the user of the names in `playList`'s listing that are never sent back, unless told
  // already. Sends nothing.
  void TellUnusableSongNames(TPlayListObj& playList);

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
  // A folder of the root that the player numbers: a play list (its row), or a folder that is no
  // play list (its name holds "\") but may hold a file.
  struct Numbered {
    int row;  // -1: no play list
    std::string folder;
  };
  // A play list's number and songs, read, to go into the store.
  struct Arrived {
    int row;
    std::int32_t number;
    std::vector<std::unique_ptr<TSongObj>> songs;
    std::vector<std::string> unusable;
  };
  // Thrown when the owner call can no longer run.
  struct OwnerGone {};

  // Runs `change` through the owner call; throws OwnerGone when it cannot.
  void Apply(const std::function<void()>& change);
  void ListOnce(const std::string& reselect);
  // The play lists of the root's listing, numbered by Seq, into the store; the listeners are
  // told. Returns the folders the player numbers.
  std::vector<Numbered> TakeRoot(std::vector<FtpListEntry> rootEntries, const std::string& reselect);
  // Reads the listings of the `numbered` folders, and gives the play lists their SeqInVeltra
  // and songs, as the player numbers them, a batch at a time.
  void ReadPlayLists(const std::vector<Numbered>& numbered, PlayerReader& reader);
  // What one batch of listings gave, from the folder `next` of `numbered` up to `last`; `listings`
  // holds those of the sendable folders among them in order, `counter` is the next SeqInVeltra.
  // It stops at a play list the server refused to list, with that refusal in `failure`.
  std::vector<Arrived> Number(const std::vector<Numbered>& numbered, std::size_t& next, std::size_t last,
                              std::vector<FtpDirListing*>& listings, std::int32_t& counter, std::time_t now,
                              std::optional<FtpError>& failure);
  // Puts what arrived into the store and tells the listeners.
  void Take(std::vector<Arrived>& arrived);
  // Sorts out the unfinished uploads of `listing` (in `playList`): removes those whose transfer
  // no longer runs (unless told not to) and notes them all. Returns how many were removed.
  std::int32_t SortOutTransfers(const std::string& playList, const ServerListing& listing, std::time_t now);
  void TellAboutListing();
  void ReadSongs(TPlayListObj& playList);
  // The songs of the listing of `playList`.
  static std::vector<std::unique_ptr<TSongObj>> SongsOf(const std::string& playList, ServerListing& listing);
  void Failed(const std::string& why, bool connection);

  FtpClient& client_;
  AppContext& context_;
  Prompts& prompts_;
  TPlayListObj store_;
  std::vector<PlayListStoreListener*> listeners_;
  std::string lastError_;
  bool lastErrorWasConnection_ = false;
  std::vector<std::string> unusable_;  // of the root's last listing
  bool removeLeftovers_ = true;
  bool exact_ = false;
  std::function<FtpConnectionPool*()> pool_;  // for the exact listings of the play lists
  OwnerCall ownerCall_;
  int listingRetryCounter_ = 0;
  struct Leftovers {
    std::vector<std::string> removed, notRemoved, running;  // "PLAYLIST/NAME"
  } leftovers_;
};

}  // namespace kestrel
