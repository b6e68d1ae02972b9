// Where decoded zone status replies go. The receive thread calls these while it holds the poll
// lock, for the zone polled last; the zone table of the window implements them.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

class ZoneStatusSink {
 public:
  virtual ~ZoneStatusSink() = default;
  virtual void SetZoneTimes(std::int32_t durationSeconds, std::int32_t positionSeconds) = 0;
  virtual void SetZoneVolume(std::uint8_t volume) = 0;  // 0..79, 79 loudest
  virtual void SetZonePlayMode(std::uint8_t mode) = 0;
  // An empty name keeps the stored name; the number -1 keeps the stored number.
  virtual void SetZoneSong(const std::string& name, std::int32_t songNo) = 0;
  virtual void SetZoneListNo(std::int32_t listNo) = 0;
};

}  // namespace kestrel
