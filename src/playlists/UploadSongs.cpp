#include "playlists/UploadSongs.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/Utf8Path.h"
#include "playlists/PlayListOperations.h"

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
  if (fs::is_directory(platform::PathFromUtf8(path), ec)) return path + " is a folder";
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) return "cannot open " + path + ": " + std::strerror(errno);
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
      if (song) result.failures.push_back({song->Name, e.what()});
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
  }
  result_ = nullptr;
  if (result.uploaded) {
    target.GotSong = false;
    playListsChanged_ = true;
  }
  if (listener_) listener_->Finished();
  if (!result.failures.empty()) prompts_.Show(PromptKind::ErrorOk, NotStoredText(result.failures));
  return result;
}

bool SongUploader::UploadSong(const TPlayListObj& target, const std::string& path) {
  client_.ChangeDir(PlayListDir(target));
  return UploadOne(target, {ServerFileName(path), path, nullptr});
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
    if (!source.fetch) {
      const std::string problem = LocalProblem(source.localPath);
      if (!problem.empty()) {
        Fail(name, problem);
        return false;
      }
    }
    const bool replacing = client_.Size(name) != -1;
    if (replacing && !prompts_.Confirm(ReplaceQuestion(name))) return false;
    if (listener_) listener_->TransferStarting();
    if (source.fetch) source.fetch();
    StoreAndRename(target, source, replacing);
    return true;
  } catch (const UploadCancelled&) {
    throw;
  } catch (const std::exception& e) {
    Fail(name, e.what());
    return false;
  }
}

void SongUploader::StoreAndRename(const TPlayListObj& target, const Source& source,
                                  bool replacing) {
  const std::string& name = source.name;
  const std::string part = name + kPartSuffix;
  try {
    client_.Store(source.localPath, part);
    // Only now that the new song is complete does the old one go.
    if (replacing) client_.Delete(name);
  } catch (const FtpError& e) {
    if (!RemovePartial(target, part))
      throw FtpError(e.kind(), std::string(e.what()) + "; the partial file " + part +
                                   " could not be removed");
    throw;
  } catch (const UploadCancelled&) {
    RemovePartial(target, part);
    throw;
  }
  try {
    client_.Rename(part, name);
  } catch (const FtpError& e) {
    if (replacing)
      throw FtpError(e.kind(), std::string(e.what()) + "; the new song is kept as " + part);
    RemovePartial(target, part);
    throw;
  }
}

bool SongUploader::RemovePartial(const TPlayListObj& target, const std::string& partName) {
  try {
    if (!client_.Connected()) {
      client_.Connect();
      client_.ChangeDir(PlayListDir(target));
    }
    try {
      client_.Delete(partName);
      return true;
    } catch (const FtpError& e) {
      if (e.kind() != FtpError::Kind::Reply) throw;
    }
    // DELE refused: fine when nothing was stored (a refused STOR).
    return client_.Size(partName) == -1;
  } catch (const std::exception&) {
    return false;
  }
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

std::string NotStoredText(const std::vector<UploadFailure>& failures) {
  std::string text = failures.size() == 1 ? "This file was not stored:\n"
                                          : "These files were not stored:\n";
  for (const UploadFailure& f : failures) text += "\n" + f.file + ": " + f.reason;
  return text;
}

}  // namespace kestrel
