// The Settings folder with ftpServer.ini, Zone.ini and localIP.ini. The rule, the same for the
// window and the command line:
//   1. a folder given (the command line's --settings, a test's temporary folder) is used;
//   2. else the folder "Settings" beside the program file (not the working directory) when it
//      exists: the Windows layout, a portable copy, the build tree, the demo;
//   3. else, for a program installed for everyone (/usr/bin), the user's own folder
//      $XDG_CONFIG_HOME/kestrel/Settings (~/.config/kestrel/Settings when that is not set);
//   4. with no user folder either (no home folder, Windows), the folder beside the program.
// File names, sections and keys are the same wherever the folder is.
#pragma once

#include <string>

namespace kestrel {

enum class SettingsPlace {
  Given,          // named by the front end
  BesideProgram,  // "Settings" beside the program file
  UserConfig,     // the user's configuration folder
};

struct SettingsFolder {
  std::string dir;
  SettingsPlace place = SettingsPlace::BesideProgram;
};

// The rule above, on given facts: `given` (empty: none), the program's folder, the user's
// configuration folder (empty: none) and whether "Settings" exists beside the program.
SettingsFolder ChooseSettingsFolder(const std::string& given, const std::string& programDir,
                                    const std::string& configHome, bool besideExists);

// The rule on this run's facts (the program's folder, whether "Settings" exists beside it, the
// user's configuration folder), with `given` as above. AppContext asks it for the folder in use.
SettingsFolder FindSettingsFolder(const std::string& given);

}  // namespace kestrel
