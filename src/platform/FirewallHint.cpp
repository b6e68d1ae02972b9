#include "platform/FirewallHint.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/Utf8Path.h"
#endif

namespace kestrel::platform {

#ifdef _WIN32

namespace {

// The running program's file name, such as kestrel-cli.exe.
std::string ProgramFileName() {
  std::wstring wide(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (n < wide.size()) {
      wide.resize(n);
      break;
    }
    wide.resize(wide.size() * 2);
  }
  const auto cut = wide.find_last_of(L"\\/");
  return Utf8FromWide(cut == std::wstring::npos ? wide : wide.substr(cut + 1));
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
