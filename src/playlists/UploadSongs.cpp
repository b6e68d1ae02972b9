#include "playlists/UploadSongs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>

#include "core/TextEscape.h"
#include "platform/FileTime.h"
#include "platform/ProfileIni.h"
#include "platform/Utf8Path.h"
#include "playlists/FtpConnectionPool.h"
#include "playlists/PlayListOperations.h"
#include "playlists/ServerNames.h"
#include "playlists/SongCheckAhead.h"
#include "playlists/UploadTally.h"
#include "songs/SongScreening.h"

namespace kestrel {

namespace fs = std::filesystem;

namespace {

// Thrown from the progress handler when the user cancels; ends the running transfer.
struct UploadCancelled {};

// Sets a client's progress handlers for the life of its part of an upload and clears them
// afterwards: the figures go to the run's tally as those of connection `connection`.
// A fetched copy is only needed until it is stored: removed when this goes.
struct RemoveFetched {
  const UploadSource& source;
  ~RemoveFetched() {
    std::error_code ec;
    if (source.fetch) fs::remove(platform::PathFromUtf8(source.localPath), ec);
  }
};

// The tally hears that a connection's transfer ended when this goes.
struct WorkEnded {
  UploadTally& tally;
  int connection;
  ~WorkEnded() { tally.WorkEnded(connection); }
};

// Stores the file at `path` as `temp`: as it is, or the copy `screened` plans. The bytes sent.
std::int64_t StoreSong(FtpClient& client, const std::string& path, const songs::ScreenedSong* screened,
                       const std::string& temp) {
  if (screened == nullptr) return client.Store(path, temp);
  songs::SongSource bytes(path, screened);
  return client.Store(bytes.Size(), [&bytes](char* buffer, std::size_t max) { return bytes.Read(buffer, max); }, temp);
}

class WorkHandlersInstalled {
 public:
  WorkHandlersInstalled(FtpClient& client, UploadTally& tally, int connection, const std::atomic<bool>* cancel)
      : client_(client) {
    client.SetWorkHandlers(
        [&tally, connection](FtpWorkMode mode, std::int64_t total) { tally.WorkBegin(connection, mode, total); },
        [&tally, connection, cancel](FtpWorkMode mode, std::int64_t bytes) {
          if (cancel && *cancel) throw UploadCancelled{};
          tally.Work(connection, mode, bytes);
        });
  }
  ~WorkHandlersInstalled() { client_.SetWorkHandlers(nullptr, nullptr); }
  WorkHandlersInstalled(const WorkHandlersInstalled&) = delete;
  WorkHandlersInstalled& operator=(const WorkHandlersInstalled&) = delete;

 private:
  FtpClient& client_;
};

// A folder of our own under the system's temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      fs::path candidate = base / ("kestrel-copy-" + std::to_string(random()));
      if (fs::create_directory(candidate)) {
        path_ = candidate;
        return;
      }
    }
    throw std::runtime_error("cannot create a temporary folder in " + platform::Utf8FromPath(base));
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(int index) const { return platform::Utf8FromPath(path_ / ("song-" + std::to_string(index))); }

 private:
  fs::path path_;
};

// Why a local file cannot be uploaded; empty when it can be opened for reading.
std::string LocalProblem(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(platform::PathFromUtf8(path), ec)) return EscapeControls(path) + " is a folder";
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) return "cannot open " + EscapeControls(path) + ": " + std::strerror(errno);
  return {};
}

// What a look at a directory's listing shows under `name` when the listing is not exact: the
// name's size and modification time, from replies to SIZE and MDTM.
UploadNameState StateOf(const FtpReply& size, const FtpReply& modified) {
  UploadNameState state{SizeOfReply(size), {}};
  if (state.size >= 0) state.modified = TimeOfReply(modified);
  return state;
}

}  // namespace

SongUploader::SongUploader(FtpClient& client, Prompts& prompts, std::uint32_t installation,
                           UploadListener* listener, const std::atomic<bool>* cancel, FtpConnectionPool* pool)
    : client_(&client),
      prompts_(prompts),
      installation_(installation),
      listener_(listener),
      cancel_(cancel),
      pool_(pool) {}

SongUploader::~SongUploader() = default;
SongUploader::SongUploader(SongUploader&&) noexcept = default;

void SongUploader::ReconnectIfLost() {
  if (client_->Connected()) return;
  if (!pool_) {
    client_->Connect();
    return;
  }
  if (pool_->Reconnect(*client_)) return;
  if (placingInWorker_)
    throw FtpError(FtpError::Kind::Connection, "no connection to the server: " + pool_->LoweredBecause());
  FtpClient* other = pool_->OpenClient();
  if (other == nullptr) throw FtpError(FtpError::Kind::Connection, "no connection to the server: " + pool_->LoweredBecause());
  client_ = other;
}

void SongUploader::Enter(const UploadRun& run) {
  ReconnectIfLost();
  client_->EnterDir(run.dir);
}

std::vector<UploadSource> SongUploader::SourcesOf(const std::vector<std::string>& paths) const {
  std::vector<UploadSource> sources;
  sources.reserve(paths.size());
  for (const std::string& path : paths) {
    UploadSource source{ServerFileName(path), path, nullptr};
    if (screening_ != nullptr) source.screened = screening_->Find(path);
    sources.push_back(std::move(source));
  }
  return sources;
}

