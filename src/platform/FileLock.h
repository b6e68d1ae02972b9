// The lock that writers of one settings file take, so that a read, a check and the replacement
// of the file by one writer never interleave with another's: the kestrel-cli commands, the
// window's dialogs, two programs or two threads alike. It is an advisory lock on a file of its
// own beside the settings file ("Zone.ini.lock"), which is made once and never removed (a
// removed lock file would let two writers lock two different files).
#pragma once

#include <chrono>
#include <string>

namespace kestrel::platform {

class FileLock {
 public:
  // How long Lock waits for another writer by default: writers hold the lock for the moment a
  // file takes to be read and written.
  static constexpr std::chrono::milliseconds kDefaultWait{10000};

  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // The lock file of the settings file `path`.
  static std::string PathFor(const std::string& path);

  // Takes the lock of the settings file `path`, making its folders and its lock file (with the
  // permission bits `mode`) when missing; waits up to `wait` while another writer holds it.
  // False, with the reason in `error`, when it was not taken.
  bool Lock(const std::string& path, unsigned mode, std::string& error, std::chrono::milliseconds wait = kDefaultWait);
  void Unlock();
  bool Locked() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE; null when not locked
#else
  int fd_ = -1;
#endif
};

}  // namespace kestrel::platform
