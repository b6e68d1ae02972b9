#include "platform/ExePath.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/Utf8Path.h"
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
  std::wstring wide(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (n < wide.size()) {
      wide.resize(n);
      break;
    }
    wide.resize(wide.size() * 2);  // a long path: the name was cut, try a larger buffer
  }
  path = Utf8FromWide(wide);
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