UploadResult SongUploader::UploadSongs(TPlayListObj& target, const std::vector<std::string>& paths,
                                       const Listed* listed) {
  return Run(target, SourcesOf(paths), listed);
}

void SongUploader::UploadPlayLists(std::vector<PlayListUpload>& uploads) {
  std::vector<Part> parts;
  parts.reserve(uploads.size());
  for (PlayListUpload& upload : uploads)
    parts.push_back(Part{upload.target, MakeRun(*upload.target, SourcesOf(upload.paths),
                                                upload.listed ? &*upload.listed : nullptr),
                         true});
  RunParts(parts);
  for (std::size_t i = 0; i < uploads.size(); ++i) uploads[i].result = std::move(parts[i].run->result);
}

UploadResult SongUploader::CopySongs(TPlayListObj& target, const std::vector<const TSongObj*>& songs) {
  std::unique_ptr<TempFolder> temp;
  try {
    temp = std::make_unique<TempFolder>();
  } catch (const std::exception& e) {
    UploadResult result;
    for (const TSongObj* song : songs)
      if (song) result.failures.push_back({song->Name, EscapeControls(e.what())});
    if (listener_) listener_->Finished();
    if (!result.failures.empty()) prompts_.Show(PromptKind::ErrorOk, NotStoredText(result.failures));
    return result;
  }
  std::vector<UploadSource> sources;
  for (const TSongObj* song : songs) {
    if (song == nullptr || song->ParentName == target.Name) continue;
    const std::string local = temp->File(static_cast<int>(sources.size()) + 1);
    const std::string from = SongPath(song->ParentName, song->Name);
    sources.push_back({song->Name, local, [from, local](FtpClient& client) { client.Retrieve(from, local, client.Size(from)); }});
  }
  return Run(target, std::move(sources), nullptr);
}

bool SongUploader::UploadSong(TPlayListObj& target, const std::string& path) {
  client_->ChangeDir(PlayListDir(target.Name));
  return Run(target, {{ServerFileName(path), path, nullptr}}, nullptr, false).uploaded;
}

std::unique_ptr<UploadRun> SongUploader::MakeRun(const TPlayListObj& target, std::vector<UploadSource> sources,
                                                 const Listed* listed) const {
  auto run = std::make_unique<UploadRun>();
  run->dir = PlayListDir(target.Name);
  run->sources = std::move(sources);
  run->haveListing = listed != nullptr && client_->ListsExactly();
  if (run->haveListing) run->listing = *listed;
  return run;
}

UploadResult SongUploader::Run(TPlayListObj& target, std::vector<UploadSource> sources, const Listed* listed,
                               bool endMessage) {
  std::vector<Part> parts;
  parts.push_back(Part{&target, MakeRun(target, std::move(sources), listed), endMessage});
  RunParts(parts);
  return std::move(parts[0].run->result);
}

void SongUploader::RunParts(std::vector<Part>& parts) {
  std::size_t count = 0;
  for (Part& part : parts) {
    part.run->tallyFirst = count;
    count += part.run->sources.size();
  }
  tally_ = std::make_unique<UploadTally>(listener_, static_cast<int>(count), pool_ ? pool_->Size() : 1);
  if (findings_ != nullptr && screening_ == nullptr) {
    std::vector<SongCheckAhead::Song> songs;
    for (Part& part : parts)
      for (std::size_t i = 0; i < part.run->sources.size(); ++i)
        if (const UploadSource& source = part.run->sources[i]; !source.fetch && source.screened == nullptr)
          songs.push_back({{part.run.get(), i}, source.localPath});
    checkAhead_ = std::make_unique<SongCheckAhead>(std::move(songs), findings_->targetLufs);
  }
  std::optional<Unplaced> unplaced;  // a batch sent whose songs are not in place yet
  bool stop = false;
  for (Part& part : parts) {
    UploadRun& run = *part.run;
    for (std::size_t first = 0; first < run.sources.size() && !stop;) {
      if (cancel_ && *cancel_) {
        run.result.cancelled = true;
        stop = true;
        break;
      }
      // A batch of the same play list looks at what the one before put there.
      if (unplaced && unplaced->run == &run) {
        Place(*unplaced);
        unplaced.reset();
      }
      if (run.ended) break;
      Unplaced sent{&run, NextBatch(run, first), run.result.failures.size()};
      const bool goOn = SendNext(run, sent.batch, unplaced ? &*unplaced : nullptr);
      if (unplaced && unplaced->placed) unplaced.reset();
      if (!goOn) {
        SortFailures(run, sent.batch, sent.told);
        break;
      }
      stop = sent.batch.cancelled;
      first = sent.batch.end;
      if (unplaced) Place(*unplaced);  // its connection took no part in the sending
      unplaced = std::move(sent);
    }
  }
  if (unplaced) Place(*unplaced);
  checkAhead_.reset();
  tally_->Finished();
  for (Part& part : parts) EndRun(*part.target, *part.run, part.endMessage);
  tally_.reset();
}

