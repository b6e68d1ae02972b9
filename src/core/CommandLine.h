// The program's command line. Only the first argument means anything: exactly "debug=1"
// switches the header word of every bus datagram.
#pragma once

#include <string>

namespace kestrel {

void SetProgramArguments(int argc, const char* const* argv);
std::string FirstProgramArgument();

// True when the first argument is exactly "debug=1" (case-sensitive, whole argument).
bool IsDebugMode();
bool IsDebugArgument(const std::string& firstArgument);

}  // namespace kestrel
