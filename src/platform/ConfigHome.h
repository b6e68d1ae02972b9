// Where this user's programs keep their settings when they are installed.
#pragma once

#include <string>

namespace kestrel::platform {

// $XDG_CONFIG_HOME when it holds an absolute path, else ".config" in the home folder ($HOME, or
// the user database when HOME is not set); empty when there is no home folder. On Windows the
// user's roaming application data folder (%APPDATA%, as the shell names it); empty when there is
// none.
std::string UserConfigHome();

}  // namespace kestrel::platform