void SongUploader::EndRun(TPlayListObj& target, UploadRun& run, bool endMessage) {
  if (run.HasLeftovers()) {
    try {
      Enter(run);
      RemoveLeftovers(run);
    } catch (const std::exception&) {
      // Still no way to the server: the end message names them.
    }
  }
  if (findings_ != nullptr)
    for (songs::ScreenedSong& song : run.TakeChecked()) findings_->songs.push_back(std::move(song));
  UploadResult& result = run.result;
  result.leftovers = run.TakeLeftovers();
  if (result.uploaded) target.GotSong = false;
  if (endMessage && (!result.failures.empty() || !result.leftovers.empty()))
    prompts_.Show(PromptKind::ErrorOk, NotStoredText(result.failures, result.leftovers));
}

void SongUploader::SortFailures(UploadRun& run, const UploadBatch& batch, std::size_t told) {
  // The failures of a batch in the order of its files.
  const auto position = [&](const UploadFailure& f) {
    for (std::size_t i = batch.first; i < batch.end; ++i)
      if (run.sources[i].name == f.file) return i;
    return run.sources.size();
  };
  std::stable_sort(run.result.failures.begin() + static_cast<long>(told), run.result.failures.end(),
                   [&](const UploadFailure& a, const UploadFailure& b) { return position(a) < position(b); });
}

UploadBatch SongUploader::NextBatch(const UploadRun& run, std::size_t first) const {
  const std::vector<UploadSource>& sources = run.sources;
  UploadBatch batch;
  batch.first = first;
  std::int64_t bytes = 0;
  std::size_t& end = batch.end = first;
  for (; end < sources.size() && end - first < kBatchSongs; ++end) {
    bool repeated = false;
    for (std::size_t i = first; i < end && !repeated; ++i) repeated = sources[i].name == sources[end].name;
    if (repeated) break;  // the second song of a name goes in a batch of its own
    std::error_code ec;
    std::uintmax_t size = sources[end].fetch ? 0 : fs::file_size(platform::PathFromUtf8(sources[end].localPath), ec);
    if (ec) size = 0;
    if (end > first && bytes + static_cast<std::int64_t>(size) > kBatchBytes) break;
    bytes += static_cast<std::int64_t>(size);
  }
  return batch;
}

bool SongUploader::SendNext(UploadRun& run, UploadBatch& batch, Unplaced* unplaced) {
  const std::size_t told = run.result.failures.size();
  bool asked = false;
  try {
    Enter(run);
    RemoveLeftovers(run);
    const Listed before = Look(run, batch);
    Ask(run, batch, before);
    asked = true;
    SendBatch(run, batch, unplaced);
    return true;
  } catch (const std::exception& e) {
    FailBatch(run, batch, e.what(), asked, told);
    return false;
  }
}

void SongUploader::Place(Unplaced& unplaced) {
  unplaced.placed = true;
  UploadRun& run = *unplaced.run;
  try {
    PutBatchInPlace(run, unplaced.batch);
    if (unplaced.batch.cancelled) run.ended = true;
  } catch (const std::exception& e) {
    FailBatch(run, unplaced.batch, e.what(), true, unplaced.told);
  }
  SortFailures(run, unplaced.batch, unplaced.told);
}

void SongUploader::FailBatch(UploadRun& run, UploadBatch& batch, const std::string& why, bool asked, std::size_t told) {
  // No connection, or the play list cannot be entered: the songs of the batch not told yet
  // and the rest stay here, and what the batch stored already cannot be put in place.
  run.ended = true;
  if (checkAhead_) checkAhead_->Drop(&run, batch.first, run.sources.size());
  for (BatchSong& song : batch.songs) {
    if (song.settled) continue;
    if (song.sent >= 0) run.Leave(song.temp);
    if (!batch.cancelled || song.sent >= 0) run.Fail(run.NameOf(song), why);
  }
  // Before the questions, each file of the batch not told yet.
  for (std::size_t j = batch.first; j < batch.end && !asked; ++j) {
    const auto& failures = run.result.failures;
    if (std::none_of(failures.begin() + static_cast<long>(told), failures.end(),
                     [&](const UploadFailure& f) { return f.file == run.sources[j].name; }))
      run.Fail(run.sources[j].name, why);
  }
  for (std::size_t j = batch.end; j < run.sources.size(); ++j) run.Fail(run.sources[j].name, why);
}

// --- step 1: look

SongUploader::Listed SongUploader::Look(UploadRun& run, const UploadBatch& batch) {
  std::vector<std::string> names;
  for (std::size_t i = batch.first; i < batch.end; ++i) {
    const UploadSource& source = run.sources[i];
    std::string problem = NewServerNameProblem(source.name);
    if (problem.empty() && !source.fetch) problem = LocalProblem(source.localPath);
    if (problem.empty() && source.screened != nullptr && !source.screened->check.Sendable())
      problem = "not sent: " + source.screened->check.reason;
    if (problem.empty())
      names.push_back(source.name);
    else
      run.Fail(source.name, problem);
  }
  return names.empty() ? Listed{} : StatesOf(run, names);
}

void SongUploader::Relist(UploadRun& run) {
  run.listing.clear();
  for (const FtpListEntry& entry : client_->ListDirExact(run.dir))
    if (entry.kind == FtpEntryKind::File) run.listing[entry.name] = {entry.size, entry.modifiedUtc};
  run.haveListing = true;
}

