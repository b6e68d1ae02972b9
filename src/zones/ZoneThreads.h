// The two background threads that serve the zones: the query thread polls one zone per second
// for its status, and the progress thread has the front end show the reload progress while a
// zone reloads its play lists. Neither wakes without work: the query thread sleeps through its
// pauses and, while a reload runs, until it has ended; the progress thread sleeps until a
// reload starts. Both stop within a few milliseconds of Stop(), also from inside a pause, and
// Stop() and the destructors join them, so nothing they use may be released before either has
// returned.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "bus/mSocket.h"
#include "core/SharedState.h"
#include "zones/ZoneTable.h"

namespace kestrel {

// A thread with a stop request that cuts its pauses short.
class StoppableThread {
 public:
  StoppableThread() = default;
  virtual ~StoppableThread() = default;
  StoppableThread(const StoppableThread&) = delete;
  StoppableThread& operator=(const StoppableThread&) = delete;

  void Start();
  // Asks the body to end and wakes its pause. Does not wait.
  void RequestStop();
  // RequestStop, then waits for the body to end.
  void Stop();
  // True from Start until the body has ended (asked to or by a failure).
  bool Running() const { return alive_; }
  bool StopRequested() const { return stop_; }

 protected:
  // Sleeps `ms` or until a stop request; false when asked to stop.
  bool Pause(int ms);
  // Call first in the destructor of a derived class.
  void Join();
  // Called by RequestStop after the request is set: a body that sleeps elsewhere than in
  // Pause wakes itself here.
  virtual void WakeForStop() {}

 private:
  virtual void Execute() = 0;
  // The thread's name in debuggers and process listings: 15 bytes at most, or it is cut.
  virtual const char* Name() const = 0;

  std::atomic<bool> stop_{false};
  std::atomic<bool> alive_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

class TQueryThread : public StoppableThread {
 public:
  // Pause after the two queries of one zone, and between two passes. Without zones a pass
  // takes no time, and the thread looks again after a zone's pause.
  static constexpr int kZonePauseMs = 1000;
  static constexpr int kPassPauseMs = 1;

  TQueryThread(const BusLink& bus, PollState& poll, ZoneTable& zones, const SharedState& state);
  ~TQueryThread() override { Join(); }

  // One polling pass over every zone in row order: under PollLock the zone polled before is
  // told that its poll has ended (ZoneTable::PollEnded), the polled address is set and the
  // status and play mode queries are sent; then a pause of a second. The pass ends early when
  // ZoneUpdating rises or a stop is requested.
  void QueryZones();

 private:
  void Execute() override;
  void WakeForStop() override { state_.ZoneUpdating.Notify(); }
  const char* Name() const override { return "kestrel-query"; }

  const BusLink& bus_;
  PollState& poll_;
  ZoneTable& zones_;
  const SharedState& state_;
  std::optional<std::size_t> polledRow_;  // whose replies are being taken
};

class TProgressThread : public StoppableThread {
 public:
  // After a hand-over that left ZoneUpdating set (the front end is closing), the pause before
  // the thread looks again.
  static constexpr int kLookMs = 10;

  // `showUpdateProgress` runs the progress window on the front end's thread and returns when
  // it has ended (or when the front end is closing).
  TProgressThread(const SharedState& state, std::function<void()> showUpdateProgress);
  ~TProgressThread() override { Join(); }

 private:
  void Execute() override;
  void WakeForStop() override { state_.ZoneUpdating.Notify(); }
  const char* Name() const override { return "kestrel-reload"; }

  const SharedState& state_;
  std::function<void()> showUpdateProgress_;
};

}  // namespace kestrel
