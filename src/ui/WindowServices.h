// What the parts of the main window share: the program's context (Settings folder, prompts),
// the shared state, the window over which dialogs open, the hand-over to the window thread,
// the runners that move network work off it, and the FTP connection with its store. The window
// owns one and hands it to each of its controllers; the session installs the runners and
// attaches the connection and store through the window.
#pragma once

#include <functional>
#include <utility>

#include "core/AppContext.h"
#include "core/OperationRunner.h"
#include "core/SharedState.h"

class QWidget;

namespace kestrel {
class FtpClient;
class PlayListStore;
}  // namespace kestrel

namespace kestrel::ui {

class WindowThreadGate;

struct WindowServices {
  AppContext& context;
  SharedState& state;
  QWidget* window;  // the main window
  WindowThreadGate& gate;
  OperationRunner run;               // empty: operations run at once
  BackgroundRunner runInBackground;  // empty: operations run at once
  FtpClient* ftp = nullptr;          // both attached by the session, or none
  PlayListStore* store = nullptr;

  // The prompts in use.
  Prompts& CurrentPrompts() const { return context.CurrentPrompts(); }
  // Runs a library operation that talks to the network through the runner installed.
  void Run(const std::function<void()>& operation) const { RunThrough(run, operation); }
  // The same, for handing on to a dialog: it follows the runner installed when it runs.
  OperationRunner Runner() const {
    return [this](const std::function<void()>& operation) { Run(operation); };
  }
  void RunInBackground(std::function<void()> operation, std::function<void()> done) const {
    kestrel::RunInBackground(runInBackground, std::move(operation), std::move(done));
  }
};

}  // namespace kestrel::ui
