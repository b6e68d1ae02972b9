#include "platform/ExePath.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/Utf8Path.h"
#else
#include <unistd.h>

#include <climits>
#endif

namespace kestrel::platform {

#ifdef _WIN32
static constexpr char kSep = '\\';

std::string ExecutablePath() {
  std::wstring wide(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (n < wide.size()) {
      wide.resize(n);
      break;
    }
    wide.resize(wide.size() * 2);  // a long path: the name was cut, try a larger buffer
  }
  return Utf8FromWide(wide);
}
#else
static constexpr char kSep = '/';

std::string ExecutablePath() {
  char buf[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}
#endif

std::string ExecutableDir() {
  const std::string path = ExecutablePath();
#ifdef _WIN32
  const auto cut = path.find_last_of("\\/");
#else
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
