// Whether the window's uploads even out the songs' loudness on the player's copies, and to what
// target: [Upload] Normalize (1 or 0) and TargetLufs in the program's settings file
// (kUploadSettingsFile), beside the number of connections the uploads use.
#pragma once

#include <string>

#include "songs/LoudnessPlan.h"

namespace kestrel {

struct UploadLoudnessSetting {
  bool normalize = false;
  double targetLufs = songs::kDefaultTargetLufs;
};

// What `settingsFile` holds: off unless Normalize is 1; the default target unless TargetLufs is
// a number from songs::kLowestTargetLufs to songs::kHighestTargetLufs.
UploadLoudnessSetting ReadUploadLoudness(const std::string& settingsFile);

// Writes both keys into `settingsFile`, keeping everything else it holds; false (why in
// `error`) when the file could not be written.
bool WriteUploadLoudness(const std::string& settingsFile, const UploadLoudnessSetting& setting, std::string& error);

// The target as the settings file and the window show it: "-18", "-16.5".
std::string TargetText(double targetLufs);

}  // namespace kestrel
