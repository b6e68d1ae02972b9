// How a front end runs a library operation that talks to the network. The window's session
// installs a runner that moves the operation off the window thread while the window stays
// painted but disabled; where none is installed (a window on its own, as in widget tests, or
// the command line) the operation runs at once.
#pragma once

#include <functional>

namespace kestrel {

using OperationRunner = std::function<void(const std::function<void()>&)>;

// Runs `operation` through `runner`, or at once without one.
inline void RunThrough(const OperationRunner& runner, const std::function<void()>& operation) {
  if (runner)
    runner(operation);
  else
    operation();
}

}  // namespace kestrel
