// Process-wide state that start-up gives its first values and the subsystems share.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace kestrel {

using IPv4Bytes = std::array<std::uint8_t, 4>;

// The chosen local IP and its four bytes, leftmost first. Stored once by start-up, before any
// thread that reads them runs; empty/zero before that.
void SetLocalIP(const std::string& ip);
std::string LocalIP();
IPv4Bytes LocalIPBytes();
bool HasLocalIP();

// Start-up flag (true until the main window is first shown) and shutdown flag (set when the
// shutdown clean-up has finished). While either is set the list views' change handlers idle.
extern std::atomic<bool> StartupFlag;
extern std::atomic<bool> ShutdownFlag;

// The zones' play lists may have changed on the server; the next playback command first tells
// the zones to reload.
extern std::atomic<bool> PlayListsChanged;

// A song is being dragged over the play list view.
extern std::atomic<bool> DraggingFlag;

// A zone is reloading its play lists, and the counter that bounds the wait for its end.
extern std::atomic<bool> ZoneUpdating;
extern std::atomic<std::int32_t> UpdateWaitCounter;

// Gives every item above its start-up value (the local IP is cleared).
void ResetSharedState();

}  // namespace kestrel
