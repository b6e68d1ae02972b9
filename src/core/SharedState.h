// The state that the subsystems of one running program share. The session owns one object and
// hands it to those who need it; tests build their own.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/WakingFlag.h"

namespace kestrel {

using IPv4Bytes = std::array<std::uint8_t, 4>;

// How long a zone's play list reload may go without an update status reply: the wait counter
// grows by 10 per step of about 100 ms, so 6000 is about 60 s.
constexpr std::int32_t kUpdateWaitLimit = 6000;

class SharedState {
 public:
  SharedState() = default;
  SharedState(const SharedState&) = delete;
  SharedState& operator=(const SharedState&) = delete;

  // The chosen local IP and its four bytes, leftmost first; empty/zero until stored.
  void SetLocalIP(const std::string& ip);
  std::string LocalIP() const;
  IPv4Bytes LocalIPBytes() const;
  bool HasLocalIP() const;

  // Gives every item its start-up value (the local IP is cleared; the wait limit is kept).
  void Reset();

  // Start-up flag (true until the main window is first shown) and shutdown flag (set when the
  // shutdown clean-up has finished). While either is set the list views' change handlers idle.
  std::atomic<bool> StartupFlag{true};
  std::atomic<bool> ShutdownFlag{false};
  // The zones' play lists may have changed on the server; the next playback command first
  // tells the zones to reload.
  std::atomic<bool> PlayListsChanged{false};
  // Raises PlayListsChanged when an operation's result says that the zones' play lists may have
  // changed by it; a result that changed nothing leaves the flag as it is (only the reload
  // clears it).
  void NotePlayListsChanged(bool mayHaveChanged) {
    if (mayHaveChanged) PlayListsChanged = true;
  }
  // A song is being dragged over the play list view.
  std::atomic<bool> DraggingFlag{false};
  // A zone is reloading its play lists, and the counter that bounds the wait for its end. The
  // threads that pause while a reload runs, or come to life when one starts, sleep on the flag.
  WakingFlag ZoneUpdating{false};
  std::atomic<std::int32_t> UpdateWaitCounter{0};
  // How many update status replies have come: a wait that counts time sees by it that the
  // counter was reset since it last counted.
  std::atomic<std::uint32_t> UpdateReplies{0};
  // The counter value at which a reload wait gives up (tests shorten it).
  std::atomic<std::int32_t> UpdateWaitLimit{kUpdateWaitLimit};

 private:
  mutable std::mutex ipMutex_;
  std::string localIP_;
  IPv4Bytes localBytes_{};
};

}  // namespace kestrel
