#include "platform/FileLock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/FileWrite.h"
#include "platform/Sleep.h"
#include "platform/Utf8Path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kestrel::platform {

namespace {

enum class Attempt { Taken, Busy, Failed };

#ifdef _WIN32
Attempt TryLock(const std::string& lockPath, unsigned, void*& handle, std::string& error) {
  const HANDLE file = CreateFileW(PathFromUtf8(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = lockPath + ": can not be opened (error " + std::to_string(GetLastError()) + ")";
    return Attempt::Failed;
  }
  OVERLAPPED at{};
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    handle = file;
    return Attempt::Taken;
  }
  const DWORD why = GetLastError();
  CloseHandle(file);
  if (why == ERROR_LOCK_VIOLATION || why == ERROR_IO_PENDING) return Attempt::Busy;
  error = lockPath + ": can not be locked (error " + std::to_string(why) + ")";
  return Attempt::Failed;
}
#else
Attempt TryLock(const std::string& lockPath, unsigned mode, int& fd, std::string& error) {
  int file = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
  // A lock file that another user made: locking needs only reading it.
  if (file < 0 && errno == EACCES) file = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    error = lockPath + ": " + std::strerror(errno);
    return Attempt::Failed;
  }
  int result = 0;
  do {
    result = flock(file, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    fd = file;
    return Attempt::Taken;
  }
  const int why = errno;
  close(file);
  if (why == EWOULDBLOCK) return Attempt::Busy;
  error = lockPath + ": can not be locked: " + std::strerror(why);
  return Attempt::Failed;
}
#endif

}  // namespace

FileLock::~FileLock() { Unlock(); }

#ifdef _WIN32
FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Unlock();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}
bool FileLock::Locked() const { return handle_ != nullptr; }
void FileLock::Unlock() {
  if (handle_ == nullptr) return;
  // Closing the handle ends its lock.
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}
#else
FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Unlock();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}
bool FileLock::Locked() const { return fd_ >= 0; }
void FileLock::Unlock() {
  if (fd_ < 0) return;
  // Closing the only descriptor of the open file ends its lock.
  close(fd_);
  fd_ = -1;
}
#endif

std::string FileLock::PathFor(const std::string& path) { return path + ".lock"; }

bool FileLock::Lock(const std::string& path, unsigned mode, std::string& error, std::chrono::milliseconds wait) {
  Unlock();
  const std::filesystem::path folder = PathFromUtf8(path).parent_path();
  if (!folder.empty() && !MakeFolders(Utf8FromPath(folder), error)) return false;
  const std::string lockPath = PathFor(path);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  unsigned pause = 1;
  for (;;) {
#ifdef _WIN32
    const Attempt attempt = TryLock(lockPath, mode, handle_, error);
#else
    const Attempt attempt = TryLock(lockPath, mode, fd_, error);
#endif
    if (attempt == Attempt::Taken) return true;
    if (attempt == Attempt::Failed) return false;
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "another program is changing " + path + " (it holds " + lockPath + ")";
      return false;
    }
    // Writers hold the lock for a moment: look again soon, then less often.
    SleepMs(pause);
    pause = std::min(pause * 2, 50u);
  }
}

}  // namespace kestrel::platform