SongUploader::Listed SongUploader::StatesOf(UploadRun& run, const std::vector<std::string>& names) {
  Listed states;
  if (client_->ListsExactly()) {
    if (!run.haveListing) Relist(run);
    for (const std::string& name : names) states[name] = run.InListing(name);
    return states;
  }
  std::vector<FtpCommand> commands;
  for (const std::string& name : names) {
    commands.push_back({"SIZE", name});
    commands.push_back({"MDTM", name});
  }
  const std::vector<FtpReply> replies = client_->Pipeline(commands);
  for (std::size_t i = 0; i < names.size(); ++i) states[names[i]] = StateOf(replies[2 * i], replies[2 * i + 1]);
  return states;
}

// --- step 2: ask

void SongUploader::Ask(const UploadRun& run, UploadBatch& batch, const Listed& before) {
  for (std::size_t i = batch.first; i < batch.end; ++i) {
    const std::string& name = run.sources[i].name;
    const auto found = before.find(name);
    if (found == before.end()) continue;  // not usable: told in step 1
    BatchSong song;
    song.index = i;
    song.before = found->second;
    if (song.before.size != -1 && !prompts_.Confirm(ReplaceQuestion(name))) continue;
    batch.songs.push_back(song);
  }
}

// --- step 3: send

// The batch's files in order, each the song to send or nullptr (unusable or declined: told as
// done when its turn comes); a song whose connection went goes back to the front.
struct SongUploader::SendQueue {
  SendQueue(UploadBatch& b, const std::atomic<bool>* c) : batch(b), cancel(c), songOf(b.end - b.first, nullptr) {
    for (BatchSong& song : batch.songs) songOf[song.index - batch.first] = &song;
    for (std::size_t i = batch.first; i < batch.end; ++i) queue.push_back(i);
  }

  BatchSong* SongAt(std::size_t i) const { return songOf[i - batch.first]; }
  // Takes the next file; false when there is none (or the batch is to stop). While other
  // connections still send, it waits for them: a song whose connection goes comes back here.
  // `again`: its song was begun before. Each file taken is given up with Taken.
  bool Take(std::size_t& i, bool& again) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return stop || !queue.empty() || taken == 0; });
    if (queue.empty() || stop) return false;
    i = queue.front();
    queue.pop_front();
    ++taken;
    again = SongAt(i) != nullptr && SongAt(i)->tries > 0;
    return true;
  }
  // While it lives, a connection holds the file it took.
  struct Taken {
    SendQueue& q;
    ~Taken() {
      {
        std::lock_guard<std::mutex> lock(q.mutex);
        --q.taken;
      }
      q.changed.notify_all();
    }
  };
  // Whether the user cancelled; remembers it for the batch.
  bool CancelledNow() {
    std::lock_guard<std::mutex> lock(mutex);
    cancelled = cancelled || (cancel && *cancel);
    return cancelled;
  }
  void Cancel() {
    std::lock_guard<std::mutex> lock(mutex);
    cancelled = true;
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
  }
  // The song's connection went (`why`): true when it goes back to the queue for another
  // connection, false when it is a failure (after kSendTries transfers). A song whose connection
  // stopped answering goes back only where connections worked side by side (alone, a stall is
  // the server's answer, and trying again would only wait as long). `othersWork`: another
  // connection takes songs now.
  bool GiveBack(std::size_t i, const BatchSong& song, const std::string& why, bool stalled, bool& othersWork) {
    std::lock_guard<std::mutex> lock(mutex);
    lost = why;
    othersWork = working > 1;
    if (song.tries >= kSendTries || (stalled && !sideBySide)) return false;
    queue.push_front(i);
    return true;
  }

  // While it lives, a connection takes songs.
  struct Working {
    SendQueue& q;
    explicit Working(SendQueue& queue) : q(queue) {
      std::lock_guard<std::mutex> lock(q.mutex);
      q.sideBySide = q.sideBySide || ++q.working > 1;
    }
    ~Working() {
      std::lock_guard<std::mutex> lock(q.mutex);
      --q.working;
    }
  };

  UploadBatch& batch;
  const std::atomic<bool>* cancel;
  std::vector<BatchSong*> songOf;
  std::deque<std::size_t> queue;
  std::mutex mutex;  // guards queue, cancelled, stop, lost, working and taken
  std::condition_variable changed;
  bool cancelled = false, stop = false;
  int working = 0;          // connections taking songs now
  int taken = 0;            // files taken and not given up yet
  bool sideBySide = false;  // more than one did in this batch
  std::string lost;         // what the last lost connection said
};

void SongUploader::SendBatch(UploadRun& run, UploadBatch& batch, Unplaced* unplaced) {
  SendQueue queue(batch, cancel_);
  const auto work = [&](FtpClient& client, int connection) {
    // The connection of steps 1, 2 and 4 to 6 puts the batch before in place first; it cannot
    // go over to another connection of the pool here, as those are sending.
    if (unplaced != nullptr && &client == client_) {
      placingInWorker_ = pool_ != nullptr;
      Place(*unplaced);
      placingInWorker_ = false;
    }
    SendFromQueue(run, queue, client, connection);
  };
  if (pool_)
    pool_->RunWorkers(work, static_cast<int>(std::max<std::size_t>(1, batch.songs.size())));
  else
    work(*client_, 0);
  // Songs no connection could take: every one the server would still let in went.
  for (const std::size_t i : queue.queue) {
    if (queue.cancelled) break;
    if (BatchSong* song = queue.SongAt(i); song != nullptr) {
      song->settled = true;
      run.Fail(run.NameOf(*song), queue.lost.empty() ? "no connection to the server" : queue.lost);
    }
    tally_->FileDone();
  }
  if (queue.cancelled) run.result.cancelled = batch.cancelled = true;
}

