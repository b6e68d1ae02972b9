#include "core/Termination.h"

#include <atomic>
#include <mutex>

namespace kestrel {

namespace {
std::atomic<bool> g_requested{false};
std::mutex g_mutex;
TerminationHandler g_handler;
}  // namespace

void RequestTermination() {
  g_requested.store(true);
  TerminationHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_handler;
  }
  if (handler) handler();
}

bool TerminationRequested() { return g_requested.load(); }

void ClearTerminationRequest() { g_requested.store(false); }

void SetTerminationHandler(TerminationHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_handler = std::move(handler);
}

}  // namespace kestrel
