#include "zones/ZoneControl.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "core/UpdateWaitClock.h"

namespace kestrel {

namespace {

// The longest a reload wait leaves the front end's pump before it counts towards its time-out.
constexpr int kWaitStepMs = 100;
constexpr int kLargestNumber = 999;

bool IsChecked(const ZoneChecks& checked, std::size_t row) { return row < checked.size() && checked[row]; }

}  // namespace

ZoneControl::ZoneControl(const BusLink& bus, PollState& poll, ZoneTable& zones, SharedState& state, Prompts& prompts)
    : bus_(bus), poll_(poll), zones_(zones), state_(state), prompts_(prompts) {
  // What `done` looks at changes with the flag or with Cancel, both of which wake the flag's
  // waiters.
  pump_ = [this](int maxMs, const std::function<bool()>& done) {
    state_.ZoneUpdating.WaitFor(std::chrono::milliseconds(maxMs), done);
  };
}

void ZoneControl::Cancel() {
  cancelled_ = true;
  state_.ZoneUpdating.Notify();
}

void ZoneControl::Send(const Payload& payload, std::uint16_t opCode, std::size_t row) {
  bus_.pblSendBUF(payload, opCode, zones_.SubnetID(row), zones_.DeviceID(row));
}

void ZoneControl::SendToZones(const Payload& payload, std::uint16_t opCode, const ZoneChecks& checked, bool wait) {
  for (std::size_t row = 0; row < zones_.Count(); ++row) {
    if (cancelled_) return;
    if (IsChecked(checked, row)) {
      Send(payload, opCode, row);
    } else if (wait) {
      // Polling stops before the next zone once the flag is up; the zone's reports then count.
      state_.ZoneUpdating = true;
      {
        std::lock_guard<std::mutex> lock(poll_.PollLock);
        poll_.PolledSubnetID = zones_.SubnetID(row);
        poll_.PolledDeviceID = zones_.DeviceID(row);
        Send(payload, opCode, row);
      }
      WaitForReload();
    }
  }
}

void ZoneControl::WaitForReload() {
  const auto done = [this] { return !state_.ZoneUpdating || cancelled_; };
  UpdateWaitClock clock(state_);
  while (!done()) {
    pump_(kWaitStepMs, done);
    // Without the progress thread nobody else times the wait out: count as it would.
    if (progressRunning_ && progressRunning_()) {
      clock.Restart();
      continue;
    }
    if (!done() && clock.Count()) {
      state_.ZoneUpdating = false;
      state_.UpdateWaitCounter = 0;
      ++reloadTimeouts_;
    }
  }
}

void ZoneControl::UpdateZonePlayLists(const ZoneChecks& checked) {
  reloadTimeouts_ = 0;
  try {
    SendToZones(UpdateListCommand(), kOpTextCommand, checked, true);
    if (!cancelled_) state_.PlayListsChanged = false;
  } catch (...) {
    // The flag stays set, so the next playback command sends the reload again.
  }
}

void ZoneControl::ReloadIfNeeded(const ZoneChecks& checked) {
  if (state_.PlayListsChanged) UpdateZonePlayLists(checked);
}

void ZoneControl::PrevSong(const ZoneChecks& checked) {
  ReloadIfNeeded(checked);
  SendToZones(PrevSongCommand(), kOpTextCommand, checked, false);
}

void ZoneControl::NextSong(const ZoneChecks& checked) {
  ReloadIfNeeded(checked);
  SendToZones(NextSongCommand(), kOpTextCommand, checked, false);
}

void ZoneControl::Play(const ZoneChecks& checked, const std::optional<SongChoice>& chosen) {
  ReloadIfNeeded(checked);
  if (chosen)
    PlaySelectedSong(checked, *chosen);
  else
    SendToZones(PlayCommand(), kOpTextCommand, checked, false);
}

void ZoneControl::PlaySelectedSong(const ZoneChecks& checked, const SongChoice& chosen) {
  ReloadIfNeeded(checked);
  const auto tooLarge = [this](const char* what, int n) {
    if (n <= kLargestNumber) return false;
    prompts_.Show(PromptKind::ErrorOk, std::string(what) + " " + std::to_string(n) +
                                           " can not be played: the players take numbers up to 999 only.");
    return true;
  };
  if (tooLarge("Play list number", chosen.playListNo) || tooLarge("Song number", chosen.songNo)) return;
  SendToZones(PlaySongCommand(std::max(chosen.playListNo, 0), std::max(chosen.songNo, 0)), kOpTextCommand, checked, false);
}

void ZoneControl::Stop(const ZoneChecks& checked) { SendToZones(StopCommand(), kOpTextCommand, checked, false); }

void ZoneControl::SendVolume(int volume, const ZoneChecks& checked) {
  SendToZones(SetVolumeCommand(volume), kOpTextCommand, checked, false);
}

void ZoneControl::SendVolumeToZone(std::size_t row, int volume) {
  Send(SetVolumeCommand(volume), kOpTextCommand, row);
}

void ZoneControl::Mute(const ZoneChecks& checked) {
  for (std::size_t row = 0; row < zones_.Count(); ++row) {
    if (cancelled_) return;
    if (!IsChecked(checked, row)) continue;
    int volume = 0;
    zones_.Modify(row, [&volume](TZone& zone) {
      if (!zone.Muted) {
        zone.VolumeBeforeMute = zone.Volume;
        volume = 0;
      } else {
        volume = zone.Volume != 0 ? zone.Volume : zone.VolumeBeforeMute;
      }
      zone.Muted = !zone.Muted;
    });
    SendVolumeToZone(row, volume);
  }
}

void ZoneControl::SetPlayMode(int mode, const ZoneChecks& checked) {
  SendToZones(PlayModePayload(mode), kOpSetPlayMode, checked, false);
}

}  // namespace kestrel
