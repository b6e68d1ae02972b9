#include "playlists/UploadSongs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/FileTime.h"
#include "platform/Utf8Path.h"
#include "core/TextEscape.h"
#include "playlists/PlayListOperations.h"
#include "playlists/ServerNames.h"

namespace kestrel {

namespace fs = std::filesystem;

namespace {

// Thrown from the progress handler when the user cancels; ends the running transfer.
struct UploadCancelled {};

// Sets the client's progress handlers for the life of an upload and clears them afterwards.
class WorkHandlersInstalled {
 public:
  WorkHandlersInstalled(FtpClient& client, UploadListener* listener,
                        const std::atomic<bool>* cancel)
      : client_(client) {
    client.SetWorkHandlers(
        [listener](FtpWorkMode mode, std::int64_t total) {
          if (listener) listener->ftpWorkBegin(mode, total);
        },
        [listener, cancel](FtpWorkMode mode, std::int64_t bytes) {
          if (cancel && *cancel) throw UploadCancelled{};
          if (listener) listener->ftpWork(mode, bytes);
        });
  }
  ~WorkHandlersInstalled() { client_.ClearWorkHandlers(); }
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
  std::string File(int index) const {
    return platform::Utf8FromPath(path_ / ("song-" + std::to_string(index)));
  }

 private:
  fs::path path_;
};

std::string PlayListDir(const TPlayListObj& playList) { return "/" + playList.Name; }

// Why a local file cannot be uploaded; empty when it can be opened for reading.
std::string LocalProblem(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(platform::PathFromUtf8(path), ec)) return EscapeControls(path) + " is a folder";
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) return "cannot open " + EscapeControls(path) + ": " + std::strerror(errno);
  return {};
}

// The size in a reply to SIZE; -1 for any reply but 213.
std::int64_t SizeFrom(const FtpReply& reply) {
  if (reply.code != 213) return -1;
  std::int64_t size = 0;
  std::size_t i = 4, digits = 0;
  for (; i < reply.text.size() && reply.text[i] >= '0' && reply.text[i] <= '9' && digits < 18; ++i, ++digits)
    size = size * 10 + (reply.text[i] - '0');
  return digits > 0 ? size : -1;
}

// The time in a reply to MDTM, as the server gives it; empty for any reply but 213.
std::string TimeFrom(const FtpReply& reply) {
  return reply.code == 213 && reply.text.size() > 4 ? reply.text.substr(4) : std::string();
}

}  // namespace

SongUploader::SongUploader(FtpClient& client, Prompts& prompts,
                           std::atomic<bool>& playListsChanged, UploadListener* listener,
                           const std::atomic<bool>* cancel)
    : client_(client),
      prompts_(prompts),
      playListsChanged_(playListsChanged),
      listener_(listener),
      cancel_(cancel) {}

void SongUploader::Fail(const std::string& file, const std::string& reason) {
  if (result_) result_->failures.push_back({file, reason});
}

void SongUploader::ReconnectIfLost() {
  if (!client_.Connected()) client_.Connect();
}

UploadResult SongUploader::UploadSongs(TPlayListObj& target, const std::vector<std::string>& paths,
                                       const Listed* listed) {
  std::vector<Source> sources;
  sources.reserve(paths.size());
  for (const std::string& path : paths) sources.push_back({ServerFileName(path), path, nullptr});
  return Run(target, sources, listed);
}

UploadResult SongUploader::CopySongs(TPlayListObj& target,
                                     const std::vector<const TSongObj*>& songs) {
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
  std::vector<Source> sources;
  for (const TSongObj* song : songs) {
    if (song == nullptr || song->ParentName == target.Name) continue;
    const std::string local = temp->File(static_cast<int>(sources.size()) + 1);
    const std::string from = "/" + song->ParentName + "/" + song->Name;
    sources.push_back({song->Name, local, [this, from, local] {
                         client_.Retrieve(from, local, client_.Size(from));
                       }});
  }
  return Run(target, sources, nullptr);
}

bool SongUploader::UploadSong(TPlayListObj& target, const std::string& path) {
  client_.ChangeDir(PlayListDir(target));
  return Run(target, {{ServerFileName(path), path, nullptr}}, nullptr, false).uploaded;
}

