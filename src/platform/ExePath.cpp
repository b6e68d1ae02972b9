#include "platform/ExePath.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#include <climits>
#endif

namespace kestrel::platform {

namespace {
#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif
}  // namespace

std::string ExecutableDir() {
  std::string path;
#ifdef _WIN32
  char buf[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  path.assign(buf, n);
  const auto cut = path.find_last_of("\\/");
#else
  char buf[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) path.assign(buf, static_cast<size_t>(n));
  const auto cut = path.find_last_of('/');
#endif
  if (cut == std::string::npos) return ".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == kSep || dir.back() == '/') return dir + name;
  return dir + kSep + name;
}

}  // namespace kestrel::platform
