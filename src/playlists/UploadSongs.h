// Song upload: local files into a play list's directory on the player's FTP server, with the
// replace question, progress for a window, cancel, and one message naming what was not stored.
// Copying songs from one play list into another goes the same way, through a temporary local
// file per song.
//
// How songs reach the server, so that no truncated or mixed song is ever left under a song's
// name, also while other programs upload at the same time. The files of one call go in batches
// of up to kBatchSongs songs (and about kBatchBytes), each batch in the play list's directory
// without leaving it, and never two songs of one name in a batch. A batch goes in these steps,
// each a function of SongUploader over the run's state (UploadRun.h):
//  1. look: the names are checked (NewServerNameProblem) and what the server holds under each
//     is noted: from an exact listing of the directory (MLSD, sizes and times to the second)
//     where the server gives one, taken once and kept up to date by the batches (or handed over
//     by the caller, who listed the play list just before), else by SIZE and MDTM of each name;
//  2. ask: the replace question for each name that exists, for the whole batch before its
//     transfers;
//  3. send: each song's bytes are stored under a temporary name of this transfer alone
//     (TransferName), which has the same length whatever the song's name; the local file must
//     not have changed while it was sent;
//  4. stamp: where the server offers MFMT (and has not refused it or failed to keep a time in
//     this run), each temporary file is given the local file's modification time, by which a
//     later deploy knows the song unchanged;
//  5. verify: one look at the directory (the exact listing again, or SIZE of each temporary file
//     with SIZE and MDTM of each name) must show each temporary file with the bytes sent, and
//     under each song's name what step 1 found: when another transfer stored the song meanwhile,
//     this copy is not put in its place, and that is a failure;
//  6. put in place: the temporary files are renamed to the songs' names, one at a time, each
//     RNTO only after its RNFR was accepted (a lost line could otherwise pair one song's file
//     with another's name). When replacing, the rename goes over the old song where the server
//     allows that, else the old song is deleted first. Where one more look costs one listing
//     (exact, or by STAT), each name must then show the bytes sent, else that song is a failure.
// Sending a song needs nothing of its batch but its own entry, and steps 4 to 6 need nothing of
// the sending but what was stored. Steps 4 and 5 send their commands at once where the server
// takes that (FtpClient::Pipeline), so a batch costs a few round trips besides one PORT and STOR
// and one RNFR and RNTO a song.
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
#include <string>
#include <vector>

#include "core/Prompts.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListClass.h"
#include "playlists/UploadRun.h"

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

class SongUploader {
 public:
  static constexpr std::size_t kBatchSongs = 32;
  static constexpr std::int64_t kBatchBytes = 256LL * 1024 * 1024;

  using NameState = UploadNameState;
  using Listed = UploadListing;

  // Uploads through `client`, asking through `prompts`; `installation` (InstallationId) goes
  // into the temporary names. `cancel`, when given, is watched during the loop: once it is set,
  // the running transfer ends (its partial file removed) and the files still to come are
  // skipped.
  SongUploader(FtpClient& client, Prompts& prompts, std::uint32_t installation,
               UploadListener* listener = nullptr, const std::atomic<bool>* cancel = nullptr);

  // Uploads `paths` in order into `target`. When a file is stored: target.GotSong := false (the
  // caller reads its songs again) and the result's `uploaded` is true (the caller sets
  // PlayListsChanged). Files not stored by a failure are named, with the reason, in one message
  // (PromptKind::ErrorOk) at the end; a file whose replacement the user declined, or the files
  // skipped after a cancel, are no failure. A lost connection is reopened silently with the
  // settings the client holds.
  // `listed`, when given, is what an exact listing (FtpClient::ListDirExact, with times to the
  // second) of the target's directory found just before, every file by name; it saves the first
  // look its own listing.
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
  UploadResult Run(TPlayListObj& target, std::vector<UploadSource> sources, const Listed* listed,
                   bool endMessage = true);
  // The batch of `run` that starts at source `first`.
  UploadBatch NextBatch(const UploadRun& run, std::size_t first) const;
  // One batch: the steps below. False when the run is to end after it.
  bool RunBatch(UploadRun& run, UploadBatch& batch);
  // Step 1: the usable songs of the batch and what the server holds under their names.
  Listed Look(UploadRun& run, const UploadBatch& batch);
  // Step 2: the songs to send: those whose name is free, and those the user lets replace.
  void Ask(const UploadRun& run, UploadBatch& batch, const Listed& before);
  // Step 3 for the batch, with the listener told of every file and the cancel watched.
  void SendBatch(UploadRun& run, UploadBatch& batch);
  // Step 3 for one song: its bytes under a temporary name. False when it was not stored (the
  // failure is noted); throws UploadCancelled when cancelled.
  bool Send(UploadRun& run, BatchSong& song);
  // Steps 4 to 6 for the songs of `batch` that were stored.
  void PutBatchInPlace(UploadRun& run, UploadBatch& batch);
  // Step 4: gives the stored files the local files' times; returns those stamped.
  std::vector<BatchSong*> Stamp(const std::vector<BatchSong*>& stored);
  // Step 5: the stored files that are as sent and whose names hold what step 1 found; the
  // others are failures, their temporary files removed.
  std::vector<BatchSong*> Verify(UploadRun& run, const std::vector<BatchSong*>& stored);
  // What the server holds now under each stored song's temporary name (the size alone) and its
  // name; `sizes` false when the server has no SIZE to tell.
  void LookAgain(UploadRun& run, const std::vector<BatchSong*>& stored, std::vector<NameState>& temps,
                 std::vector<NameState>& names, bool& sizes);
  // Step 6: renames the `ready` files to their songs' names; returns those renamed.
  std::vector<BatchSong*> PutInPlace(UploadRun& run, const std::vector<BatchSong*>& ready);
  // One rename of step 6; false when it failed (the failure noted). A lost connection throws.
  bool Rename(UploadRun& run, BatchSong& song);
  // Drops from `renamed` what a look after the renames does not show as sent (a failure then);
  // notes a server that did not keep the times of `stamped`.
  void CheckPlaced(UploadRun& run, std::vector<BatchSong*>& renamed, const std::vector<BatchSong*>& stamped);
  // The songs of `renamed` are stored under their names.
  void Settle(UploadRun& run, const std::vector<BatchSong*>& renamed);
  // What the server holds under `names` (step 1).
  Listed StatesOf(UploadRun& run, const std::vector<std::string>& names);
  void Relist(UploadRun& run);
  // Removes this transfer's temporary file `temp` after a failure; false when that was not
  // possible now (it is then tried again by RemoveLeftovers).
  bool RemoveTransferFile(UploadRun& run, const std::string& temp);
  // Connects again if the connection went, and enters the run's directory.
  void Enter(const UploadRun& run);
  // Tries again to remove the temporary files not removed yet; the connection is open and in
  // the run's directory.
  void RemoveLeftovers(UploadRun& run);
  void ReconnectIfLost();

  FtpClient& client_;
  Prompts& prompts_;
  std::uint32_t installation_;
  UploadListener* listener_;
  const std::atomic<bool>* cancel_;
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
