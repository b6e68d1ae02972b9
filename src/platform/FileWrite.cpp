#include "platform/FileWrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

#include "platform/Sleep.h"
#include "platform/Utf8Path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrel::platform {

namespace fs = std::filesystem;

namespace {

bool Fail(std::string& error, const std::string& what, const std::string& why) {
  error = what + ": " + why;
  return false;
}

#ifndef _WIN32
std::string SystemError() { return std::strerror(errno); }
#endif

// A name beside `path` that another writer is unlikely to pick; a file is made under it only
// when none has it.
fs::path TemporaryBeside(const fs::path& path) {
  std::random_device random;
  fs::path tmp = path;
  tmp += ".tmp" + std::to_string(random() % 1000000) + "~";
  return tmp;
}

// A new file beside the one it is to replace, under a name of its own; removed again unless it
// took that file's place.
class NewFile {
 public:
  NewFile() = default;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile();

  // Makes the file with the permission bits `mode`; with `exact`, the umask does not narrow them
  // (the mode of the file it replaces). Nothing is in it before the mode is set.
  bool Create(const fs::path& target, unsigned mode, bool exact, std::string& why);
  // Writes `data`, puts it on the disk and closes the file.
  bool WriteAndClose(const std::string& data, std::string& why);
  // Renames the file over `target`, and puts the folder's change on the disk.
  bool TakePlaceOf(const fs::path& target, std::string& why);
  const fs::path& Path() const { return path_; }

 private:
  enum class Made { Yes, NameTaken, Failed };
  // Makes the file under the name `tmp`, unless a file has that name.
  Made MakeAs(const fs::path& tmp, unsigned mode, bool exact, std::string& why);

  fs::path path_;
  bool placed_ = false;
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

// How many names a writer tries before it gives up: each try that fails met another's file.
constexpr int kNameTries = 100;

#ifdef _WIN32
// How long a replacement waits for a reader of the file: kReplaceTries pauses of kReplacePauseMs.
constexpr int kReplaceTries = 50;
constexpr unsigned kReplacePauseMs = 20;

std::string WindowsError(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

NewFile::~NewFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  std::error_code ec;
  if (!placed_ && !path_.empty()) fs::remove(path_, ec);
}

NewFile::Made NewFile::MakeAs(const fs::path& tmp, unsigned, bool, std::string& why) {
  handle_ = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ != INVALID_HANDLE_VALUE) return Made::Yes;
  if (GetLastError() == ERROR_FILE_EXISTS) return Made::NameTaken;
  why = WindowsError("can not be written in its folder");
  return Made::Failed;
}

bool NewFile::WriteAndClose(const std::string& data, std::string& why) {
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
    DWORD wrote = 0;
    if (!WriteFile(handle_, data.data() + done, chunk, &wrote, nullptr)) {
      why = WindowsError("writing failed");
      return false;
    }
    done += wrote;
  }
  const bool flushed = FlushFileBuffers(handle_) != 0;
  if (!flushed) why = WindowsError("writing failed");
  CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  return flushed;
}

bool NewFile::TakePlaceOf(const fs::path& target, std::string& why) {
  // A reader that has the file open (another program reading its settings, a virus scanner)
  // keeps it from being replaced for a moment.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kReplaceTries) {
      why = WindowsError("can not be replaced");
      return false;
    }
    SleepMs(kReplacePauseMs);
  }
  placed_ = true;
  return true;
}
#else
NewFile::~NewFile() {
  if (fd_ >= 0) close(fd_);
  if (!placed_ && !path_.empty()) unlink(path_.c_str());
}

NewFile::Made NewFile::MakeAs(const fs::path& tmp, unsigned mode, bool exact, std::string& why) {
  fd_ = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd_ >= 0) {
    // The umask may only have taken bits away; a failure leaves the narrower mode.
    if (exact) (void)fchmod(fd_, static_cast<mode_t>(mode));
    return Made::Yes;
  }
  if (errno == EEXIST) return Made::NameTaken;
  why = "can not be written in its folder: " + SystemError();
  return Made::Failed;
}

