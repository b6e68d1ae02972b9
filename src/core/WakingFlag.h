// A Boolean shared between threads that a thread can sleep on instead of looking at it again
// and again: every change of the flag wakes the threads waiting in Wait or WaitFor, and so does
// Notify, for a change of something else their condition looks at (a stop request). Reading it
// costs what reading a std::atomic<bool> costs; a write that changes it also takes a lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kestrel {

class WakingFlag {
 public:
  explicit WakingFlag(bool value = false) : value_(value) {}
  WakingFlag(const WakingFlag&) = delete;
  WakingFlag& operator=(const WakingFlag&) = delete;

  bool load() const { return value_.load(); }
  operator bool() const { return load(); }
  void store(bool value) {
    if (value_.exchange(value) != value) Notify();
  }
  WakingFlag& operator=(bool value) {
    store(value);
    return *this;
  }

  // Wakes every waiter so that it looks at its condition again. Whoever changes what a
  // condition looks at changes it first, then calls this.
  void Notify() const {
    // Taking the lock orders the change before a waiter's look or after its falling asleep.
    { std::lock_guard<std::mutex> lock(mutex_); }
    changed_.notify_all();
  }

  // Sleeps until `done()` holds; `done` is looked at under the flag's lock, at first and after
  // each change or Notify.
  template <typename Condition>
  void Wait(const Condition& done) const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&done] { return done(); });
  }
  // The same for at most `timeout`; returns done().
  template <typename Condition>
  bool WaitFor(std::chrono::milliseconds timeout, const Condition& done) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&done] { return done(); });
  }

 private:
  std::atomic<bool> value_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
};

}  // namespace kestrel
