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
// With a pool of connections (FtpConnectionPool) the songs of a batch are sent over up to its
// limit of connections at once, handed out in order from one queue, each connection with its
// data connections of its own; steps 1, 2 and 4 to 6 stay on one connection, so the songs are put
// in place one at a time in the order given, as with one connection. A connection lost while it
// sends gives its song back to the queue for the others (each song is tried on up to
// kSendTries connections) and comes back if the server lets it; one the server will not take
// again lowers the pool's limit, and nothing fails for it. A song that none could store is a
// failure like any other. The steps that stay on one connection go over another of the pool's
// when their own is lost and the server will not take it back.
//
// Runs on whichever thread the caller runs it on; the listener is called on that thread and on
// the pool's, one call at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Prompts.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListClass.h"
#include "playlists/UploadListener.h"
#include "playlists/UploadRun.h"
#include "songs/SongScreening.h"

namespace kestrel {

class FtpConnectionPool;
class SongCheckAhead;
class UploadTally;

class SongUploader {
 public:
  static constexpr std::size_t kBatchSongs = 32;
  static constexpr std::int64_t kBatchBytes = 256LL * 1024 * 1024;
  static constexpr int kSendTries = 3;
  // The most files of a batch looked at by name (LooksByName).
  static constexpr std::size_t kLooksByName = 8;

  using NameState = UploadNameState;
  using Listed = UploadListing;

  // Uploads through `client`, asking through `prompts`; `installation` (InstallationId) goes
  // into the temporary names. `cancel`, when given, is watched during the loop: once it is set,
  // the running transfer ends (its partial file removed) and the files still to come are
  // skipped.
  // `pool`, when given, is made on `client` (its First()) and sends the songs.
  SongUploader(FtpClient& client, Prompts& prompts, std::uint32_t installation,
               UploadListener* listener = nullptr, const std::atomic<bool>* cancel = nullptr,
               FtpConnectionPool* pool = nullptr);
  ~SongUploader();
  SongUploader(SongUploader&&) noexcept;
  SongUploader(const SongUploader&) = delete;
  SongUploader& operator=(const SongUploader&) = delete;
  SongUploader& operator=(SongUploader&&) = delete;

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

  // A play list's share of UploadPlayLists, and what came of it.
  struct PlayListUpload {
    TPlayListObj* target = nullptr;
    std::vector<std::string> paths;
    std::optional<Listed> listed;  // as UploadSongs' `listed`
    UploadResult result;
  };
  // Uploads into several play lists, each as UploadSongs does (with its end message, after all
  // are sent), one after the other, except that the songs of a play list are sent while those of
  // the play list before are put in place: the connection of steps 1, 2 and 4 to 6 does that
  // before it takes songs, while the pool's others send. The listener hears of one run of all
  // the files, numbered in the order given.
  void UploadPlayLists(std::vector<PlayListUpload>& uploads);