UploadResult SongUploader::Run(TPlayListObj& target, const std::vector<Source>& sources, const Listed* listed,
                               bool endMessage) {
  UploadResult result;
  result_ = &result;
  leftovers_.clear();
  listing_.clear();
  haveListing_ = listed != nullptr && client_.ListsExactly();
  if (haveListing_) listing_ = *listed;
  {
    WorkHandlersInstalled handlers(client_, listener_, cancel_);
    for (std::size_t first = 0; first < sources.size();) {
      if (cancel_ && *cancel_) {
        result.cancelled = true;
        break;
      }
      const std::size_t end = BatchEnd(sources, first);
      const std::size_t told = result.failures.size();
      const bool goOn = RunBatch(target, sources, first, end);
      // The failures of a batch in the order of its files.
      const auto position = [&](const UploadFailure& f) {
        for (std::size_t i = first; i < end; ++i)
          if (sources[i].name == f.file) return i;
        return sources.size();
      };
      std::stable_sort(result.failures.begin() + static_cast<long>(told), result.failures.end(),
                       [&](const UploadFailure& a, const UploadFailure& b) { return position(a) < position(b); });
      if (!goOn) break;
      first = end;
    }
    if (!leftovers_.empty()) {
      try {
        ReconnectIfLost();
        client_.EnterDir(PlayListDir(target));
        RemoveLeftovers();
      } catch (const std::exception&) {
        // Still no way to the server: the end message names them.
      }
    }
  }
  result_ = nullptr;
  result.leftovers = leftovers_;
  if (result.uploaded) {
    target.GotSong = false;
    playListsChanged_ = true;
  }
  if (listener_) listener_->Finished();
  if (endMessage && (!result.failures.empty() || !result.leftovers.empty()))
    prompts_.Show(PromptKind::ErrorOk, NotStoredText(result.failures, result.leftovers));
  return result;
}

std::size_t SongUploader::BatchEnd(const std::vector<Source>& sources, std::size_t first) const {
  std::int64_t bytes = 0;
  std::size_t end = first;
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
  return end;
}

SongUploader::NameState SongUploader::Listing(const std::string& name) const {
  const auto it = listing_.find(name);
  return it == listing_.end() ? NameState{} : it->second;
}

void SongUploader::Relist(const std::string& dir) {
  listing_.clear();
  for (const FtpListEntry& entry : client_.ListDirExact(dir))
    if (entry.kind == FtpEntryKind::File) listing_[entry.name] = {entry.size, entry.modifiedUtc};
  haveListing_ = true;
}

SongUploader::Listed SongUploader::StatesOf(const std::string& dir, const std::vector<std::string>& names) {
  Listed states;
  if (client_.ListsExactly()) {
    if (!haveListing_) Relist(dir);
    for (const std::string& name : names) states[name] = Listing(name);
    return states;
  }
  std::vector<FtpCommand> commands;
  for (const std::string& name : names) {
    commands.push_back({"SIZE", name});
    commands.push_back({"MDTM", name});
  }
  const std::vector<FtpReply> replies = client_.Pipeline(commands);
  for (std::size_t i = 0; i < names.size(); ++i) {
    NameState& state = states[names[i]];
    state.size = SizeFrom(replies[2 * i]);
    if (state.size >= 0) state.modified = TimeFrom(replies[2 * i + 1]);
  }
  return states;
}

