// The Settings folder with ftpServer.ini, Zone.ini and localIP.ini. The rule, the same for the
// window and the command line:
//   1. a folder given (the command line's --settings, a test's temporary folder) is used;
//   2. else the folder "Settings" beside the program file (not the working directory) when it
//      exists (on Windows: when it exists and can be written): a portable copy or the unpacked
//      zip, the build tree, the demo;
//   3. else the user's own folder: on Linux, for a program installed for everyone (/usr/bin),
//      $XDG_CONFIG_HOME/kestrel/Settings (~/.config/kestrel/Settings when that is not set); on
//      Windows, for an installed copy (Program Files, the user's own programs folder),
//      %APPDATA%\Kestrel\Settings;
//   4. with no user folder either (no home folder), the folder beside the program.
// On Windows the user's folder is made on first use, readable by that user only, and when a
// Settings folder beside the program exists but can not be written, its INI files are copied
// into the new folder (an unpacked zip moved under Program Files keeps its zones).
// File names, sections and keys are the same wherever the folder is.
#pragma once

#include <string>

namespace kestrel {

enum class SettingsPlace {
  Given,          // named by the front end
  BesideProgram,  // "Settings" beside the program file
  UserConfig,     // the user's configuration folder
};

// The folder "Settings" beside the program, as the rule sees it.
enum class BesideFolder {
  Missing,
  NotWritable,  // exists, but files can not be written in it (only told apart on Windows)
  Usable,
};

struct SettingsFolder {
  std::string dir;
  SettingsPlace place = SettingsPlace::BesideProgram;
  // For UserConfig: why the folder beside the program is not used, in words for the user.
  std::string why;
};

// The rule above, on given facts: `given` (empty: none), the program's folder, the user's
// configuration folder (%APPDATA%, $XDG_CONFIG_HOME; empty: none) and the state of "Settings"
// beside the program.
SettingsFolder ChooseSettingsFolder(const std::string& given, const std::string& programDir,
                                    const std::string& configHome, BesideFolder beside);

// The rule on this run's facts (the program's folder, the state of "Settings" beside it, the
// user's configuration folder), with `given` as above. AppContext asks it for the folder in use.
// On Windows it makes the user's folder when that is chosen and missing (MakeUserSettingsFolder).
SettingsFolder FindSettingsFolder(const std::string& given);

// Makes the user's Settings folder `dir` readable by this user only and, when `seedFrom` names a
// folder, copies the INI files found there into it. False, with the reason in `error`, when the
// folder could not be made; a file that could not be copied is left out.
bool MakeUserSettingsFolder(const std::string& dir, const std::string& seedFrom, std::string& error);

}  // namespace kestrel
