#include "core/UpdateWaitClock.h"

#include <algorithm>
#include <cstdint>

namespace kestrel {

bool UpdateWaitClock::Count() {
  if (const std::uint32_t replies = state_.UpdateReplies.load(); replies != replies_) {
    replies_ = replies;
    Restart();
    return state_.UpdateWaitCounter > state_.UpdateWaitLimit;
  }
  const auto units = (Clock::now() - counted_) / kUnit;
  counted_ += units * kUnit;
  // However long the thread was held up, the counter does not wrap.
  const auto added = static_cast<std::int32_t>(std::min<decltype(units)>(units, kUpdateWaitLimit * 100));
  return (state_.UpdateWaitCounter += added) > state_.UpdateWaitLimit;
}

}  // namespace kestrel
