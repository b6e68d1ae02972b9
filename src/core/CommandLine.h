// The program's command line. Only the first argument means anything: exactly "debug=1"
// switches the header word of every bus datagram. The program's entry reads it once into its
// context (AppContext::DebugMode).
#pragma once

#include <string>

namespace kestrel {

// True when the first argument is exactly "debug=1" (case-sensitive, whole argument).
bool IsDebugArgument(const std::string& firstArgument);
// IsDebugArgument of argv[1]; false without one.
bool DebugModeFromArguments(int argc, const char* const* argv);

}  // namespace kestrel
