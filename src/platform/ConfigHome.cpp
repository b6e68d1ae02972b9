#include "platform/ConfigHome.h"

#ifdef _WIN32
#include <windows.h>
// (after windows.h, which it needs)
#include <shlobj.h>

#include <cstdlib>

#include "platform/Utf8Path.h"
#else
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>
#endif

namespace kestrel::platform {

#ifdef _WIN32

std::string UserConfigHome() {
  // The shell's answer follows a folder moved elsewhere (folder redirection), the variable not.
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK && path[0] != L'\0')
    return Utf8FromWide(path);
  const wchar_t* variable = _wgetenv(L"APPDATA");
  return variable != nullptr && variable[0] != L'\0' ? Utf8FromWide(variable) : std::string();
}

#else

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFolder() {
  const std::string home = Env("HOME");
  if (!home.empty() && home[0] == '/') return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buf.data(), buf.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] != '/')
    return {};
  return found->pw_dir;
}

}  // namespace

std::string UserConfigHome() {
  // A relative XDG_CONFIG_HOME is invalid and is ignored, as the base directory rules say.
  const std::string xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg;
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return home == "/" ? "/.config" : home + "/.config";
}

#endif

}  // namespace kestrel::platform
