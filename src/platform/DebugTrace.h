// The debugger trace. Off unless switched on (KESTREL_TRACE=1 in the environment, or
// SetDebugTraceEnabled); while off, KESTREL_TRACE_MSG does not even build its text.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

namespace kestrel::platform {

namespace detail {
extern std::atomic<bool> g_traceEnabled;
}

inline bool DebugTraceEnabled() { return detail::g_traceEnabled.load(std::memory_order_relaxed); }
void SetDebugTraceEnabled(bool on);

// Writes one trace line: to the debugger on Windows, to standard error elsewhere, and to the
// sink when one is set (tests use it to read the trace).
void DebugTraceWrite(std::string_view text);

using DebugTraceSink = std::function<void(std::string_view)>;
void SetDebugTraceSink(DebugTraceSink sink);

}  // namespace kestrel::platform

#define KESTREL_TRACE_MSG(expr)                                      \
  do {                                                               \
    if (::kestrel::platform::DebugTraceEnabled())                    \
      ::kestrel::platform::DebugTraceWrite(expr);                    \
  } while (0)
