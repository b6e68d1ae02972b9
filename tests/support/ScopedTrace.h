// The debugger trace switched on into `sink` for the lifetime of the object; afterwards it is
// off again (or on, as KESTREL_TRACE had it) and writes where it wrote before, also when the
// test stops early.
#pragma once

#include <utility>

#include "platform/DebugTrace.h"

namespace kestrel::test {

class ScopedTrace {
 public:
  explicit ScopedTrace(platform::DebugTraceSink sink) : wasEnabled_(platform::DebugTraceEnabled()) {
    platform::SetDebugTraceSink(std::move(sink));
    platform::SetDebugTraceEnabled(true);
  }
  ~ScopedTrace() {
    platform::SetDebugTraceEnabled(wasEnabled_);
    platform::SetDebugTraceSink(nullptr);
  }
  ScopedTrace(const ScopedTrace&) = delete;
  ScopedTrace& operator=(const ScopedTrace&) = delete;

 private:
  bool wasEnabled_;
};

}  // namespace kestrel::test
