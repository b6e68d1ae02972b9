// Where the running program lies, and path joining with the platform's separator.
#pragma once

#include <string>

namespace kestrel::platform {

// The full path of the running executable (UTF-8); empty when the system does not say.
std::string ExecutablePath();

// The directory of the running executable, without a trailing separator.
std::string ExecutableDir();

// `dir` and `name` joined with the platform's path separator.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace kestrel::platform
