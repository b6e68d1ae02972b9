#include "platform/DebugTrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/Utf8Path.h"
#endif

namespace kestrel::platform {

namespace {
bool TraceFromEnvironment() {
  const char* v = std::getenv("KESTREL_TRACE");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}
DebugTraceSink& Sink() {
  static DebugTraceSink s;
  return s;
}
}  // namespace

namespace detail {
std::atomic<bool> g_traceEnabled{TraceFromEnvironment()};
}

void SetDebugTraceEnabled(bool on) { detail::g_traceEnabled.store(on, std::memory_order_relaxed); }

void SetDebugTraceSink(DebugTraceSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(sink);
}

void DebugTraceWrite(std::string_view text) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) {
    Sink()(text);
    return;
  }
#ifdef _WIN32
  OutputDebugStringW(WideFromUtf8(std::string(text)).c_str());
#else
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
#endif
}

}  // namespace kestrel::platform
