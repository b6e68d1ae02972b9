#include "cli/CliDeployPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "cli/CliOutput.h"
#include "cli/CliProgress.h"
#include "core/TextEscape.h"
#include "platform/Text.h"
#include "playlists/UploadSongs.h"

namespace kestrel::cli {

namespace {

// The plan gathered per play list, in the order the table shows them.
struct Row {
  std::string name;
  bool create = false;
  bool remove = false;  // the play list goes as a whole
  std::vector<const DeployPlan::Upload*> sends;
  std::vector<std::string> deletes;
  int unchanged = 0;
  int songsThere = 0;  // of a play list deleted whole
  std::int64_t bytes = 0;
};

std::vector<Row> Rows(const DeployPlan& plan, const DeployContext& context) {
  std::vector<Row> rows;
  std::map<std::string, std::size_t> at;
  const auto row = [&](const std::string& name) -> Row& {
    const auto it = at.find(name);
    if (it != at.end()) return rows[it->second];
    at[name] = rows.size();
    Row r;
    r.name = name;
    rows.push_back(std::move(r));
    return rows.back();
  };
  for (const std::string& name : plan.createPlayLists) row(name).create = true;
  for (const DeployPlan::Unchanged& u : plan.unchanged) row(u.playList).unchanged = u.songs;
  for (const DeployPlan::Upload& u : plan.uploads) {
    Row& r = row(u.playList);
    r.sends.push_back(&u);
    r.bytes += std::max<std::int64_t>(u.song.size, 0);
  }
  for (const DeployPlan::Removal& d : plan.deleteSongs) row(d.playList).deletes.push_back(d.song);
  for (const std::string& name : plan.deletePlayLists) {
    Row& r = row(name);
    r.remove = true;
    for (const DeployPlayList& list : context.player)
      if (list.name == name) r.songsThere = static_cast<int>(list.songs.size());
  }
  // The folder's play lists in its order (by name), then those to delete.
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return a.remove != b.remove ? !a.remove : a.name < b.name;
  });
  return rows;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Reasons(const std::vector<const DeployPlan::Upload*>& sends) {
  std::map<std::string, int> counts;
  for (const DeployPlan::Upload* u : sends) ++counts[u->reason];
  std::string text;
  for (const char* reason : {"new", "size", "time", "content"}) {
    if (counts[reason] == 0) continue;
    text += (text.empty() ? "" : ", ") + std::to_string(counts[reason]) + " " + reason;
  }
  return text;
}

std::string Duration(double seconds) {
  char text[64];
  if (seconds < 60)
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  else if (seconds < 3600)
    std::snprintf(text, sizeof text, "%d min %02d s", static_cast<int>(seconds) / 60, static_cast<int>(seconds) % 60);
  else
    std::snprintf(text, sizeof text, "%d h %02d min", static_cast<int>(seconds) / 3600,
                  static_cast<int>(seconds) % 3600 / 60);
  return text;
}

// Round trips of carrying out `plan` (see UploadSongs.h for an upload batch).
double RoundTrips(const DeployPlan& plan, const DeployEstimate& estimate) {
  std::map<std::string, int> perList;
  for (const DeployPlan::Upload& u : plan.uploads) ++perList[u.playList];
  double trips = 2.0 * static_cast<double>(plan.createPlayLists.size());
  const double perBatch = (estimate.exactListing ? 4 : 3) + (estimate.pipelining ? 0 : 3 * SongUploader::kBatchSongs);
  for (const auto& list : perList) {
    const int batches = (list.second + static_cast<int>(SongUploader::kBatchSongs) - 1) /
                        static_cast<int>(SongUploader::kBatchSongs);
    trips += 4.0 * list.second + perBatch * batches + 1;  // a song: PORT, STOR, RNFR, RNTO
  }
  trips += 2.0 * static_cast<double>(plan.deleteSongs.size() + plan.deletePlayLists.size());
  return trips;
}

}  // namespace