void SongUploader::SendFromQueue(UploadRun& run, SendQueue& queue, FtpClient& client, int connection) {
  WorkHandlersInstalled handlers(client, *tally_, connection, cancel_);
  const SendQueue::Working counted(queue);
  std::size_t i = 0;
  bool again = false;
  while (queue.Take(i, again)) {
    const SendQueue::Taken held{queue};
    if (queue.CancelledNow()) continue;  // the files after a cancel are skipped, untold
    if (!again) tally_->FileStarting(static_cast<int>(run.tallyFirst + i) + 1);
    if (queue.SongAt(i) == nullptr) {
      if (checkAhead_) checkAhead_->Drop(&run, i, i + 1);  // not sent: its check, if made, goes
      tally_->FileDone();
      continue;
    }
    if (!SendQueued(run, queue, i, client, connection)) return;
  }
}

bool SongUploader::SendQueued(UploadRun& run, SendQueue& queue, std::size_t i, FtpClient& client, int connection) {
  BatchSong& song = *queue.SongAt(i);
  bool othersWork = false;
  // The song's connection went: back to the queue, or a failure.
  const auto giveBack = [&](const std::string& why, bool stalled) {
    if (queue.GiveBack(i, song, why, stalled, othersWork)) return true;
    song.settled = true;
    run.Fail(run.NameOf(song), why);
    tally_->FileDone();
    return false;
  };
  Sent sent = Sent::Lost;
  std::string why;
  bool stalled = false;
  try {
    ++song.tries;
    if (!client.Connected()) {
      if (!pool_) {
        client.Connect();
      } else if (!pool_->Reconnect(client)) {
        giveBack(pool_->LoweredBecause(), false);
        return false;  // the server takes this connection no more: the others go on
      }
    }
    client.EnterDir(run.dir);
    sent = Send(run, song, client, connection, stalled, why);
  } catch (const UploadCancelled&) {
    queue.Cancel();
    sent = Sent::Failed;
  } catch (const FtpError& e) {
    if (e.kind() != FtpError::Kind::Connection || !pool_) {
      queue.Stop();  // the play list cannot be entered: the batch ends
      throw;
    }
    why = e.what();
    stalled = !e.retryable();
  }
  if (sent != Sent::Lost) {
    tally_->FileDone();
    return true;
  }
  if (why.empty()) why = "the connection was lost while the song was sent";
  // A connection that stopped answering leaves its song to the others, where there are any.
  if (giveBack(why, stalled) && othersWork && stalled) return false;
  if (!pool_) return true;  // the one connection is opened again for the next song
  return client.Connected() || pool_->Reconnect(client);
}

SongUploader::Sent SongUploader::Send(UploadRun& run, BatchSong& song, FtpClient& client, int connection,
                                      bool& stalled, std::string& lostBecause) {
  const UploadSource& source = run.sources[song.index];
  const RemoveFetched removeFetched{source};
  const WorkEnded ended{*tally_, connection};
  const std::string temp = TransferName::New(installation_);
  try {
    tally_->TransferStarting();
    if (source.fetch) source.fetch(client);
    platform::FileStamp stamp, after;
    const bool known = platform::ReadFileStamp(source.localPath, stamp);
    const std::optional<double> target = screening_ != nullptr ? screening_->targetLufs
                                         : findings_ != nullptr ? findings_->targetLufs : std::nullopt;
    // A song that goes as it is (no loudness target) does not wait for a check still being made
    // beside the sending: a song the check then refuses is removed before it is put in place.
    const bool checkAfter = !target && checkAhead_ != nullptr && source.screened == nullptr && !source.fetch &&
                            !checkAhead_->Ready({&run, song.index});
    std::optional<songs::ScreenedSong> checkedNow;
    const songs::ScreenedSong* screened = checkAfter ? nullptr : CheckOf(run, song, checkedNow);
    const auto refused = [&] {
      if (screened == nullptr || screened->check.Sendable()) return false;
      song.settled = true;
      if (!song.temp.empty()) RemoveTransferFile(run, temp, client);
      song.temp.clear();
      run.Fail(source.name, "not sent: " + screened->check.reason);
      return true;
    };
    if (refused()) return Sent::Failed;
    song.temp = temp;
    const long long shift = screened != nullptr && target ? songs::NormalizedTimeShift(*target) : 0;
    const std::int64_t sent = StoreSong(client, source.localPath, screened, temp);
    if (known && (!platform::ReadFileStamp(source.localPath, after) || after != stamp))
      throw FtpError(FtpError::Kind::LocalFile, "store file: " + EscapeControls(source.localPath) +
                                                    " changed while it was sent; this copy was not put in its place");
    if (checkAfter) {
      screened = CheckOf(run, song, checkedNow);
      if (refused()) return Sent::Failed;
    }
    song.sent = sent;
    song.modified = known ? stamp.modified + shift : -1;
    return Sent::Stored;
  } catch (const UploadCancelled&) {
    if (!song.temp.empty()) RemoveTransferFile(run, temp, client);
    song.temp.clear();
    throw;
  } catch (const std::exception& e) {
    // The song is tried again when its connection went: by another connection where the transfer
    // stopped on the way (that one would keep the song waiting just the same), by any where every
    // byte went and only the server's word on it never came.
    const auto* ftp = dynamic_cast<const FtpError*>(&e);
    stalled = ftp != nullptr && !ftp->retryable() && !tally_->AllStored(connection);
    const bool connectionLost = pool_ != nullptr && song.tries < kSendTries && !client.Connected();
    if (!song.temp.empty()) {
      // A lost connection's file is removed later, over the connection that puts songs in place.
      if (connectionLost) run.Leave(temp);
      else RemoveTransferFile(run, temp, client);
    }
    song.temp.clear();
    if (connectionLost) {
      lostBecause = e.what();
      return Sent::Lost;
    }
    song.settled = true;
    run.Fail(source.name, e.what());
    return Sent::Failed;
  }
}

