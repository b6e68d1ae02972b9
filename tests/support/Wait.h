// Waiting for what another thread, a peer or the event loop brings about: look at a condition
// until it holds, doing something brief between two looks (a short sleep unless the test gives
// its own step, such as handling the window's events). False once `timeout` has passed.
#pragma once

#include <chrono>
#include <thread>

namespace kestrel::test {

template <typename Condition, typename Step>
bool WaitUntil(Condition done, std::chrono::milliseconds timeout, Step between) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    between();
  }
  return true;
}

template <typename Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  return WaitUntil(done, timeout, [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

}  // namespace kestrel::test
