#include "core/CommandLine.h"

namespace kestrel {

bool IsDebugArgument(const std::string& firstArgument) { return firstArgument == "debug=1"; }

bool DebugModeFromArguments(int argc, const char* const* argv) {
  return argc > 1 && argv != nullptr && argv[1] != nullptr && IsDebugArgument(argv[1]);
}

}  // namespace kestrel
