#include "platform/ThreadName.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/Utf8Path.h"
#else
#include <pthread.h>
#endif

namespace kestrel::platform {

std::string KeptThreadName(std::string_view name) {
  if (name.size() <= kThreadNameMax) return std::string(name);
  std::size_t end = kThreadNameMax;
  // Back over continuation bytes (10xxxxxx) to the start of the character that would be cut.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return std::string(name.substr(0, end));
}

#ifdef _WIN32

namespace {
// Both exist from Windows 10 1607 on; older systems simply keep no name.
template <typename Function>
Function Kernel32(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}
}  // namespace

bool SetCurrentThreadName(std::string_view name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set = Kernel32<SetDescription>("SetThreadDescription");
  return set != nullptr && SUCCEEDED(set(GetCurrentThread(), WideFromUtf8(KeptThreadName(name)).c_str()));
}

std::string CurrentThreadName() {
  using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  static const auto get = Kernel32<GetDescription>("GetThreadDescription");
  PWSTR text = nullptr;
  if (get == nullptr || FAILED(get(GetCurrentThread(), &text)) || text == nullptr) return {};
  const std::string name = Utf8FromWide(text);
  LocalFree(text);
  return name;
}

#else

bool SetCurrentThreadName(std::string_view name) {
  return pthread_setname_np(pthread_self(), KeptThreadName(name).c_str()) == 0;
}

std::string CurrentThreadName() {
  char name[kThreadNameMax + 1] = {};
  return pthread_getname_np(pthread_self(), name, sizeof name) == 0 ? std::string(name) : std::string();
}

#endif

}  // namespace kestrel::platform
