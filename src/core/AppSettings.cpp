#include "core/AppSettings.h"

#include <filesystem>

#include "platform/ConfigHome.h"
#include "platform/ExePath.h"
#include "platform/FileWrite.h"
#include "platform/PrivateFolder.h"
#include "platform/Text.h"
#include "platform/Utf8Path.h"

namespace kestrel {

namespace {
const char kFolderName[] = "Settings";
// The program's folder in the user's configuration folder, in each system's custom.
#ifdef _WIN32
const char kAppFolderName[] = "Kestrel";
#else
const char kAppFolderName[] = "kestrel";
#endif
}  // namespace

SettingsFolder ChooseSettingsFolder(const std::string& given, const std::string& programDir,
                                    const std::string& configHome, BesideFolder beside) {
  if (!given.empty()) return {given, SettingsPlace::Given, {}};
  const std::string besideDir = platform::JoinPath(programDir, kFolderName);
  if (beside == BesideFolder::Usable || configHome.empty()) return {besideDir, SettingsPlace::BesideProgram, {}};
  const std::string why = beside == BesideFolder::Missing
                              ? "there is no Settings folder beside the program in " + programDir
                              : "the Settings folder beside the program in " + programDir + " can not be written";
  return {platform::JoinPath(platform::JoinPath(configHome, kAppFolderName), kFolderName), SettingsPlace::UserConfig, why};
}

SettingsFolder FindSettingsFolder(const std::string& given) {
  if (!given.empty()) return {given, SettingsPlace::Given, {}};
  const std::string programDir = platform::ExecutableDir();
  const std::string besideDir = platform::JoinPath(programDir, kFolderName);
  BesideFolder beside = platform::IsFolder(besideDir) ? BesideFolder::Usable : BesideFolder::Missing;
#ifdef _WIN32
  // Under Program Files a user may read the folder but not write it: settings written there
  // would fail, so such a copy keeps them in the user's own folder.
  std::string error;
  if (beside == BesideFolder::Usable && !platform::CanWriteIn(besideDir, error)) beside = BesideFolder::NotWritable;
#endif
  const SettingsFolder folder = ChooseSettingsFolder(
      "", programDir, beside == BesideFolder::Usable ? "" : platform::UserConfigHome(), beside);
#ifdef _WIN32
  // Made here, with its access list, before anything is written into it. A failure shows when a
  // file is written there.
  if (folder.place == SettingsPlace::UserConfig && !platform::IsFolder(folder.dir))
    MakeUserSettingsFolder(folder.dir, beside == BesideFolder::NotWritable ? besideDir : "", error);
#endif
  return folder;
}

bool MakeUserSettingsFolder(const std::string& dir, const std::string& seedFrom, std::string& error) {
  if (!platform::MakePrivateFolders(dir, error)) return false;
  if (seedFrom.empty()) return true;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path to = platform::PathFromUtf8(dir);
  for (fs::directory_iterator it(platform::PathFromUtf8(seedFrom), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    if (!platform::EqualNoCase(platform::Utf8FromPath(it->path().extension()), ".ini")) continue;
    // A new file takes the folder's access list; what the user has there already stays.
    fs::copy_file(it->path(), to / it->path().filename(), fs::copy_options::skip_existing, fileEc);
  }
  return true;
}

}  // namespace kestrel
