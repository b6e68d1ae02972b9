#include "playlists/UploadSongs.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

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
    throw std::runtime_error("cannot create a temporary folder in " + base.string());
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

UploadResult SongUploader::UploadSongs(TPlayListObj& target,
                                       const std::vector<std::string>& paths) {
  std::vector<Source> sources;
  sources.reserve(paths.size());
  for (const std::string& path : paths) sources.push_back({ServerFileName(path), path, nullptr});
  return Run(target, sources);
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
  return Run(target, sources);
}

UploadResult SongUploader::Run(TPlayListObj& target, const std::vector<Source>& sources) {
  UploadResult result;
  result_ = &result;
  leftovers_.clear();
  const int count = static_cast<int>(sources.size());
  {
    WorkHandlersInstalled handlers(client_, listener_, cancel_);
    for (int i = 0; i < count; ++i) {
      if (cancel_ && *cancel_) {
        result.cancelled = true;
        break;
      }
      if (listener_) listener_->FileStarting(i + 1, count);
      try {
        ReconnectIfLost();
        client_.ChangeDir(PlayListDir(target));
        RemoveLeftovers();
        if (UploadOne(target, sources[static_cast<std::size_t>(i)])) result.uploaded = true;
      } catch (const UploadCancelled&) {
        result.cancelled = true;
      } catch (const std::exception& e) {
        // No connection, or the play list cannot be entered: this file and the rest stay here.
        for (int j = i; j < count; ++j) Fail(sources[static_cast<std::size_t>(j)].name, e.what());
        if (listener_) listener_->FileDone(i + 1, count);
        break;
      }
      if (listener_) listener_->FileDone(i + 1, count);
      if (result.cancelled) break;
    }
    if (!leftovers_.empty()) {
      try {
        ReconnectIfLost();
        client_.ChangeDir(PlayListDir(target));
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
  if (!result.failures.empty() || !result.leftovers.empty())
    prompts_.Show(PromptKind::ErrorOk, NotStoredText(result.failures, result.leftovers));
  return result;
}

bool SongUploader::UploadSong(const TPlayListObj& target, const std::string& path) {
  client_.ChangeDir(PlayListDir(target));
  return UploadOne(target, {ServerFileName(path), path, nullptr});
}

SongUploader::NameState SongUploader::StateOf(const std::string& name) {
  NameState state;
  state.size = client_.Size(name);
  if (state.size >= 0) state.modified = client_.ModificationTime(name);
  return state;
}

bool SongUploader::UploadOne(const TPlayListObj& target, const Source& source) {
  const std::string& name = source.name;
  // A fetched copy is only needed until it is stored.
  struct RemoveFetched {
    const Source& source;
    ~RemoveFetched() {
      std::error_code ec;
      if (source.fetch) fs::remove(platform::PathFromUtf8(source.localPath), ec);
    }
  } removeFetched{source};
  try {
    if (const std::string problem = NewServerNameProblem(name); !problem.empty()) {
      Fail(name, problem);
      return false;
    }
    if (!source.fetch) {
      const std::string problem = LocalProblem(source.localPath);
      if (!problem.empty()) {
        Fail(name, problem);
        return false;
      }
    }
    const NameState before = StateOf(name);
    if (before.size != -1 && !prompts_.Confirm(ReplaceQuestion(name))) return false;
    if (listener_) listener_->TransferStarting();
    if (source.fetch) source.fetch();
    const std::int64_t bytes = StoreAndRename(target, source, before);
    if (listener_) listener_->FileStored(bytes);
    return true;
  } catch (const UploadCancelled&) {
    throw;
  } catch (const std::exception& e) {
    Fail(name, e.what());
    return false;
  }
}

std::int64_t SongUploader::StoreAndRename(const TPlayListObj& target, const Source& source,
                                          const NameState& before) {
  const std::string& name = source.name;
  const std::string temp = TransferName::New();
  const bool replacing = before.size != -1;
  std::int64_t sent = 0;
  try {
    sent = client_.Store(source.localPath, temp);
    CheckStored(temp, sent);
    // Another transfer may have stored the song meanwhile: then this copy does not go over it.
    if (!(StateOf(name) == before))
      throw FtpError(FtpError::Kind::Reply,
                     replacing ? "the song on the player was changed by another transfer meanwhile; this copy was "
                                 "not put in its place"
                               : "another transfer stored a song of this name meanwhile; this copy was not put in "
                                 "its place");
  } catch (const UploadCancelled&) {
    RemoveTransferFile(target, temp);
    throw;
  } catch (const FtpError&) {
    RemoveTransferFile(target, temp);
    throw;
  }
  bool oldDeleted = false;
  try {
    PutInPlace(temp, name, replacing, oldDeleted);
  } catch (const FtpError& e) {
    if (oldDeleted)
      throw FtpError(e.kind(), std::string(e.what()) + "; the old song is deleted and the new one is kept on the "
                                                       "player as " + temp);
    RemoveTransferFile(target, temp);
    throw;
  }
  return sent;
}

void SongUploader::CheckStored(const std::string& temp, std::int64_t sent) {
  int code = 0;
  const std::int64_t size = client_.Size(temp, &code);
  if (code == 500 || code == 502) return;  // a server without SIZE: nothing to compare
  if (size == sent) return;
  throw FtpError(FtpError::Kind::Reply,
                 size < 0 ? "store file: the stored copy is gone from the player (removed by another program?)"
                          : "store file: the player holds " + std::to_string(size) + " of the " +
                                std::to_string(sent) + " bytes sent");
}

void SongUploader::PutInPlace(const std::string& temp, const std::string& name, bool replacing, bool& oldDeleted) {
  try {
    client_.Rename(temp, name);
    return;
  } catch (const FtpError& e) {
    // Servers that do not rename over an existing file refuse; then the old song goes first.
    if (!replacing || e.kind() != FtpError::Kind::Reply) throw;
  }
  client_.Delete(name);
  oldDeleted = true;
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