bool NewFile::WriteAndClose(const std::string& data, std::string& why) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t wrote = write(fd_, data.data() + done, data.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) {
      why = "writing failed: " + SystemError();
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (fsync(fd_) != 0) {
    why = "writing failed: " + SystemError();
    return false;
  }
  if (close(std::exchange(fd_, -1)) != 0) {
    why = "writing failed: " + SystemError();
    return false;
  }
  return true;
}

bool NewFile::TakePlaceOf(const fs::path& target, std::string& why) {
  if (std::rename(path_.c_str(), target.c_str()) != 0) {
    why = SystemError();
    return false;
  }
  placed_ = true;
  // The rename itself on the disk: the folder's entry.
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)fsync(dir);
    close(dir);
  }
  return true;
}
#endif

bool NewFile::Create(const fs::path& target, unsigned mode, bool exact, std::string& why) {
  for (int attempt = 0; attempt < kNameTries; ++attempt) {
    const fs::path tmp = TemporaryBeside(target);
    const Made made = MakeAs(tmp, mode, exact, why);
    if (made == Made::Failed) return false;
    if (made == Made::Yes) {
      path_ = tmp;
      return true;
    }
  }
  why = "no free name for a new file beside it";
  return false;
}

}  // namespace

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(PathFromUtf8(path), ec);
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(PathFromUtf8(path), ec);
}

const char* NewFileLineEnd() {
#ifdef _WIN32
  return "\r\n";
#else
  return "\n";
#endif
}

bool MakeFolders(const std::string& dir, std::string& error) {
  const fs::path target = PathFromUtf8(dir);
  std::error_code ec;
  if (fs::is_directory(target, ec)) return true;
  if (target.has_parent_path() && target.parent_path() != target &&
      !MakeFolders(Utf8FromPath(target.parent_path()), error))
    return false;
#ifdef _WIN32
  if (!fs::create_directory(target, ec) && !fs::is_directory(target)) return Fail(error, dir, ec.message());
#else
  if (mkdir(target.c_str(), 0700) != 0 && errno != EEXIST) return Fail(error, dir, SystemError());
  if (!fs::is_directory(target, ec)) return Fail(error, dir, "not a folder");
#endif
  return true;
}

bool CanWriteIn(const std::string& dir, std::string& error) {
  fs::path at = PathFromUtf8(dir);
  std::error_code ec;
  while (!fs::exists(at, ec)) {
    if (!at.has_parent_path() || at.parent_path() == at) {
      at = ".";  // a relative name: it would be made in the working folder
      break;
    }
    at = at.parent_path();
  }
  if (!fs::is_directory(at, ec)) return Fail(error, Utf8FromPath(at), "not a folder");
  const fs::path probe = TemporaryBeside(at / "kestrel-write-test");
#ifdef _WIN32
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(error, Utf8FromPath(at), "files can not be written there");
  }
#else
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(error, Utf8FromPath(at), SystemError());
  close(fd);
#endif
  fs::remove(probe, ec);
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return true;
}

unsigned FileMode(const std::string& path, unsigned fallback) {
#ifdef _WIN32
  (void)path;
  return fallback;
#else
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : fallback;
#endif
}

bool ReplaceWholeFile(const std::string& path, const std::string& data, std::string& error,
                      const std::function<bool(const std::string& written)>& check, unsigned newFileMode) {
  const fs::path target = PathFromUtf8(path);
  if (target.has_parent_path() && !MakeFolders(Utf8FromPath(target.parent_path()), error)) return false;
  NewFile file;
  std::string why;
  if (!file.Create(target, FileMode(path, newFileMode), IsFile(path), why)) return Fail(error, path, why);
  if (!file.WriteAndClose(data, why)) return Fail(error, path, why);
  if (check && !check(Utf8FromPath(file.Path()))) return Fail(error, path, "what was written does not read back right");
  if (!file.TakePlaceOf(target, why)) return Fail(error, path, why);
  return true;
}

}  // namespace kestrel::platform