const songs::ScreenedSong* SongUploader::CheckOf(UploadRun& run, const BatchSong& song,
                                                 std::optional<songs::ScreenedSong>& checkedNow) {
  const UploadSource& source = run.sources[song.index];
  if (source.screened != nullptr || screening_ != nullptr || findings_ == nullptr || source.fetch)
    return source.screened;
  if (checkAhead_) checkedNow = checkAhead_->Take({&run, song.index});
  if (!checkedNow) checkedNow = songs::ScreenSong(source.localPath, findings_->targetLufs);
  run.Checked(song.index, *checkedNow);
  return &*checkedNow;
}

// --- steps 4 to 6

void SongUploader::PutBatchInPlace(UploadRun& run, UploadBatch& batch) {
  std::vector<BatchSong*> stored;
  for (BatchSong& song : batch.songs)
    if (song.sent >= 0) stored.push_back(&song);
  if (stored.empty()) return;
  Enter(run);
  std::vector<BatchSong*> stamped;
  std::vector<BatchSong*> renamed = PutInPlace(run, Verify(run, stored, stamped));
  CheckPlaced(run, renamed, stamped);
  Settle(run, renamed);
}

void SongUploader::Settle(UploadRun& run, const std::vector<BatchSong*>& renamed) {
  for (const BatchSong* song : renamed) {
    run.result.uploaded = true;
    tally_->FileStored(song->sent);
  }
}

// A server that refuses a time is not asked again in this run.
std::vector<FtpCommand> SongUploader::Stamps(const std::vector<BatchSong*>& stored, std::vector<BatchSong*>& stamped) {
  std::vector<FtpCommand> stamps;
  stamped.clear();
  if (!client_->ServerNote().SetsTimes()) return stamps;
  for (BatchSong* song : stored)
    if (song->modified >= 0) {
      stamps.push_back({"MFMT", UtcStamp(song->modified) + " " + song->temp});
      stamped.push_back(song);
    }
  return stamps;
}

void SongUploader::StampsTaken(const std::vector<FtpReply>& replies, std::vector<BatchSong*>& stamped) {
  for (std::size_t i = 0; i < stamped.size(); ++i)
    if (replies[i].code != 213) {
      client_->NoteTimesNotKept("MFMT answered \"" + EscapeControls(replies[i].text) + "\"");
      stamped.clear();
      return;
    }
}

bool SongUploader::LooksByName(std::size_t files) const {
  const FtpServerNote& note = client_->ServerNote();
  return files <= kLooksByName && !mlstUnusable_ && note.features.machineListing && note.Pipelining() &&
         client_->ListsExactly();
}

bool SongUploader::ReadLooks(const std::vector<FtpReply>& replies, std::size_t from, std::vector<NameState>& states) {
  for (std::size_t i = from; i < replies.size(); ++i) {
    std::optional<FtpListEntry> entry;
    if (!EntryOfReply(replies[i], entry)) {
      mlstUnusable_ = true;  // the listing it is, from now on
      return false;
    }
    states.push_back(entry && entry->kind == FtpEntryKind::File ? NameState{entry->size, entry->modifiedUtc}
                                                                 : NameState{});
  }
  return true;
}

void SongUploader::NoteLooked(UploadRun& run, const std::string& name, const NameState& state) {
  if (state.size < 0)
    run.listing.erase(name);
  else
    run.listing[name] = state;
}

void SongUploader::LookAgain(UploadRun& run, const std::vector<BatchSong*>& stored, std::vector<BatchSong*>& stamped,
                             std::vector<NameState>& temps, std::vector<NameState>& names, bool& sizes) {
  sizes = true;
  // The times go in the same group as the looks where those are commands.
  std::vector<FtpCommand> commands = Stamps(stored, stamped);
  const std::size_t looksFrom = commands.size();
  const bool byName = LooksByName(stored.size());
  for (const BatchSong* song : stored) {
    if (byName) {
      commands.push_back({"MLST", song->temp});
      commands.push_back({"MLST", run.NameOf(*song)});
    } else if (!client_->ListsExactly()) {
      commands.push_back({"SIZE", song->temp});
      commands.push_back({"SIZE", run.NameOf(*song)});
      commands.push_back({"MDTM", run.NameOf(*song)});
    }
  }
  const std::vector<FtpReply> replies = client_->Pipeline(commands);
  StampsTaken(replies, stamped);
  if (byName) {
    std::vector<NameState> looked;
    if (ReadLooks(replies, looksFrom, looked)) {
      for (std::size_t i = 0; i < stored.size(); ++i) {
        temps.push_back(looked[2 * i]);
        names.push_back(looked[2 * i + 1]);
        NoteLooked(run, stored[i]->temp, temps.back());
        NoteLooked(run, run.NameOf(*stored[i]), names.back());
      }
      return;
    }
  }
  if (client_->ListsExactly()) {
    Relist(run);
    for (const BatchSong* song : stored) {
      temps.push_back(run.InListing(song->temp));
      names.push_back(run.InListing(run.NameOf(*song)));
    }
    return;
  }
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const std::size_t at = looksFrom + 3 * i;
    sizes = sizes && replies[at].code != 500 && replies[at].code != 502;
    temps.push_back({SizeOfReply(replies[at]), {}});
    names.push_back(StateOf(replies[at + 1], replies[at + 2]));
  }
}

