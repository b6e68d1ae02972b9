#include "platform/ThreadName.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#else
#include <pthread.h>
#endif

namespace kestrel::platform {

void SetCurrentThreadName(const char* name) {
#ifdef _WIN32
  const std::string narrow(name);
  SetThreadDescription(GetCurrentThread(), std::wstring(narrow.begin(), narrow.end()).c_str());
#else
  pthread_setname_np(pthread_self(), name);
#endif
}

}  // namespace kestrel::platform