double EstimateSeconds(const DeployPlan& plan, const DeployEstimate& estimate) {
  const std::int64_t bytes = plan.UploadBytes();
  if (estimate.secondsPerCommand <= 0 || (bytes > 0 && estimate.bytesPerSecond <= 0)) return -1;
  return RoundTrips(plan, estimate) * estimate.secondsPerCommand +
         (bytes > 0 ? static_cast<double>(bytes) / estimate.bytesPerSecond : 0.0);
}

namespace {

const songs::ScreenedSong* Checked(const DeployContext& context, const DeployPlan::Upload& u) {
  return context.screening != nullptr ? context.screening->Find(u.song.path) : nullptr;
}

bool Measured(const songs::ScreenedSong* s) {
  return s != nullptr && s->check.measured && std::isfinite(s->check.loudnessLufs);
}

// ", -20.3 LUFS, -1.2 dBTP, +1.5 dB" (the change with --normalize), or what the check found
// against sending it.
std::string SongLoudness(const songs::ScreenedSong* s) {
  if (s == nullptr) return "";
  if (!s->check.Sendable()) return ", not sent: " + s->check.reason;
  std::string text;
  if (Measured(s))
    text += ", " + platform::DecimalText(s->check.loudnessLufs, 1) + " LUFS, " + platform::DecimalText(s->check.truePeakDbtp, 1) + " dBTP";
  if (s->change.steps != 0) text += ", " + platform::DecimalText(s->change.gainDb, 1, true) + " dB";
  if (s->check.verdict == songs::SongVerdict::Damaged) text += ", damaged: " + s->check.reason;
  return text;
}

// The loudness of the play list's songs to send, lowest and highest; false when none was measured.
bool LoudnessRange(const Row& r, const DeployContext& context, double& low, double& high) {
  bool any = false;
  for (const DeployPlan::Upload* u : r.sends) {
    const songs::ScreenedSong* s = Checked(context, *u);
    if (!Measured(s)) continue;
    low = any ? std::min(low, s->check.loudnessLufs) : s->check.loudnessLufs;
    high = any ? std::max(high, s->check.loudnessLufs) : s->check.loudnessLufs;
    any = true;
  }
  return any;
}

nlohmann::json Level(double value) { return std::isfinite(value) ? nlohmann::json(std::round(value * 10) / 10) : nlohmann::json(); }

}  // namespace

