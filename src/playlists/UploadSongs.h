// Song upload: local files into a play list's directory on the player's FTP server, with the
// replace question, progress for a window, cancel, and one message naming what was not stored.
// Copying songs from one play list into another goes the same way, through a temporary local
// file per song.
//
// How songs reach the server, so that no truncated or mixed song is ever left under a song's
// name, also while other programs upload at the same time. The files of one call go in batches
// of up to kBatchSongs songs (and about kBatchBytes), each batch in the play list's directory
// without leaving it, and never two songs of one name in a batch:
//  1. the names are checked (NewServerNameProblem) and what the server holds under each is
//     noted: from an exact listing of the directory (MLSD, sizes and times to the second) where
//     the server gives one, taken once and kept up to date by the batches (or handed over by the
//     caller, who listed the play list just before), else by SIZE and MDTM of each name;
//  2. the replace question for each name that exists, for the whole batch before its transfers;
//  3. each song's bytes are stored under a temporary name of this transfer alone (TransferName),
//     which has the same length whatever the song's name; the local file must not have changed
//     while it was sent;
//  4. where the server offers MFMT (and has not refused it or failed to keep a time in this
//     run), each temporary file is given the local file's modification time, by which a later
//     deploy knows the song unchanged;
//  5. one look at the directory (the exact listing again, or SIZE of each temporary file with
//     SIZE and MDTM of each name) must show each temporary file with the bytes sent, and under
//     each song's name what step 1 found: when another transfer stored the song meanwhile, this
//     copy is not put in its place, and that is a failure;
//  6. the temporary files are renamed to the songs' names, one at a time, each RNTO only after
//     its RNFR was accepted (a lost line could otherwise pair one song's file with another's
//     name). When replacing, the rename goes over the old song where the server allows that,
//     else the old song is deleted first. Where one more look costs one listing (exact, or by
//     STAT), each name must then show the bytes sent, else that song is a failure.
// Steps 4 and 5 send their commands at once where the server takes that (FtpClient::Pipeline),
// so a batch costs a few round trips besides one PORT and STOR and one RNFR and RNTO a song.
// A transfer that fails or is cancelled removes its temporary file, reconnecting first if the
// connection went with it; when even that is not possible, the removal is tried again as soon as
// the connection is back, and what remains is named in the end message (a later listing of the
// play lists removes it). A cancel ends the running transfer; the songs of the batch already
// sent are still put in place. If the old song was deleted but the rename then fails, the
// temporary file is kept, as it is the only copy left on the player, and the end message says
// so. Nothing on the server that this transfer did not create is ever overwritten or deleted,
// but the songs it was asked to replace.
//
// Runs on whichever thread the caller runs it on; the listener is called on that thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/Prompts.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListClass.h"

namespace kestrel {

// What an upload window needs to follow the loop.
class UploadListener {
 public:
  virtual ~UploadListener() = default;
  // File `index` (from 1) of `count` is next ("i of m").
  virtual void FileStarting(int /*index*/, int /*count*/) {}
  // A real transfer is about to begin: the first one shows the window.
  virtual void TransferStarting() {}
  // The FTP client's progress of the current transfer (reading while a copy fetches a song,
  // writing while a song is stored). `totalBytes` is -1 when not known.
  virtual void ftpWorkBegin(FtpWorkMode /*mode*/, std::int64_t /*totalBytes*/) {}
  virtual void ftpWork(FtpWorkMode /*mode*/, std::int64_t /*bytesSoFar*/) {}
  // The current file is stored under its name: `bytes` of it.
  virtual void FileStored(std::int64_t /*bytes*/) {}
  // File `index` of `count` is done, stored or not.
  virtual void FileDone(int /*index*/, int /*count*/) {}
  // The loop is over; called before the end message, if any, is shown.
  virtual void Finished() {}
};

struct UploadFailure {
  std::string file;    // the song's name
  std::string reason;  // the server's reply or the local error, control characters escaped
};

struct UploadResult {
  bool uploaded = false;   // at least one file was stored
  bool cancelled = false;  // the user stopped the loop
  std::vector<UploadFailure> failures;
  std::vector<std::string> leftovers;  // temporary files that could not be removed
};

class SongUploader {
 public:
  static constexpr std::size_t kBatchSongs = 32;
  static constexpr std::int64_t kBatchBytes = 256LL * 1024 * 1024;

  // What the server holds under a name: its size (-1: no file of that name) and its
  // modification time ("YYYYMMDDHHMMSS" UTC, or as MDTM gave it; empty when not known).
  struct NameState {
    std::int64_t size = -1;
    std::string modified;
    bool operator==(const NameState& o) const { return size == o.size && modified == o.modified; }
  };
  using Listed = std::map<std::string, NameState>;

