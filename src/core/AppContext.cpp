#include "core/AppContext.h"

#include <utility>

#include "platform/ExePath.h"

namespace kestrel {

AppContext::AppContext(std::string settingsDir, Prompts* prompts, bool debugMode)
    : settingsDir_(std::move(settingsDir)), debugMode_(debugMode), prompts_(prompts) {}

Prompts& AppContext::CurrentPrompts() const {
  Prompts* p = prompts_.load();
  return p != nullptr ? *p : stderrPrompts_;
}

void AppContext::SetPrompts(Prompts* prompts) { prompts_.store(prompts); }

SettingsFolder AppContext::CurrentSettingsFolder() const { return FindSettingsFolder(settingsDir_); }

std::string AppContext::SettingsFile(const std::string& fileName) const {
  return platform::JoinPath(SettingsDir(), fileName);
}

void AppContext::RequestTermination() {
  terminationRequested_.store(true);
  TerminationHandler handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex_);
    handler = terminationHandler_;
  }
  if (handler) handler();
}

void AppContext::SetTerminationHandler(TerminationHandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  terminationHandler_ = std::move(handler);
}

}  // namespace kestrel
