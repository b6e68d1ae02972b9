// What upload and deploy do with their files before sending: every file checked once (a worker
// per core), with a note on a terminal while that runs; files that are not MP3 are not sent,
// damaged songs are sent with a warning, and with --normalize each song's loudness change is
// planned. What was found is told on standard error once the songs are sent.
#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "playlists/UploadSongs.h"
#include "songs/SongScreening.h"

namespace kestrel::cli {

inline constexpr const char* kSongCheckFooter =
    "Every file is checked before anything is sent: a file that is not MP3 (a WAV, an M4A or a\n"
    "text file named .mp3) is not sent and is named with the files not stored (exit status 4);\n"
    "a damaged song is sent with a warning. --normalize makes the player's copy of each song\n"
    "louder or quieter in steps of 1.5 dB by its MP3 gain fields, to within 0.75 LU of the\n"
    "target, never so far up that its true peak passes -1 dBTP. The copy has the file's size;\n"
    "where the player keeps the times songs are given, it gets the local file's time plus 20\n"
    "minutes and 2 s for each tenth of a LU below 0 LUFS (26 minutes for -18), by which deploy\n"
    "tells it from an unchanged copy and from one made for another target.";

// --normalize[=TARGET]: the songs' loudness evened out on the player's copies; --no-check: files
// sent as they are.
void AddNormalize(CLI::App* sub, Options& options);

// The check of `paths` for sending with `options`' --normalize, all before anything is sent
// (for a plan that shows the songs' loudness).
songs::SongScreening CheckForSending(const Options& options, const std::vector<std::string>& paths);
// What the uploader fills in as it checks each song just before sending it: empty, with the
// loudness target of --normalize.
songs::SongScreening FindingsFor(const Options& options);

// The damaged songs sent with a warning and the loudness changes, a line each, on standard
// error (the files not sent are named with the others not stored).
// Songs named in `failures` (not stored) are left out.
void TellCheckFindings(const songs::SongScreening& screening, const std::vector<UploadFailure>& failures);

// The findings as JSON: {"notSent": [...], "warnings": [...], "loudnessChanged": [...]}.
// Songs named in `failures` are left out of all but "notSent".
nlohmann::json CheckFindingsJson(const songs::SongScreening& screening, const std::vector<UploadFailure>& failures);

}  // namespace kestrel::cli