std::vector<BatchSong*> SongUploader::Verify(UploadRun& run, const std::vector<BatchSong*>& stored,
                                             std::vector<BatchSong*>& stamped) {
  std::vector<NameState> temps, names;
  bool sizes = true;  // false: the server has no SIZE, so there is nothing to compare
  LookAgain(run, stored, stamped, temps, names, sizes);
  std::vector<BatchSong*> ready;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    BatchSong& song = *stored[i];
    std::string problem;
    if (sizes && temps[i].size != song.sent)
      problem = temps[i].size < 0 ? "store file: the stored copy is gone from the player (removed by another program?)"
                                  : "store file: the player holds " + std::to_string(temps[i].size) + " of the " +
                                        std::to_string(song.sent) + " bytes sent";
    else if (!(names[i] == song.before))
      // Another transfer stored the song meanwhile: then this copy does not go over it.
      problem = song.before.size != -1
                    ? "the song on the player was changed by another transfer meanwhile; this copy was not put in its "
                      "place"
                    : "another transfer stored a song of this name meanwhile; this copy was not put in its place";
    if (problem.empty()) {
      ready.push_back(&song);
      continue;
    }
    song.settled = true;
    RemoveTransferFile(run, song.temp);
    run.Fail(run.NameOf(song), problem);
  }
  return ready;
}

// One song at a time and each RNTO only after its RNFR was accepted: a line the server lost can
// then never pair one song's temporary file with another's name.
std::vector<BatchSong*> SongUploader::PutInPlace(UploadRun& run, const std::vector<BatchSong*>& ready) {
  std::vector<BatchSong*> renamed;
  for (BatchSong* song : ready) {
    try {
      if (Rename(run, *song)) renamed.push_back(song);
    } catch (const FtpError&) {
      Settle(run, renamed);
      throw;  // the batch ends; what is not settled is named there
    }
  }
  return renamed;
}

bool SongUploader::Rename(UploadRun& run, BatchSong& song) {
  const std::string& name = run.NameOf(song);
  const NameState arrived = client_->ListsExactly() ? run.InListing(song.temp) : NameState{};
  bool fromAccepted = false, oldDeleted = false;
  try {
    try {
      client_->Rename(song.temp, name, &fromAccepted, true);
    } catch (const FtpError& e) {
      // Servers that do not rename over an existing file refuse RNTO; then the old song goes first.
      if (e.kind() != FtpError::Kind::Reply || !fromAccepted || song.before.size == -1) throw;
      client_->Delete(name);
      oldDeleted = true;
      client_->Rename(song.temp, name);
    }
    song.settled = true;
    run.listing.erase(song.temp);
    if (run.haveListing) run.listing[name] = arrived;
    return true;
  } catch (const FtpError& e) {
    if (oldDeleted) {
      song.settled = true;
      run.listing.erase(name);
      run.Fail(name, std::string(e.what()) + "; the old song is deleted and the new one is kept on the player as " +
                         song.temp);
      return false;
    }
    if (e.kind() == FtpError::Kind::Connection) throw;
    song.settled = true;
    RemoveTransferFile(run, song.temp);
    run.Fail(name, e.what());
    return false;
  }
}

bool SongUploader::LookByName(UploadRun& run, const std::vector<BatchSong*>& songs, Listed& now) {
  if (!LooksByName(songs.size())) return false;
  std::vector<FtpCommand> looks;
  for (const BatchSong* song : songs) looks.push_back({"MLST", run.NameOf(*song)});
  std::vector<NameState> looked;
  if (!ReadLooks(client_->Pipeline(looks), 0, looked)) return false;
  for (std::size_t i = 0; i < songs.size(); ++i) {
    NoteLooked(run, run.NameOf(*songs[i]), looked[i]);
    if (looked[i].size >= 0) now[run.NameOf(*songs[i])] = looked[i];
  }
  return true;
}

