// The Settings folder: beside the program file, not in the working directory. Front ends and
// tests may point it elsewhere (the command line's --settings, a test's temporary folder).
#pragma once

#include <string>

namespace kestrel {

std::string SettingsDir();
void SetSettingsDir(const std::string& dir);  // empty: back to the folder beside the program

// SettingsDir() joined with `fileName`.
std::string SettingsFile(const std::string& fileName);

}  // namespace kestrel
