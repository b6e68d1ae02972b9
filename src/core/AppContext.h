// What one running program hands to the parts that need it: the prompts in use, the Settings
// folder, the debug flag, the request to quit, and what a part learns once and keeps for the
// rest of the run. Each program's entry builds one (the window's
// main before its session, the command line's main from its options) and passes it down by
// reference; a test builds its own. The library reads nothing of this kind from anywhere else.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>

#include "core/AppSettings.h"
#include "core/Prompts.h"

namespace kestrel {

class AppContext {
 public:
  // `settingsDir`: a Settings folder given (the command line's --settings, a test's temporary
  // folder); empty: the folder the rule of AppSettings.h chooses. `prompts`: where messages and
  // questions go (nullptr: StderrPrompts until SetPrompts). `debugMode`: the program was started
  // with "debug=1" (CommandLine.h).
  explicit AppContext(std::string settingsDir = {}, Prompts* prompts = nullptr, bool debugMode = false);
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  // --- prompts
  // The prompts in use. Safe on any thread.
  Prompts& CurrentPrompts() const;
  // Installs `prompts` (nullptr: back to StderrPrompts). The caller keeps them alive until it
  // installs others.
  void SetPrompts(Prompts* prompts);

  // --- the Settings folder with ftpServer.ini, Zone.ini and localIP.ini
  // The folder given, or the rule's choice on this run's facts (looked at anew each time, as a
  // folder beside the program may be made while the program runs).
  SettingsFolder CurrentSettingsFolder() const;
  std::string SettingsDir() const { return CurrentSettingsFolder().dir; }
  // SettingsDir() joined with `fileName`.
  std::string SettingsFile(const std::string& fileName) const;

  // --- the debug flag: every bus datagram carries the debug header word
  bool DebugMode() const { return debugMode_; }

  // --- the request to quit
  // The library cannot close a window or leave an event loop itself: it records the request and
  // calls the handler the front end installed (on the calling thread), which ends the program
  // once the current event has been handled (the window) or exits with an error status.
  void RequestTermination();
  bool TerminationRequested() const { return terminationRequested_.load(); }
  // Forgets an earlier request (a front end that has dealt with it).
  void ClearTerminationRequest() { terminationRequested_.store(false); }
  using TerminationHandler = std::function<void()>;
  // Installs the handler (an empty one removes it).
  void SetTerminationHandler(TerminationHandler handler);

  // --- what a part of the library learns once and keeps for the rest of the run (such as what
  // the FTP client found out about a server), shared by everything built on this context: one
  // object of each type T, made on first use and kept until the context goes. T looks after
  // its own thread safety.
  template <class T>
  T& RunState() {
    std::lock_guard<std::mutex> lock(runStateMutex_);
    std::shared_ptr<void>& slot = runState_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

 private:
  const std::string settingsDir_;
  const bool debugMode_;
  mutable StderrPrompts stderrPrompts_;  // keeps no state
  std::atomic<Prompts*> prompts_;
  std::atomic<bool> terminationRequested_{false};
  std::mutex handlerMutex_;
  TerminationHandler terminationHandler_;
  std::mutex runStateMutex_;
  std::map<std::type_index, std::shared_ptr<void>> runState_;
};

}  // namespace kestrel
