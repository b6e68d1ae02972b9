#include "core/CommandLine.h"

#include <mutex>

namespace kestrel {

namespace {
std::mutex g_mutex;
std::string g_first;
}  // namespace

void SetProgramArguments(int argc, const char* const* argv) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_first = (argc > 1 && argv != nullptr && argv[1] != nullptr) ? argv[1] : "";
}

std::string FirstProgramArgument() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_first;
}

bool IsDebugArgument(const std::string& firstArgument) { return firstArgument == "debug=1"; }

bool IsDebugMode() { return IsDebugArgument(FirstProgramArgument()); }

}  // namespace kestrel