  // The check of the files UploadSongs is given (ScreenSongs), from now on: a file it found no
  // MP3 (or unreadable) is not sent and is named among the files not stored; a song to be made
  // louder or quieter is sent as its changed copy, and given its local time moved on by
  // NormalizedTimeShift. `screening` outlives the calls; nullptr: files are sent as they are.
  void SetScreening(const songs::SongScreening* screening) { screening_ = screening; }
  // As SetScreening, but each file is checked just before it is sent, by the connection that
  // sends it (so that checking and sending go on side by side), with the loudness target of
  // `findings` (none: songs sent as they are); the checks are added to `findings`, in the order
  // of the files of each call. A screening set takes its place.
  void CheckAsSent(songs::SongScreening* findings) { findings_ = findings; }

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
  std::vector<UploadSource> SourcesOf(const std::vector<std::string>& paths) const;
  std::unique_ptr<UploadRun> MakeRun(const TPlayListObj& target, std::vector<UploadSource> sources,
                                     const Listed* listed) const;
  // A play list's run in a call, and whether the call ends with its end message.
  struct Part {
    TPlayListObj* target;
    std::unique_ptr<UploadRun> run;
    bool endMessage;
  };
  // A batch sent whose songs are not in place yet.
  struct Unplaced {
    UploadRun* run = nullptr;
    UploadBatch batch;
    std::size_t told = 0;  // the run's failures before the batch
    bool placed = false;   // Place has run
  };
  // The runs of `parts` in order, a batch at a time: each batch's steps 1 to 3, while the batch
  // before is put in place (steps 4 to 6), unless it is of the same run.
  void RunParts(std::vector<Part>& parts);
  // After the last batch of `run`: its temporary files left removed where possible, the checks
  // made handed on, and its end message.
  void EndRun(TPlayListObj& target, UploadRun& run, bool endMessage);
  // The batch of `run` that starts at source `first`.
  UploadBatch NextBatch(const UploadRun& run, std::size_t first) const;
  // Steps 1 to 3 of `batch`, with `unplaced` (when given) put in place on the way (SendBatch).
  // False when the batch failed: its files and the rest of the run are failures then.
  bool SendNext(UploadRun& run, UploadBatch& batch, Unplaced* unplaced);
  // Steps 4 to 6 of a batch sent; a failure there ends its run (FailBatch).
  void Place(Unplaced& unplaced);
  // The files of `batch` not settled, and the rest of the run, are failures (`why`); `asked`:
  // step 2 was done; `told`: the run's failures before the batch.
  void FailBatch(UploadRun& run, UploadBatch& batch, const std::string& why, bool asked, std::size_t told);
  // The failures of `batch` since `told`, in the order of its files.
  static void SortFailures(UploadRun& run, const UploadBatch& batch, std::size_t told);
  // Step 1: the usable songs of the batch and what the server holds under their names.
  Listed Look(UploadRun& run, const UploadBatch& batch);
  // Step 2: the songs to send: those whose name is free, and those the user lets replace.
  void Ask(const UploadRun& run, UploadBatch& batch, const Listed& before);
  // Step 3 for the batch, with the listener told of every file and the cancel watched: over the
  // pool's connections where there is a pool, else over the one connection. `unplaced`, when
  // given, is put in place by the connection of steps 4 to 6 before it takes songs.
  void SendBatch(UploadRun& run, UploadBatch& batch, Unplaced* unplaced);
  // The songs of a batch as the connections take them (UploadSongs.cpp).
  struct SendQueue;
  // One connection's share of step 3: songs from `queue` until there are none, or the
  // connection is of no more use.
  void SendFromQueue(UploadRun& run, SendQueue& queue, FtpClient& client, int connection);
  // Song `i` of the batch over `client`; false when the connection is of no more use.
  bool SendQueued(UploadRun& run, SendQueue& queue, std::size_t i, FtpClient& client, int connection);
  enum class Sent { Stored, Failed, Lost };
  // Step 3 for one song over `client` (connection `connection` of the pool, 0 without one): its
  // bytes under a temporary name. Failed: not stored (the failure is noted); Lost: the
  // connection went while it was sent (nothing noted; why in `lostBecause`; `stalled`: it stopped
  // answering). Throws UploadCancelled when cancelled.
  Sent Send(UploadRun& run, BatchSong& song, FtpClient& client, int connection, bool& stalled,
            std::string& lostBecause);
  // The song's check: the one made before the run, or one made now into `checkedNow` when songs
  // are checked as they are sent; nullptr: sent as it is.
  const songs::ScreenedSong* CheckOf(UploadRun& run, const BatchSong& song,
                                     std::optional<songs::ScreenedSong>& checkedNow);
  // Steps 4 to 6 for the songs of `batch` that were stored.
  void PutBatchInPlace(UploadRun& run, UploadBatch& batch);
  // Step 4: the commands that give the stored files the local files' times; `stamped` the
  // songs they stamp.
  std::vector<FtpCommand> Stamps(const std::vector<BatchSong*>& stored, std::vector<BatchSong*>& stamped);
  // Notes a server that refused one of the times (the first replies of `replies`, one a song of
  // `stamped`); `stamped` is then emptied.
  void StampsTaken(const std::vector<FtpReply>& replies, std::vector<BatchSong*>& stamped);
  // Steps 4 and 5: stamps the stored files (`stamped`: those stamped) and returns those that
  // are as sent and whose names hold what step 1 found; the others are failures, their
  // temporary files removed.
  std::vector<BatchSong*> Verify(UploadRun& run, const std::vector<BatchSong*>& stored,
                                 std::vector<BatchSong*>& stamped);
  // Stamps the stored files and looks at what the server holds now under each one's temporary
  // name (the size alone where the listing is not exact) and its name; `sizes` false when the
  // server has no SIZE to tell.
  void LookAgain(UploadRun& run, const std::vector<BatchSong*>& stored, std::vector<BatchSong*>& stamped,
                 std::vector<NameState>& temps, std::vector<NameState>& names, bool& sizes);
  // Whether `files` names are looked at one by one with MLST, sent all at once, rather than in a
  // listing of the directory: a round trip instead of a data connection's two, for a few files
  // where the server offers MLST and takes commands at once.
  bool LooksByName(std::size_t files) const;
  // The states the replies to MLST from `from` on give, appended to `states`; false (and MLST
  // not used again) when one of them cannot be read.
  bool ReadLooks(const std::vector<FtpReply>& replies, std::size_t from, std::vector<NameState>& states);
  // What the server holds under the names of `songs`, looked at by name into `now` (those it
  // holds); false when they are not looked at so.
  bool LookByName(UploadRun& run, const std::vector<BatchSong*>& songs, Listed& now);
  // Keeps the run's listing up to date with a look at `name`.
  static void NoteLooked(UploadRun& run, const std::string& name, const NameState& state);
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
  bool RemoveTransferFile(UploadRun& run, const std::string& temp, FtpClient& client);
  // Connects again if the connection went, and enters the run's directory.
  void Enter(const UploadRun& run);
  // Tries again to remove the temporary files not removed yet; the connection is open and in
  // the run's directory.
  void RemoveLeftovers(UploadRun& run);
  // Connects again if the connection went; with a pool, takes another of its connections when
  // the server will not take this one back.
  void ReconnectIfLost();

