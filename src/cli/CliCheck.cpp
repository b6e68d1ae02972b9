// check: what the song check finds in local files before they are sent (format, damage,
// loudness), a line per song, without a connection.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "core/TextEscape.h"
#include "platform/Text.h"
#include "platform/Utf8Path.h"
#include "songs/LoudnessPlan.h"
#include "songs/SongPool.h"

namespace kestrel::cli {

namespace {

namespace fs = std::filesystem;
using songs::SongCheck;
using songs::SongVerdict;

bool Hidden(const fs::path& p) {
  const std::string name = platform::Utf8FromPath(p.filename());
  return !name.empty() && name[0] == '.';
}

// The regular files of `folder` and of its sub-folders (a play list's folder, or a folder of
// play lists as deploy takes it), hidden ones left out, sorted by path.
bool FolderSongs(const std::string& folder, std::vector<std::string>& out) {
  std::error_code ec;
  std::vector<fs::path> found;
  const fs::path root = platform::PathFromUtf8(folder);
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (Hidden(it->path())) continue;
    if (it->is_regular_file(ec)) {
      found.push_back(it->path());
    } else if (it->is_directory(ec)) {
      std::error_code inner;
      for (fs::directory_iterator song(it->path(), inner), stop; !inner && song != stop; song.increment(inner))
        if (!Hidden(song->path()) && song->is_regular_file(inner)) found.push_back(song->path());
      if (inner) {
        Complain("can not read the folder " + QuotedName(platform::Utf8FromPath(it->path())) + ": " + inner.message());
        return false;
      }
    }
  }
  if (ec) {
    Complain("can not read the folder " + QuotedName(folder) + ": " + ec.message());
    return false;
  }
  std::sort(found.begin(), found.end());
  for (const fs::path& p : found) out.push_back(platform::Utf8FromPath(p));
  return true;
}

nlohmann::json Level(bool measured, double value) {
  if (!measured || !std::isfinite(value)) return nullptr;
  return std::round(value * 100) / 100;
}

nlohmann::json AsJson(const SongCheck& c) {
  nlohmann::json row = {{"file", c.path}, {"verdict", songs::VerdictText(c.verdict)}, {"reason", c.reason},
                        {"bytes", c.fileBytes}};
  if (c.verdict == SongVerdict::Ok || c.verdict == SongVerdict::Damaged) {
    const songs::LoudnessChange change = songs::PlanLoudness(c);
    row.update({{"seconds", std::round(c.seconds * 1000) / 1000},
                {"bitrateKbps", std::round(c.bitrateKbps * 10) / 10},
                {"variableBitrate", c.variableBitrate},
                {"sampleRate", c.sampleRate},
                {"channels", c.channels},
                {"mpegVersion", songs::VersionText(c.version)},
                {"frames", c.audioFrames},
                {"loudnessLufs", Level(c.measured, c.loudnessLufs)},
                {"truePeakDbtp", Level(c.measured, c.truePeakDbtp)},
                {"normalize",
                 {{"targetLufs", songs::kDefaultTargetLufs},
                  {"steps", change.steps},
                  {"gainDb", std::round(change.gainDb * 100) / 100},
                  {"reachesTarget", change.reachesTarget},
                  {"note", change.note}}}});
  }
  return row;
}

// file, seconds, kbit/s, CBR or VBR, Hz, LUFS, dBTP, verdict, reason
void PrintLine(const SongCheck& c) {
  const bool mp3 = c.verdict == SongVerdict::Ok || c.verdict == SongVerdict::Damaged;
  std::string line = EscapeControls(c.path);
  if (mp3) {
    line += "\t" + platform::DecimalText(c.seconds, 1) + "\t" + platform::DecimalText(c.bitrateKbps, 0) + "\t" + (c.variableBitrate ? "VBR" : "CBR") +
            "\t" + std::to_string(c.sampleRate) + "\t" + (c.measured ? platform::DecimalText(c.loudnessLufs, 1) : "-") + "\t" +
            (c.measured ? platform::DecimalText(c.truePeakDbtp, 1) : "-");
  } else {
    line += "\t-\t-\t-\t-\t-\t-";
  }
  line += std::string("\t") + songs::VerdictText(c.verdict) + "\t" + EscapeControls(c.reason);
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int RunCheck(const Options& options, const std::vector<std::string>& arguments) {
  std::vector<std::string> paths;
  for (const std::string& argument : arguments) {
    std::error_code ec;
    if (fs::is_directory(platform::PathFromUtf8(argument), ec)) {
      if (!FolderSongs(argument, paths)) return kUsage;
    } else {
      paths.push_back(argument);
    }
  }
  songs::SongPoolOptions pool;
  if (!options.json) pool.done = [](std::size_t, const SongCheck& check) { PrintLine(check); };
  const std::vector<SongCheck> checks = songs::CheckSongs(paths, pool);

  int ok = 0, damaged = 0, refused = 0;
  nlohmann::json rows = nlohmann::json::array();
  for (const SongCheck& c : checks) {
    if (options.json) rows.push_back(AsJson(c));
    if (c.verdict == SongVerdict::Ok) ++ok;
    if (c.verdict == SongVerdict::Damaged) ++damaged;
    if (!c.Sendable()) ++refused;
  }
  if (options.json) PrintJson(rows);
  std::fprintf(stderr, "%zu file(s): %d ok, %d damaged (sent with a warning), %d not sent (not MP3 or unreadable)\n",
               checks.size(), ok, damaged, refused);
  return refused > 0 ? kNotTransferred : kOk;
}

CLI::Validator ExistingFileOrFolder() {
  return CLI::Validator(
      [](std::string& name) -> std::string {
        std::error_code ec;
        if (!fs::exists(platform::PathFromUtf8(name), ec)) return "No such file or folder: " + name;
        return {};
      },
      "FILE|FOLDER");
}

}  // namespace

void AddCheckCommand(Registry& r) {
  Options& options = r.options;
  auto arguments = std::make_shared<std::vector<std::string>>();
  CLI::App* check = r.Add("check", "checks songs before they are sent: format, damage, loudness",
                          [&options, arguments](CliContext&) { return RunCheck(options, *arguments); });
  check->add_option("FILE", *arguments, "songs, or folders of songs (or of play lists)")
      ->required()
      ->check(ExistingFileOrFolder());
  check->footer(
      "A line per song, in the order given (a folder's songs sorted by name; its files and\n"
      "those of its sub-folders): file, duration (s), bitrate (kbit/s, the average for VBR),\n"
      "CBR or VBR, sample rate (Hz), integrated loudness (LUFS, EBU R128; -inf for silence),\n"
      "true peak (dBTP), verdict, reason. Verdicts: ok; damaged (damaged or missing frames,\n"
      "truncated: an upload sends it with a warning); not MP3 (not MPEG audio layer III, such\n"
      "as a WAV, M4A or text file named .mp3: an upload does not send it); unreadable.\n"
      "A mono song is measured as played on two speakers. --json adds the format and what\n"
      "evening out to -18 LUFS would change. The songs are checked a processor core each.\n"
      "Exit status 4 when a file would not be sent (not MP3 or unreadable), else 0.");
}

}  // namespace kestrel::cli
