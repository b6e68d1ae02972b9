// The plan of kestrel-cli deploy as a person reads it (a short table per play list and a total
// line) or as data (--json), with the estimated time at the link's measured speed.
#pragma once

#include <string>
#include <vector>

#include "playlists/DeployPlan.h"
#include "songs/SongScreening.h"

namespace kestrel::cli {

struct DeployEstimate {
  double secondsPerCommand = 0;  // the link's round trip as measured; 0: not measured
  double bytesPerSecond = 0;     // the transfer speed as measured; 0: not measured
  bool pipelining = true;        // the server takes several commands at once
  bool exactListing = true;      // the checks of an upload batch cost one listing
  std::string unmeasured;        // why the speed was not measured, when the total says so
};

// The player's songs of the play lists to be deleted whole, by play list (for the table).
struct DeployContext {
  std::vector<DeployPlayList> player;
  std::vector<std::string> notes;  // what the reader must know about the comparison
  std::string comparison;          // "size and time", "size", or "size, time and bytes" ...
  // The check of the songs to send (by their local paths): their loudness is shown with them,
  // and each play list's as a range. nullptr: not checked.
  const songs::SongScreening* screening = nullptr;
};

// About how long carrying out `plan` takes: round trips and bytes; negative when the speed was
// not measured.
double EstimateSeconds(const DeployPlan& plan, const DeployEstimate& estimate);

void PrintDeployPlan(bool json, const DeployPlan& plan, const DeployContext& context,
                     const DeployEstimate& estimate);

}  // namespace kestrel::cli
