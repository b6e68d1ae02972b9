#include "playlists/UploadLoudnessSetting.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

#include "platform/ProfileIni.h"
#include "songs/SongScreening.h"

namespace kestrel {

namespace {

constexpr const char* kSection = "Upload";

}  // namespace

UploadLoudnessSetting ReadUploadLoudness(const std::string& settingsFile) {
  const platform::ProfileIndex ini(settingsFile);
  UploadLoudnessSetting setting;
  setting.normalize = ini.Read(kSection, "Normalize", "0") == "1";
  const std::string target = ini.Read(kSection, "TargetLufs", "");
  // Numbers are written with a full stop whatever the user's locale.
  std::istringstream in(target);
  in.imbue(std::locale::classic());
  double value = 0;
  if (in >> value && in.peek() == std::char_traits<char>::eof() && std::isfinite(value) &&
      value >= songs::kLowestTargetLufs && value <= songs::kHighestTargetLufs)
    setting.targetLufs = value;
  return setting;
}

bool WriteUploadLoudness(const std::string& settingsFile, const UploadLoudnessSetting& setting, std::string& error) {
  return platform::WriteProfileEntries(settingsFile,
                                       {{kSection, "Normalize", setting.normalize ? "1" : "0"},
                                        {kSection, "TargetLufs", TargetText(setting.targetLufs)}},
                                       platform::kSettingsFileMode, error);
}

std::string TargetText(double targetLufs) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::fixed << std::setprecision(1) << targetLufs;
  std::string shown = out.str();
  if (shown.size() > 2 && shown.compare(shown.size() - 2, 2, ".0") == 0) shown.resize(shown.size() - 2);
  return shown;
}

}  // namespace kestrel
