// A ZoneStatusSink that records every hand-over, safe to read while the receive thread writes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "bus/ZoneStatusSink.h"

namespace kestrel::test {

struct SinkEvent {
  enum Kind { Times, Volume, PlayMode, Song, ListNo } kind;
  std::int32_t a = 0;  // duration, volume, mode, song number, list number
  std::int32_t b = 0;  // position
  std::string name;    // song name
  bool operator==(const SinkEvent& o) const {
    return kind == o.kind && a == o.a && b == o.b && name == o.name;
  }
};

class RecordingSink : public ZoneStatusSink {
 public:
  void SetZoneTimes(std::int32_t d, std::int32_t p) override { Add({SinkEvent::Times, d, p, {}}); }
  void SetZoneVolume(std::uint8_t v) override { Add({SinkEvent::Volume, v, 0, {}}); }
  void SetZonePlayMode(std::uint8_t m) override { Add({SinkEvent::PlayMode, m, 0, {}}); }
  void SetZoneSong(const std::string& name, std::int32_t no) override { Add({SinkEvent::Song, no, 0, name}); }
  void SetZoneListNo(std::int32_t no) override { Add({SinkEvent::ListNo, no, 0, {}}); }

  std::vector<SinkEvent> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }
  // Waits until an event equal to `wanted` has been recorded, at most `timeout`.
  bool WaitFor(const SinkEvent& wanted, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const auto& e : events_)
        if (e == wanted) return true;
      return false;
    });
  }
  // Waits until some event satisfies `match`, at most `timeout`.
  bool WaitUntil(const std::function<bool(const SinkEvent&)>& match,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const auto& e : events_)
        if (match(e)) return true;
      return false;
    });
  }

 private:
  void Add(SinkEvent e) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(e));
    }
    changed_.notify_all();
  }
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<SinkEvent> events_;
};

}  // namespace kestrel::test
