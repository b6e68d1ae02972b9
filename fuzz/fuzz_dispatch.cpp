// Any byte string as a received datagram through unpacking, the dispatch rules and the reply
// decoders, and the same bytes as a bare reply payload offered to every decoder. Nothing may
// read outside the input, the poll lock must always be left, and what reaches the hand-over
// must be in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "bus/BusEndpoint.h"
#include "bus/StatusDecoders.h"
#include "bus/threadUDPReceive.h"

namespace {

bool IsUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    if ((b & 0xE0) == 0xC0) {
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
    } else if (b >= 0x80) {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

class CheckingSink : public kestrel::ZoneStatusSink {
 public:
  void SetZoneTimes(std::int32_t d, std::int32_t p) override {
    if (d < 0 || p < 0) std::abort();
  }
  void SetZoneVolume(std::uint8_t v) override {
    if (v > 79) std::abort();
  }
  void SetZonePlayMode(std::uint8_t m) override {
    if (m > 9) std::abort();
  }
  void SetZoneSong(const std::string& name, std::int32_t no) override {
    if (!IsUtf8(name) || (!name.empty() && no != -1)) std::abort();
  }
  void SetZoneListNo(std::int32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel;
  static CheckingSink sink;
  static BusEndpoint closed;
  static PollState poll;
  static SharedState state;
  static TthreadRecLigth receiver(&sink, closed, poll, state);
  receiver.SetMainFormExists(true);  // as while the main window exists

  if (const auto frame = pblUnpackFrame(data, size)) {
    {
      // Poll the frame's own sender unless the (unchecked) first address byte is 0.
      std::lock_guard<std::mutex> lock(poll.PollLock);
      poll.PolledSubnetID = data[0] != 0 ? frame->data[kSourceSubnetOffset] : 0;
      poll.PolledDeviceID = data[0] != 0 ? frame->data[kSourceDeviceOffset] : 0;
    }
    receiver.DispatchFrame(frame->data, frame->isLong);
    if (!poll.PollLock.try_lock()) std::abort();
    poll.PollLock.unlock();
  }

  const std::vector<std::uint8_t> payload(data, data + size);
  const std::uint8_t* p = payload.data();
  std::int32_t a = 0, b = 0;
  char c = 0;
  std::uint8_t u = 0;
  std::string s;
  ParseDispInfo(p, size, a, b, c);
  ParseVolume(p, size, u);
  ParseDispMode(p, size, u);
  if (ParseSongName(p, size, s) && !IsUtf8(s)) std::abort();
  try {
    ParseSongNo(p, size, a);
    ParseListNo(p, size, a);
  } catch (const BadReplyNumber&) {
  }
  ParseDispUpdate(p, size, state);
  return 0;
}
