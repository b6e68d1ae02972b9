// Where this user's programs keep their settings when they are installed for everyone.
#pragma once

#include <string>

namespace kestrel::platform {

// $XDG_CONFIG_HOME when it holds an absolute path, else ".config" in the home folder ($HOME, or
// the user database when HOME is not set). Empty when there is no home folder, and on Windows,
// where the program keeps its settings beside itself.
std::string UserConfigHome();

}  // namespace kestrel::platform
