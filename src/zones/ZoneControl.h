// The playback commands: one frame per checked zone, in row order, through the bus; the reload
// of the zones' play lists before a command that starts playback when they may have changed;
// mute, volume and play mode. The front end gathers what the user chose (the rows' check
// boxes, the selected play list and song) and calls in here; nothing here needs a window.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "bus/mSocket.h"
#include "core/Prompts.h"
#include "core/SharedState.h"
#include "zones/ZoneCommands.h"
#include "zones/ZoneTable.h"

namespace kestrel {

// The check box of every zone row, in row order.
using ZoneChecks = std::vector<bool>;

// The play list and song chosen for "play the chosen song": the play list's number on the
// device and the song's number in it.
struct SongChoice {
  int playListNo = 0;
  int songNo = 0;
};

class ZoneControl {
 public:
  // Keeps the front end alive during a reload wait: handles its events until `done` holds or
  // `maxMs` have passed. The default sleeps until the flag falls, Cancel, or the time is up.
  using Pump = std::function<void(int maxMs, const std::function<bool()>& done)>;

  ZoneControl(const BusLink& bus, PollState& poll, ZoneTable& zones, SharedState& state, Prompts& prompts);

  void SetPump(Pump pump) { pump_ = std::move(pump); }
  // Tells whether the progress thread runs; while it does, it times a reload wait out, and
  // otherwise the wait does so itself.
  void SetProgressRunning(std::function<bool()> running) { progressRunning_ = std::move(running); }
  // Ends a running wait and makes every command return at once (shutdown).
  void Cancel();

  // One frame to every checked zone, in row order; with `wait` also to every unchecked zone,
  // after each of which it waits until that zone's reload has ended or timed out. While it
  // waits, the zone is the polled one (polling pauses meanwhile), so that its report of the
  // end is taken.
  void SendToZones(const Payload& payload, std::uint16_t opCode, const ZoneChecks& checked, bool wait);
  // The reload command to every zone (waiting after the unchecked ones), then PlayListsChanged
  // is cleared. A failure is swallowed and leaves the flag set.
  void UpdateZonePlayLists(const ZoneChecks& checked);
  // How many zones' reload waits in the last UpdateZonePlayLists ended by the time-out rather
  // than by the zone's report.
  int ReloadTimeouts() const { return reloadTimeouts_; }
  // UpdateZonePlayLists when PlayListsChanged is set.
  void ReloadIfNeeded(const ZoneChecks& checked);

  void PrevSong(const ZoneChecks& checked);
  void NextSong(const ZoneChecks& checked);
  // Plays the chosen song when there is one, otherwise sends the plain play command.
  void Play(const ZoneChecks& checked, const std::optional<SongChoice>& chosen);
  // Reload if needed, then the chosen song. A number above 999 has no three-digit form: then
  // nothing is sent and the user is told why.
  void PlaySelectedSong(const ZoneChecks& checked, const SongChoice& chosen);
  void Stop(const ZoneChecks& checked);
  // Volume 0 (silent) to 79 (loudest); other values are taken as the nearer end.
  void SendVolume(int volume, const ZoneChecks& checked);
  void SendVolumeToZone(std::size_t row, int volume);
  // Mutes each checked unmuted zone and unmutes each checked muted one.
  void Mute(const ZoneChecks& checked);
  // Play mode 1 to 4.
  void SetPlayMode(int mode, const ZoneChecks& checked);

 private:
  void Send(const Payload& payload, std::uint16_t opCode, std::size_t row);
  // Waits after the reload command to one zone, as described at SendToZones.
  void WaitForReload();

  const BusLink& bus_;
  PollState& poll_;
  ZoneTable& zones_;
  SharedState& state_;
  Prompts& prompts_;
  Pump pump_;
  std::function<bool()> progressRunning_;
  std::atomic<bool> cancelled_{false};
  int reloadTimeouts_ = 0;
};

}  // namespace kestrel
