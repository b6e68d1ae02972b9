#include "core/AppSettings.h"

#include <mutex>

#include "platform/ExePath.h"

namespace kestrel {

namespace {
std::mutex g_mutex;
std::string g_override;
}  // namespace

std::string SettingsDir() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override.empty()) return g_override;
  }
  return platform::JoinPath(platform::ExecutableDir(), "Settings");
}

void SetSettingsDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = dir;
}

std::string SettingsFile(const std::string& fileName) {
  return platform::JoinPath(SettingsDir(), fileName);
}

}  // namespace kestrel
