#include "core/AppSettings.h"

#include "platform/ConfigHome.h"
#include "platform/ExePath.h"
#include "platform/FileWrite.h"

namespace kestrel {

namespace {
const char kFolderName[] = "Settings";
}  // namespace

SettingsFolder ChooseSettingsFolder(const std::string& given, const std::string& programDir,
                                    const std::string& configHome, bool besideExists) {
  if (!given.empty()) return {given, SettingsPlace::Given};
  const std::string beside = platform::JoinPath(programDir, kFolderName);
  if (besideExists || configHome.empty()) return {beside, SettingsPlace::BesideProgram};
  return {platform::JoinPath(platform::JoinPath(configHome, "kestrel"), kFolderName), SettingsPlace::UserConfig};
}

SettingsFolder FindSettingsFolder(const std::string& given) {
  if (!given.empty()) return {given, SettingsPlace::Given};
  const std::string programDir = platform::ExecutableDir();
  const bool besideExists = platform::IsFolder(platform::JoinPath(programDir, kFolderName));
  return ChooseSettingsFolder("", programDir, besideExists ? "" : platform::UserConfigHome(), besideExists);
}

}  // namespace kestrel
