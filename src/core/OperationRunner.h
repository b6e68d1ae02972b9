// How a front end runs a library operation that talks to the network. The window's session
// installs a runner that moves the operation off the window thread while the window stays
// painted but disabled; where none is installed (a window on its own, as in widget tests, or
// the command line) the operation runs at once.
#pragma once

#include <functional>
#include <utility>

namespace kestrel {

using OperationRunner = std::function<void(const std::function<void()>&)>;

// Runs `operation` through `runner`, or at once without one.
inline void RunThrough(const OperationRunner& runner, const std::function<void()>& operation) {
  if (runner)
    runner(operation);
  else
    operation();
}

// The same for an operation during which the window stays in use (reading a play list's songs
// while the user goes on clicking): the runner returns at once and calls `done` on the window
// thread when the operation has ended. The window's session runs it off the window thread,
// one operation at a time: after the operation running now, and an OperationRunner call waits
// for it. The operation must own, or leave alone, everything the window uses meanwhile.
using BackgroundRunner = std::function<void(std::function<void()> operation, std::function<void()> done)>;

// Runs `operation` through `runner`, or `operation` and then `done` at once without one.
inline void RunInBackground(const BackgroundRunner& runner, std::function<void()> operation,
                            std::function<void()> done) {
  if (runner) {
    runner(std::move(operation), std::move(done));
    return;
  }
  operation();
  done();
}

}  // namespace kestrel
