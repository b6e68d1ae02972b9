// This program's process number, and whether a process of this computer is still running.
#pragma once

#include <cstdint>

namespace kestrel::platform {

std::uint32_t CurrentProcessId();

// True when a process with this number runs on this computer (or when that cannot be told).
bool ProcessRunning(std::uint32_t pid);

}  // namespace kestrel::platform