void SongUploader::CheckPlaced(UploadRun& run, std::vector<BatchSong*>& renamed,
                               const std::vector<BatchSong*>& stamped) {
  // One more look where it costs one round trip or one listing: each name must hold what was sent.
  if (renamed.empty() || !(client_->ListsExactly() || client_->ListingWay() == FtpListingWay::Stat)) return;
  Listed now;
  try {
    if (LookByName(run, renamed, now)) {
      // a few names, each looked at
    } else if (client_->ListsExactly()) {
      Relist(run);
      now = run.listing;
    } else {
      for (const FtpListEntry& entry : client_->ListDir(run.dir))
        if (entry.kind == FtpEntryKind::File) now[entry.name] = {entry.size, entry.modifiedUtc};
    }
  } catch (const FtpError&) {
    return;  // the replies said the songs are in place; the next batch connects again if need be
  }
  bool timesHeld = true;
  for (auto it = renamed.begin(); it != renamed.end();) {
    BatchSong& song = **it;
    const std::string& name = run.NameOf(song);
    const auto found = now.find(name);
    if (found != now.end() && found->second.size == song.sent) {
      long long held = 0;
      if (std::find(stamped.begin(), stamped.end(), &song) != stamped.end() &&
          (!ParseUtcStamp(found->second.modified, held) || std::llabs(held - song.modified) > 1))
        timesHeld = false;
      ++it;
      continue;
    }
    run.Fail(name, found == now.end()
                       ? std::string("the player shows no song of this name after it was put in place")
                       : "after it was put in place the player holds " + std::to_string(found->second.size) +
                             " bytes under this name, not the " + std::to_string(song.sent) + " sent");
    it = renamed.erase(it);
  }
  if (!timesHeld) client_->NoteTimesNotKept("a time set with MFMT did not hold");
}

// --- temporary files left behind

bool SongUploader::RemoveTransferFile(UploadRun& run, const std::string& temp) {
  return RemoveTransferFile(run, temp, *client_);
}

bool SongUploader::RemoveTransferFile(UploadRun& run, const std::string& temp, FtpClient& client) {
  try {
    if (!client.Connected()) {
      if (&client != client_) {
        run.Leave(temp);  // the connection that puts songs in place removes it
        return false;
      }
      ReconnectIfLost();
      client_->ChangeDir(run.dir);
      return RemoveTransferFile(run, temp, *client_);
    }
    try {
      client.Delete(temp);
      return true;
    } catch (const FtpError& e) {
      if (e.kind() != FtpError::Kind::Reply) throw;
    }
    // DELE refused: fine when nothing was stored (a refused STOR).
    if (client.Size(temp) == -1) return true;
  } catch (const std::exception&) {
  }
  run.Leave(temp);
  return false;
}

void SongUploader::RemoveLeftovers(UploadRun& run) {
  for (const std::string& temp : run.TakeLeftovers()) {
    try {
      client_->Delete(temp);
    } catch (const FtpError&) {
      try {
        if (client_->Size(temp) != -1) run.Leave(temp);
      } catch (const FtpError&) {
        run.Leave(temp);  // the connection went again: the next file reconnects
      }
    }
  }
}

int UploadConnectionsSetting(const std::string& settingsFile) {
  const std::string text = platform::ReadProfileString(settingsFile, "Upload", "Connections", "");
  int n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || n > FtpConnectionPool::kMaxConnections) return FtpConnectionPool::kDefaultConnections;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= FtpConnectionPool::kMaxConnections ? n : FtpConnectionPool::kDefaultConnections;
}

std::string ServerFileName(const std::string& localPath) {
  return platform::Utf8FromPath(platform::PathFromUtf8(localPath).filename());
}

std::string SpeedText(std::int64_t bytes, double seconds, const std::string& decimalPoint) {
  if (!(seconds > 0)) return {};
  const long long hundredths = std::llround(static_cast<double>(bytes) / 1024.0 / seconds * 100.0);
  std::string fraction = std::to_string(hundredths % 100);
  if (fraction.size() < 2) fraction.insert(0, "0");
  return std::to_string(hundredths / 100) + decimalPoint + fraction + " KB/s";
}

songs::SongScreening StoredOnly(const songs::SongScreening& screening, const std::vector<UploadFailure>& failures) {
  songs::SongScreening stored = screening;
  const auto failed = [&failures](const songs::ScreenedSong& song) {
    const std::string name = ServerFileName(song.check.path);
    return std::any_of(failures.begin(), failures.end(), [&name](const UploadFailure& f) { return f.file == name; });
  };
  stored.songs.erase(std::remove_if(stored.songs.begin(), stored.songs.end(), failed), stored.songs.end());
  return stored;
}

std::string CheckFindingsText(const songs::SongScreening& sent) {
  std::string text;
  const auto part = [&text](const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    if (!text.empty()) text += "\n\n";
    text += heading;
    for (const std::string& line : lines) text += "\n" + line;
  };
  part("Sent, but damaged:", sent.Warned());
  part("Loudness changed:", sent.Changed());
  part("Loudness target not reached:", sent.MissedTarget());
  return text;
}

std::string NotStoredText(const std::vector<UploadFailure>& failures, const std::vector<std::string>& leftovers) {
  std::string text;
  if (!failures.empty()) {
    text = failures.size() == 1 ? "This file was not stored:\n" : "These files were not stored:\n";
    for (const UploadFailure& f : failures) text += "\n" + EscapeControls(f.file) + ": " + f.reason;
  }
  if (!leftovers.empty()) {
    if (!text.empty()) text += "\n\n";
    text += "Unfinished copies left on the player (the next listing of the play lists removes them):\n";
    for (const std::string& temp : leftovers) text += "\n" + QuotedName(temp);
  }
  return text;
}

}  // namespace kestrel
