#include "platform/ConfigHome.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>
#endif

namespace kestrel::platform {

#ifdef _WIN32

std::string UserConfigHome() { return {}; }

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
