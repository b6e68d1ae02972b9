// One zone: a listening area served by one player on the bus.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

struct TZone {
  std::uint8_t SubnetID = 0;  // never changes after loading
  std::uint8_t DeviceID = 0;
  bool Checked = false;       // the row's check box as last seen by the change handler
  // What the zone last reported about itself.
  std::string SongName;
  std::int32_t SongNo = -1;   // -1: not reported
  std::string PosText = "0";  // "0": no time reported yet
  std::string DurText = "0";
  std::uint8_t Volume = 0;    // 0..79, 79 loudest
  std::uint8_t PlayMode = 0;  // 1..4; 0: not reported
  std::int32_t ListNo = 0;    // device play list number; 0: not reported
  // When it last answered a poll (seconds since 1970, UTC; 0: never), and how many of its polls
  // in a row went without an answer since.
  std::int64_t LastAnswer = 0;
  std::int32_t UnansweredPolls = 0;
  // Mute state kept by the tool.
  bool Muted = false;
  std::uint8_t VolumeBeforeMute = 0;
};

}  // namespace kestrel