bool SongUploader::RunBatch(const TPlayListObj& target, const std::vector<Source>& sources, std::size_t first,
                            std::size_t end) {
  const std::string dir = PlayListDir(target);
  const int count = static_cast<int>(sources.size());
  std::vector<Pending> pending;
  std::size_t next = first;  // the next file to tell the listener about
  try {
    ReconnectIfLost();
    client_.EnterDir(dir);
    RemoveLeftovers();
    // Step 1: names and local files, then what the server holds.
    std::vector<std::size_t> usable;
    std::vector<std::string> names;
    for (std::size_t i = first; i < end; ++i) {
      const Source& source = sources[i];
      std::string problem = NewServerNameProblem(source.name);
      if (problem.empty() && !source.fetch) problem = LocalProblem(source.localPath);
      if (!problem.empty()) {
        Fail(source.name, problem);
        continue;
      }
      usable.push_back(i);
      names.push_back(source.name);
    }
    const Listed before = names.empty() ? Listed{} : StatesOf(dir, names);
    // Step 2: the questions.
    for (std::size_t i : usable) {
      Pending p;
      p.index = i;
      p.before = before.at(sources[i].name);
      if (p.before.size != -1 && !prompts_.Confirm(ReplaceQuestion(sources[i].name))) continue;
      pending.push_back(p);
    }
    // Step 3: the transfers.
    std::size_t at = 0;
    bool cancelled = false;
    for (; next < end; ++next) {
      if (listener_) listener_->FileStarting(static_cast<int>(next) + 1, count);
      if (at < pending.size() && pending[at].index == next) {
        Pending& p = pending[at++];
        if (cancelled || (cancel_ && *cancel_)) {
          cancelled = true;
        } else {
          ReconnectIfLost();
          client_.EnterDir(dir);
          try {
            Send(target, sources[next], p);
          } catch (const UploadCancelled&) {
            cancelled = true;
          }
        }
      }
      if (listener_) listener_->FileDone(static_cast<int>(next) + 1, count);
      if (cancelled) {
        ++next;
        break;
      }
    }
    if (cancelled) result_->cancelled = true;
    // Steps 4 to 6.
    PutBatchInPlace(target, sources, pending);
    return !cancelled;
  } catch (const std::exception& e) {
    // No connection, or the play list cannot be entered: this file and the rest stay here, and
    // what the batch stored already cannot be put in place.
    for (Pending& p : pending)
      if (p.sent >= 0 && !p.settled) {
        leftovers_.push_back(p.temp);
        if (p.index < next) Fail(sources[p.index].name, e.what());
      }
    if (next < end && listener_) listener_->FileDone(static_cast<int>(next) + 1, count);
    for (std::size_t j = next; j < sources.size(); ++j) Fail(sources[j].name, e.what());
    return false;
  }
}

bool SongUploader::Send(const TPlayListObj& target, const Source& source, Pending& p) {
  // A fetched copy is only needed until it is stored.
  struct RemoveFetched {
    const Source& source;
    ~RemoveFetched() {
      std::error_code ec;
      if (source.fetch) fs::remove(platform::PathFromUtf8(source.localPath), ec);
    }
  } removeFetched{source};
  const std::string temp = TransferName::New(InstallationId(client_.Context()));
  try {
    if (listener_) listener_->TransferStarting();
    if (source.fetch) source.fetch();
    platform::FileStamp stamp, after;
    const bool known = platform::ReadFileStamp(source.localPath, stamp);
    p.temp = temp;
    const std::int64_t sent = client_.Store(source.localPath, temp);
    if (known && (!platform::ReadFileStamp(source.localPath, after) || after != stamp))
      throw FtpError(FtpError::Kind::LocalFile, "store file: " + EscapeControls(source.localPath) +
                                                    " changed while it was sent; this copy was not put in its place");
    p.sent = sent;
    p.modified = known ? stamp.modified : -1;
    return true;
  } catch (const UploadCancelled&) {
    if (!p.temp.empty()) RemoveTransferFile(target, temp);
    p.temp.clear();
    throw;
  } catch (const std::exception& e) {
    if (!p.temp.empty()) RemoveTransferFile(target, temp);
    p.temp.clear();
    Fail(source.name, e.what());
    return false;
  }
}

void SongUploader::Stored(std::int64_t bytes) {
  result_->uploaded = true;
  if (listener_) listener_->FileStored(bytes);
}

