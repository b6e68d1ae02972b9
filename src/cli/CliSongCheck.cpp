#include "cli/CliSongCheck.h"

#include <cmath>
#include <cstdio>

#include "core/TextEscape.h"
#include "platform/Terminal.h"

namespace kestrel::cli {

void AddNormalize(CLI::App* sub, Options& options) {
  const std::string range = std::to_string(static_cast<int>(songs::kLowestTargetLufs)) + " to " +
                            std::to_string(static_cast<int>(songs::kHighestTargetLufs));
  // --normalize alone takes the default target; --normalize=TARGET another. (Kept as text: a
  // flag's number would be taken as a whole count.)
  sub->add_flag("--normalize{" + std::to_string(static_cast<int>(songs::kDefaultTargetLufs)) + "}",
                options.normalize,
                "even out the songs' loudness on the player's copies: to -18 LUFS, or to TARGET (" + range +
                    "), by their MP3 gain fields, without re-encoding; the local files stay as they are")
      ->check(CLI::Range(songs::kLowestTargetLufs, songs::kHighestTargetLufs));
  sub->add_flag("--no-check", options.noCheck,
                "send the files as they are, without the song check: nothing is held back or warned about "
                "(saves the check's time on files known to be good)")
      ->excludes("--normalize");
}

songs::SongScreening FindingsFor(const Options& options) {
  songs::SongScreening findings;
  if (!options.normalize.empty()) findings.targetLufs = NormalizeTarget(options);
  return findings;
}

songs::SongScreening CheckForSending(const Options& options, const std::vector<std::string>& paths) {
  songs::ScreenOptions screen;
  if (!options.normalize.empty()) screen.targetLufs = NormalizeTarget(options);
  if (platform::StdoutIsTerminal() && !paths.empty()) {
    screen.progress = [](std::size_t done, std::size_t total) {
      std::fprintf(stderr, "\rchecking the songs: %zu of %zu", done, total);
      if (done == total) std::fprintf(stderr, "\r\033[K");
      std::fflush(stderr);
    };
  }
  return songs::ScreenSongs(paths, screen);
}

void TellCheckFindings(const songs::SongScreening& checked, const std::vector<UploadFailure>& failures) {
  const songs::SongScreening screening = StoredOnly(checked, failures);
  for (const std::string& line : screening.Warned())
    std::fprintf(stderr, "warning: sent, but damaged: %s\n", EscapeControls(line).c_str());
  for (const std::string& line : screening.Changed())
    std::fprintf(stderr, "loudness changed: %s\n", EscapeControls(line).c_str());
  for (const std::string& line : screening.MissedTarget())
    std::fprintf(stderr, "loudness target missed: %s\n", EscapeControls(line).c_str());
}

nlohmann::json CheckFindingsJson(const songs::SongScreening& screening, const std::vector<UploadFailure>& failures) {
  const songs::SongScreening stored = StoredOnly(screening, failures);
  return {{"notSent", screening.NotSent()}, {"warnings", stored.Warned()},
          {"loudnessChanged", stored.Changed()}, {"targetMissed", stored.MissedTarget()}};
}

}  // namespace kestrel::cli
