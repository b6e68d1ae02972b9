// One zone player of the stand-in: what it plays, how loud, in which mode, and its play list
// reload, driven by the text commands and play mode frames addressed to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "PlayListFolder.h"
#include "PlayerOptions.h"
#include "bus/StatusReplies.h"

namespace kestrel::player {

using Clock = std::chrono::steady_clock;

// What carrying out a command gave: one readable line and the replies to send.
struct Outcome {
  std::string line;
  std::vector<ReplyPayload> replies;
};

class PlayerDevice {
 public:
  PlayerDevice(DeviceAddress address, const PlayListFolder& folder, const PlayerOptions& options);

  const DeviceAddress& Address() const { return address_; }

  // A text command (op code 0x192E) without its trailing CR. Unknown texts give a line saying
  // they were ignored and no replies.
  Outcome OnText(const std::string& text, Clock::time_point now);
  // A play mode frame (op code 0x0218): 02 mode 00 00.
  Outcome OnPlayMode(const std::uint8_t* payload, std::size_t n);

  // Lets time pass: the song position advances while playing, and a song that ends is
  // followed as the play mode says. Returns lines for what happened.
  std::vector<std::string> Advance(Clock::time_point now);

  // The reload: while it runs the device repeats its "updating" report every few seconds.
  bool Reloading() const { return reloading_; }
  bool ReloadDone(Clock::time_point now) const { return reloading_ && now >= reloadEnd_; }
  bool ReloadReportDue(Clock::time_point now) const { return reloading_ && now >= nextReport_; }
  // The "updating" report again.
  ReplyPayload RepeatReloadReport(Clock::time_point now);
  // Ends the reload after the folder has been read again: finds the song it played in the new
  // numbering and gives the "done" report.
  Outcome FinishReload();
  // Finds the song it plays again after the folder was read anew (another device's reload).
  void Renumbered();

 private:
  Outcome Status() const;
  std::string Select(int listNo, int songNo);  // empty when the song exists
  void Step(int delta, bool wrap);
  std::string Describe() const;

  DeviceAddress address_;
  const PlayListFolder& folder_;
  char zoneChar_;
  Clock::duration reloadTime_;

  int listNo_ = 0;  // SeqInVeltra of the play list, 0: none
  int songNo_ = 0;  // Seq of the song, 0: none
  std::string listName_;
  std::string songName_;
  std::int64_t durationMs_ = 0;
  std::int64_t positionMs_ = 0;
  bool playing_ = false;
  int attenuation_;
  int playMode_;
  Clock::time_point lastAdvance_;

  bool reloading_ = false;
  Clock::time_point reloadEnd_;
  Clock::time_point nextReport_;
};

}  // namespace kestrel::player