void SongUploader::PutBatchInPlace(const TPlayListObj& target, const std::vector<Source>& sources,
                                   std::vector<Pending>& pending) {
  std::vector<Pending*> stored;
  for (Pending& p : pending)
    if (p.sent >= 0) stored.push_back(&p);

  if (stored.empty()) return;
  const std::string dir = PlayListDir(target);
  ReconnectIfLost();
  client_.EnterDir(dir);
  // Step 4: the local files' times. A server that refuses one is not asked again in this run.
  std::vector<Pending*> stamped;
  if (client_.SetsTimes()) {
    std::vector<FtpCommand> stamps;
    for (Pending* p : stored)
      if (p->modified >= 0) {
        stamps.push_back({"MFMT", UtcStamp(p->modified) + " " + p->temp});
        stamped.push_back(p);
      }
    const std::vector<FtpReply> replies = client_.Pipeline(stamps);
    for (std::size_t i = 0; i < replies.size(); ++i)
      if (replies[i].code != 213) {
        client_.NoteTimesNotKept("MFMT answered \"" + EscapeControls(replies[i].text) + "\"");
        stamped.clear();
        break;
      }
  }
  // Step 5: one look at the directory.
  std::vector<NameState> temps, names;
  bool sizes = true;  // false: the server has no SIZE, so there is nothing to compare
  if (client_.ListsExactly()) {
    Relist(dir);
    for (const Pending* p : stored) {
      temps.push_back(Listing(p->temp));
      names.push_back(Listing(sources[p->index].name));
    }
  } else {
    std::vector<FtpCommand> looks;
    for (const Pending* p : stored) {
      looks.push_back({"SIZE", p->temp});
      looks.push_back({"SIZE", sources[p->index].name});
      looks.push_back({"MDTM", sources[p->index].name});
    }
    const std::vector<FtpReply> replies = client_.Pipeline(looks);
    for (std::size_t i = 0; i < stored.size(); ++i) {
      sizes = sizes && replies[3 * i].code != 500 && replies[3 * i].code != 502;
      temps.push_back({SizeFrom(replies[3 * i]), {}});
      NameState now{SizeFrom(replies[3 * i + 1]), {}};
      if (now.size >= 0) now.modified = TimeFrom(replies[3 * i + 2]);
      names.push_back(now);
    }
  }
  std::vector<Pending*> ready;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    Pending& p = *stored[i];
    const std::string& name = sources[p.index].name;
    const bool replacing = p.before.size != -1;
    std::string problem;
    if (sizes && temps[i].size != p.sent)
      problem = temps[i].size < 0 ? "store file: the stored copy is gone from the player (removed by another program?)"
                                  : "store file: the player holds " + std::to_string(temps[i].size) + " of the " +
                                        std::to_string(p.sent) + " bytes sent";
    else if (!(names[i] == p.before))
      // Another transfer stored the song meanwhile: then this copy does not go over it.
      problem = replacing ? "the song on the player was changed by another transfer meanwhile; this copy was not put "
                            "in its place"
                          : "another transfer stored a song of this name meanwhile; this copy was not put in its place";
    if (problem.empty()) {
      ready.push_back(&p);
      continue;
    }
    p.settled = true;
    RemoveTransferFile(target, p.temp);
    Fail(name, problem);
  }
  // Step 6: the renames, one song at a time and each RNTO only after its RNFR was accepted: a
  // line the server lost can then never pair one song's temporary file with another's name.
  std::vector<Pending*> renamed;
  const auto settleRenamed = [&] {
    for (Pending* p : renamed) Stored(p->sent);
    renamed.clear();
  };
  for (Pending* pp : ready) {
    Pending& p = *pp;
    const std::string& name = sources[p.index].name;
    const NameState arrived = client_.ListsExactly() ? Listing(p.temp) : NameState{};
    bool fromAccepted = false, oldDeleted = false;
    try {
      try {
        client_.Rename(p.temp, name, &fromAccepted);
      } catch (const FtpError& e) {
        // Servers that do not rename over an existing file refuse RNTO; then the old song goes first.
        if (e.kind() != FtpError::Kind::Reply || !fromAccepted || p.before.size == -1) throw;
        PutInPlace(p.temp, name, true, oldDeleted);
      }
      p.settled = true;
      listing_.erase(p.temp);
      if (haveListing_) listing_[name] = arrived;
      renamed.push_back(&p);
    } catch (const FtpError& e) {
      if (oldDeleted) {
        p.settled = true;
        listing_.erase(name);
        Fail(name, std::string(e.what()) + "; the old song is deleted and the new one is kept on the player as " + p.temp);
        continue;
      }
      if (e.kind() == FtpError::Kind::Connection) {
        settleRenamed();
        throw;  // the batch ends; what is not settled is named there
      }
      p.settled = true;
      RemoveTransferFile(target, p.temp);
      Fail(name, e.what());
    }
  }
  CheckRenamed(dir, sources, renamed, stamped);
  settleRenamed();
}

