#include "core/AppSettings.h"

#include <mutex>

#include "platform/ConfigHome.h"
#include "platform/ExePath.h"
#include "platform/FileWrite.h"

namespace kestrel {

namespace {
const char kFolderName[] = "Settings";

std::mutex g_mutex;
std::string g_override;
}  // namespace

SettingsFolder ChooseSettingsFolder(const std::string& given, const std::string& programDir,
                                    const std::string& configHome, bool besideExists) {
  if (!given.empty()) return {given, SettingsPlace::Given};
  const std::string beside = platform::JoinPath(programDir, kFolderName);
  if (besideExists || configHome.empty()) return {beside, SettingsPlace::BesideProgram};
  return {platform::JoinPath(platform::JoinPath(configHome, "kestrel"), kFolderName), SettingsPlace::UserConfig};
}

SettingsFolder CurrentSettingsFolder() {
  std::string given;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    given = g_override;
  }
  if (!given.empty()) return {given, SettingsPlace::Given};
  const std::string programDir = platform::ExecutableDir();
  const bool besideExists = platform::IsFolder(platform::JoinPath(programDir, kFolderName));
  return ChooseSettingsFolder("", programDir, besideExists ? "" : platform::UserConfigHome(), besideExists);
}

std::string SettingsDir() { return CurrentSettingsFolder().dir; }

void SetSettingsDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = dir;
}

std::string SettingsFile(const std::string& fileName) {
  return platform::JoinPath(SettingsDir(), fileName);
}

}  // namespace kestrel