void PrintDeployPlan(bool json, const DeployPlan& plan, const DeployContext& context,
                     const DeployEstimate& estimate) {
  const std::vector<Row> rows = Rows(plan, context);
  const double seconds = EstimateSeconds(plan, estimate);
  int unchanged = 0;
  for (const Row& r : rows) unchanged += r.unchanged;
  if (json) {
    nlohmann::json uploads = nlohmann::json::array();
    for (const DeployPlan::Upload& u : plan.uploads) {
      nlohmann::json upload = {{"playList", u.playList}, {"song", u.song.name}, {"size", u.song.size},
                               {"replaces", u.replaces}, {"reason", u.reason}};
      if (const songs::ScreenedSong* c = Checked(context, u)) {
        upload["verdict"] = songs::VerdictText(c->check.verdict);
        upload["loudnessLufs"] = Measured(c) ? Level(c->check.loudnessLufs) : nlohmann::json();
        upload["truePeakDbtp"] = Measured(c) ? Level(c->check.truePeakDbtp) : nlohmann::json();
        upload["gainDb"] = std::round(c->change.gainDb * 10) / 10;
      }
      uploads.push_back(upload);
    }
    nlohmann::json deletions = nlohmann::json::array();
    for (const DeployPlan::Removal& d : plan.deleteSongs) deletions.push_back({{"playList", d.playList}, {"song", d.song}});
    nlohmann::json lists = nlohmann::json::array();
    for (const Row& r : rows) {
      nlohmann::json list = {{"name", r.name}, {"create", r.create}, {"delete", r.remove},
                             {"send", r.sends.size()}, {"sendBytes", r.bytes},
                             {"deleteSongs", r.remove ? static_cast<std::size_t>(r.songsThere) : r.deletes.size()},
                             {"unchanged", r.unchanged}};
      double low = 0, high = 0;
      if (LoudnessRange(r, context, low, high)) list["loudnessLufs"] = {Level(low), Level(high)};
      lists.push_back(list);
    }
    nlohmann::json total = {{"createPlayLists", plan.createPlayLists.size()}, {"sendSongs", plan.uploads.size()},
                            {"sendBytes", plan.UploadBytes()}, {"deleteSongs", plan.deleteSongs.size()},
                            {"deletePlayLists", plan.deletePlayLists.size()}, {"unchanged", unchanged},
                            {"estimatedSeconds", seconds < 0 ? nlohmann::json() : nlohmann::json(seconds)},
                            {"secondsPerCommand", estimate.secondsPerCommand},
                            {"bytesPerSecond", estimate.bytesPerSecond}};
    PrintJson({{"createPlayLists", plan.createPlayLists}, {"uploads", uploads}, {"deleteSongs", deletions},
               {"deletePlayLists", plan.deletePlayLists}, {"playLists", lists}, {"total", total},
               {"comparison", context.comparison}, {"notes", context.notes}});
    return;
  }
  for (const std::string& note : context.notes) std::printf("Note: %s\n", note.c_str());
  for (const Row& r : rows) {
    std::string line;
    const auto add = [&line](const std::string& part) { line += (line.empty() ? "" : ", ") + part; };
    if (r.remove) {
      add("play list to delete, with " + Plural(static_cast<std::size_t>(r.songsThere), "song", "songs"));
    } else {
      if (r.create) add("new play list");
      if (!r.sends.empty())
        add(std::to_string(r.sends.size()) + " to send (" + Reasons(r.sends) + "; " + ByteText(r.bytes) + ")");
      if (!r.deletes.empty()) add(std::to_string(r.deletes.size()) + " to delete");
      if (!r.create) add(std::to_string(r.unchanged) + " unchanged");
      double low = 0, high = 0;
      if (LoudnessRange(r, context, low, high))
        add("loudness " + platform::DecimalText(low, 1) + (high > low ? " to " + platform::DecimalText(high, 1) : "") + " LUFS");
    }
    std::printf("%s: %s\n", EscapeControls(r.name).c_str(), line.c_str());
    for (const DeployPlan::Upload* u : r.sends)
      std::printf("  send    %s (%s, %s%s)\n", EscapeControls(u->song.name).c_str(), ByteText(u->song.size).c_str(),
                  u->reason.c_str(), EscapeControls(SongLoudness(Checked(context, *u))).c_str());
    for (const std::string& song : r.deletes) std::printf("  delete  %s\n", EscapeControls(song).c_str());
  }
  std::string total;
  const auto add = [&total](const std::string& part) { total += (total.empty() ? "" : ", ") + part; };
  if (!plan.createPlayLists.empty()) add(Plural(plan.createPlayLists.size(), "play list", "play lists") + " to create");
  add(Plural(plan.uploads.size(), "song", "songs") + " to send (" + ByteText(plan.UploadBytes()) + ")");
  if (!plan.deleteSongs.empty()) add(Plural(plan.deleteSongs.size(), "song", "songs") + " to delete");
  if (!plan.deletePlayLists.empty()) add(Plural(plan.deletePlayLists.size(), "play list", "play lists") + " to delete");
  add(std::to_string(unchanged) + " unchanged");
  std::string when;
  if (seconds >= 0) {
    char speed[96];
    std::snprintf(speed, sizeof speed, "%.1f ms a round trip", estimate.secondsPerCommand * 1000);
    when = "; about " + Duration(seconds) + " at " +
           (estimate.bytesPerSecond > 0 ? ByteText(static_cast<std::int64_t>(estimate.bytesPerSecond)) + "/s and " : "") +
           speed;
  } else if (!estimate.unmeasured.empty()) {
    when = "; " + estimate.unmeasured;
  }
  std::printf("Total: %s%s\n", total.c_str(), when.c_str());
  std::fflush(stdout);
}

}  // namespace kestrel::cli