void SongUploader::CheckRenamed(const std::string& dir, const std::vector<Source>& sources,
                                std::vector<Pending*>& renamed, const std::vector<Pending*>& stamped) {
  // One more look where it costs one round trip or one listing: each name must hold what was sent.
  if (renamed.empty() || !(client_.ListsExactly() || client_.ListingWay() == FtpListingWay::Stat)) return;
  Listed now;
  try {
    if (client_.ListsExactly()) {
      Relist(dir);
      now = listing_;
    } else {
      for (const FtpListEntry& entry : client_.ListDir(dir))
        if (entry.kind == FtpEntryKind::File) now[entry.name] = {entry.size, entry.modifiedUtc};
    }
  } catch (const FtpError&) {
    return;  // the replies said the songs are in place; the next batch connects again if need be
  }
  bool timesHeld = true;
  for (auto it = renamed.begin(); it != renamed.end();) {
    Pending& p = **it;
    const std::string& name = sources[p.index].name;
    const auto found = now.find(name);
    if (found != now.end() && found->second.size == p.sent) {
      long long held = 0;
      if (std::find(stamped.begin(), stamped.end(), &p) != stamped.end() &&
          (!ParseUtcStamp(found->second.modified, held) || std::llabs(held - p.modified) > 1))
        timesHeld = false;
      ++it;
      continue;
    }
    Fail(name, found == now.end()
                   ? std::string("the player shows no song of this name after it was put in place")
                   : "after it was put in place the player holds " + std::to_string(found->second.size) +
                         " bytes under this name, not the " + std::to_string(p.sent) + " sent");
    it = renamed.erase(it);
  }
  if (!timesHeld) client_.NoteTimesNotKept("a time set with MFMT did not hold");
}

void SongUploader::PutInPlace(const std::string& temp, const std::string& name, bool replacing, bool& oldDeleted) {
  if (replacing) {
    client_.Delete(name);
    oldDeleted = true;
  }
  client_.Rename(temp, name);
}

bool SongUploader::RemoveTransferFile(const TPlayListObj& target, const std::string& temp) {
  try {
    if (!client_.Connected()) {
      client_.Connect();
      client_.ChangeDir(PlayListDir(target));
    }
    try {
      client_.Delete(temp);
      return true;
    } catch (const FtpError& e) {
      if (e.kind() != FtpError::Kind::Reply) throw;
    }
    // DELE refused: fine when nothing was stored (a refused STOR).
    if (client_.Size(temp) == -1) return true;
  } catch (const std::exception&) {
  }
  leftovers_.push_back(temp);
  return false;
}

void SongUploader::RemoveLeftovers() {
  std::vector<std::string> left;
  for (const std::string& temp : leftovers_) {
    try {
      client_.Delete(temp);
    } catch (const FtpError&) {
      try {
        if (client_.Size(temp) != -1) left.push_back(temp);
      } catch (const FtpError&) {
        left.push_back(temp);  // the connection went again: the next file reconnects
      }
    }
  }
  leftovers_ = std::move(left);
}

std::string ServerFileName(const std::string& localPath) {
  return platform::Utf8FromPath(platform::PathFromUtf8(localPath).filename());
}

std::string SpeedText(std::int64_t bytes, double seconds, const std::string& decimalPoint) {
  if (!(seconds > 0)) return {};
  const long long hundredths =
      std::llround(static_cast<double>(bytes) / 1024.0 / seconds * 100.0);
  std::string fraction = std::to_string(hundredths % 100);
  if (fraction.size() < 2) fraction.insert(0, "0");
  return std::to_string(hundredths / 100) + decimalPoint + fraction + " KB/s";
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