  // `cancel`, when given, is watched during the loop: once it is set, the running transfer ends
  // (its partial file removed) and the files still to come are skipped.
  SongUploader(FtpClient& client, Prompts& prompts, std::atomic<bool>& playListsChanged,
               UploadListener* listener = nullptr, const std::atomic<bool>* cancel = nullptr);

  // Uploads `paths` in order into `target`. When a file is stored: target.GotSong := false (the
  // caller reads its songs again) and PlayListsChanged := true. Files not stored by a failure
  // are named, with the reason, in one message (PromptKind::ErrorOk) at the end; a file whose
  // replacement the user declined, or the files skipped after a cancel, are no failure.
  // A lost connection is reopened silently with the settings the client holds.
  // `listed`, when given, is what an exact listing (FtpClient::ListDirExact, with times to the
  // second) of the target's directory found just before, every file by name; it saves step 1
  // its own look.
  UploadResult UploadSongs(TPlayListObj& target, const std::vector<std::string>& paths,
                           const Listed* listed = nullptr);

  // Copies `songs` (from their play lists, ParentName) into `target` through temporary local
  // files, which are removed afterwards in every case; otherwise as UploadSongs. Songs already
  // in `target` are skipped.
  UploadResult CopySongs(TPlayListObj& target, const std::vector<const TSongObj*>& songs);

  // One file: CWD into the play list (a failure there throws FtpError), then as above. True when
  // stored; a failure gives false (and no message).
  bool UploadSong(TPlayListObj& target, const std::string& path);

 private:
  struct Source {
    std::string name;       // the server's file name
    std::string localPath;  // where the bytes are read from
    std::function<void()> fetch;  // brings the bytes to localPath first (copying)
  };
  // A file of a batch on its way.
  struct Pending {
    std::size_t index = 0;  // in the sources
    NameState before;
    std::string temp;
    std::int64_t sent = -1;  // bytes stored under `temp`; -1: not stored
    long long modified = -1;  // the local file's modification time (seconds, UTC); -1: not known
    bool settled = false;     // put in place, or its failure told
  };
  UploadResult Run(TPlayListObj& target, const std::vector<Source>& sources, const Listed* listed,
                   bool endMessage = true);
  // One batch, sources [first, end). False when the loop is to end after it.
  bool RunBatch(const TPlayListObj& target, const std::vector<Source>& sources, std::size_t first,
                std::size_t end);
  std::size_t BatchEnd(const std::vector<Source>& sources, std::size_t first) const;
  // What the server holds under `names` (step 1).
  Listed StatesOf(const std::string& dir, const std::vector<std::string>& names);
  void Relist(const std::string& dir);
  NameState Listing(const std::string& name) const;
  // Step 3 for one file; false when it was not stored (the failure is noted).
  bool Send(const TPlayListObj& target, const Source& source, Pending& p);
  // Steps 4 to 6 for the files of `pending` that were stored.
  void PutBatchInPlace(const TPlayListObj& target, const std::vector<Source>& sources,
                       std::vector<Pending>& pending);
  // Drops from `renamed` what a look after the renames does not show as sent (a failure then);
  // notes a server that did not keep the times of `stamped`.
  void CheckRenamed(const std::string& dir, const std::vector<Source>& sources, std::vector<Pending*>& renamed,
                    const std::vector<Pending*>& stamped);
  void PutInPlace(const std::string& temp, const std::string& name, bool replacing, bool& oldDeleted);
  void Stored(std::int64_t bytes);
  // Removes this transfer's temporary file `temp` after a failure; false when that was not
  // possible now (it is then tried again by RemoveLeftovers).
  bool RemoveTransferFile(const TPlayListObj& target, const std::string& temp);
  // Tries again to remove the temporary files not removed yet; the connection is open and in
  // the target's directory.
  void RemoveLeftovers();
  void ReconnectIfLost();
  void Fail(const std::string& file, const std::string& reason);

  FtpClient& client_;
  Prompts& prompts_;
  std::atomic<bool>& playListsChanged_;
  UploadListener* listener_;
  const std::atomic<bool>* cancel_;
  UploadResult* result_ = nullptr;
  std::vector<std::string> leftovers_;  // temporary files of this loop not removed yet
  Listed listing_;                      // the target's exact listing, kept up to date
  bool haveListing_ = false;
};

// The server's name for a local file: the file name without its folders.
std::string ServerFileName(const std::string& localPath);

// The average speed of a transfer: `bytes` in `seconds`, in kilobytes of 1024 bytes per second
// with two decimals, `decimalPoint` between them, then " KB/s". Empty while no time has elapsed.
std::string SpeedText(std::int64_t bytes, double seconds, const std::string& decimalPoint = ".");

// The end message naming each file not stored and why, and the temporary files left behind.
std::string NotStoredText(const std::vector<UploadFailure>& failures,
                          const std::vector<std::string>& leftovers = {});

}  // namespace kestrel
