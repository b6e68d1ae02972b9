// Counts the time of a play list reload wait into UpdateWaitCounter by the steady clock, 10
// units per 100 ms. The counter thus tells the real time since the last update status reply
// (which resets it to 0) or since the wait began, however seldom it is counted and however long
// the steps in between take, and the wait times out once that time passes the limit (6000
// units, 60 s).
#pragma once

#include <chrono>

#include "core/SharedState.h"

namespace kestrel {

class UpdateWaitClock {
 public:
  using Clock = std::chrono::steady_clock;
  // The time of one counter unit.
  static constexpr std::chrono::milliseconds kUnit{10};

  // Starts counting now.
  explicit UpdateWaitClock(SharedState& state)
      : state_(state), counted_(Clock::now()), replies_(state.UpdateReplies.load()) {}

  // Adds the whole units passed since the last count (the rest is carried over); true when the
  // counter is past the limit. After a reply that reset the counter, counting starts anew from
  // now: the time before the reply is never counted after it, so a wait never ends early.
  bool Count();
  // Counts from now on, leaving out the time since the last count (someone else counted it).
  void Restart() { counted_ = Clock::now(); }

 private:
  SharedState& state_;
  Clock::time_point counted_;
  std::uint32_t replies_;
};

}  // namespace kestrel