  FtpClient* client_;  // the connection of steps 1, 2 and 4 to 6
  Prompts& prompts_;
  std::uint32_t installation_;
  UploadListener* listener_;
  const std::atomic<bool>* cancel_;
  FtpConnectionPool* pool_;
  const songs::SongScreening* screening_ = nullptr;
  songs::SongScreening* findings_ = nullptr;
  std::unique_ptr<UploadTally> tally_;  // while a run goes
  bool mlstUnusable_ = false;           // the server's MLST replies could not be read
  bool placingInWorker_ = false;        // Place runs on a worker of the pool: client_ stays
  std::unique_ptr<SongCheckAhead> checkAhead_;  // while a run goes, when songs are checked as sent
};

// The program's own settings file in the Settings folder, and how many connections the window's
// uploads send songs over at once: [Upload] Connections, 1 to FtpConnectionPool::kMaxConnections
// (FtpConnectionPool::kDefaultConnections when absent or not such a number).
inline constexpr const char* kUploadSettingsFile = "Kestrel.ini";
int UploadConnectionsSetting(const std::string& settingsFile);

// The server's name for a local file: the file name without its folders.
std::string ServerFileName(const std::string& localPath);

// The average speed of a transfer: `bytes` in `seconds`, in kilobytes of 1024 bytes per second
// with two decimals, `decimalPoint` between them, then " KB/s". Empty while no time has elapsed.
std::string SpeedText(std::int64_t bytes, double seconds, const std::string& decimalPoint = ".");

// The end message naming each file not stored and why, and the temporary files left behind.
// The check's findings on the songs of an upload that were not named among its failures.
songs::SongScreening StoredOnly(const songs::SongScreening& screening, const std::vector<UploadFailure>& failures);

// What the check found among the songs sent, in one message: the damaged songs, the loudness
// changes and the songs that could not reach the target, each under its heading; empty when
// there is nothing to say.
std::string CheckFindingsText(const songs::SongScreening& sent);

std::string NotStoredText(const std::vector<UploadFailure>& failures,
                          const std::vector<std::string>& leftovers = {});

}  // namespace kestrel
