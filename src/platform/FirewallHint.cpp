#include "platform/FirewallHint.h"

#ifdef _WIN32
#include "platform/ExePath.h"
#endif

namespace kestrel::platform {

#ifdef _WIN32

namespace {

// The running program's file name, such as kestrel-cli.exe.
std::string ProgramFileName() {
  const std::string path = ExecutablePath();
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::string DataConnectionHint() {
  return "The Windows firewall may have blocked it: allow " + ProgramFileName() +
         " to receive inbound TCP connections from the player's subnet (Windows Defender Firewall, "
         "Advanced settings, Inbound Rules), or install Kestrel for all users, which adds that rule.";
}

#else

std::string DataConnectionHint() { return {}; }

#endif

}  // namespace kestrel::platform
