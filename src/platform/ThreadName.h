#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel::platform {

// Linux keeps at most 15 bytes of a thread's name and refuses a longer one outright. So that
// every system shows the same name, a longer name is cut to its first 15 bytes everywhere,
// never inside a UTF-8 character.
inline constexpr std::size_t kThreadNameMax = 15;
std::string KeptThreadName(std::string_view name);

// Names the calling thread for debuggers and process listings with KeptThreadName(name).
// False when the system took no name (Windows before 10 1607).
bool SetCurrentThreadName(std::string_view name);
// The calling thread's name as the system holds it (empty where it keeps none).
std::string CurrentThreadName();

}  // namespace kestrel::platform
