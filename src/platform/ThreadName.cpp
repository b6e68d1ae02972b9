#include "platform/ThreadName.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/Utf8Path.h"
#else
#include <pthread.h>
#endif

namespace kestrel::platform {

void SetCurrentThreadName(const char* name) {
#ifdef _WIN32
  // SetThreadDescription exists from Windows 10 1607 on; older systems simply keep no name.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set != nullptr) set(GetCurrentThread(), WideFromUtf8(name).c_str());
#else
  pthread_setname_np(pthread_self(), name);
#endif
}

}  // namespace kestrel::platform
