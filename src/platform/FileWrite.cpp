#include "platform/FileWrite.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

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

// A name beside `path` that no other writer picks.
fs::path TemporaryBeside(const fs::path& path) {
  std::random_device random;
  fs::path tmp = path;
  tmp += ".tmp" + std::to_string(random() % 1000000) + "~";
  return tmp;
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

bool CreatePrivateFile(const std::string& path, std::string& error) {
#ifdef _WIN32
  if (IsFile(path)) return true;
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::app);
  if (!out) return Fail(error, path, "can not be created");
  return true;
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(error, path, SystemError());
  close(fd);
  return true;
#endif
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

bool CopyFileOver(const std::string& from, const std::string& to, std::string& error) {
  std::error_code ec;
  if (!fs::copy_file(PathFromUtf8(from), PathFromUtf8(to), fs::copy_options::overwrite_existing, ec))
    return Fail(error, to, ec.message());
  return true;
}

bool ReplaceWholeFile(const std::string& path, const std::string& data, std::string& error,
                      const std::function<bool(const std::string& written)>& check) {
  const fs::path target = PathFromUtf8(path);
  if (target.has_parent_path() && !MakeFolders(Utf8FromPath(target.parent_path()), error)) return false;
  const fs::path tmp = TemporaryBeside(target);
  std::error_code ec;
  const auto discard = [&](const std::string& why) {
    fs::remove(tmp, ec);
    return Fail(error, path, why);
  };
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(error, path, "can not be written in its folder");
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.flush();
    if (!out) return discard("writing failed (is the disk full?)");
  }
  if (check && !check(Utf8FromPath(tmp))) return discard("what was written does not read back right");
#ifdef _WIN32
  if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return discard("can not be replaced");
#else
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) chmod(tmp.c_str(), st.st_mode & 07777);
  {
    // On the disk before it takes the old file's place.
    const int fd = open(tmp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  if (std::rename(tmp.c_str(), target.c_str()) != 0) return discard(SystemError());
#endif
  return true;
}

}  // namespace kestrel::platform
