// The play list and song sub-commands: each the library call the window makes.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliServer.h"
#include "core/TextEscape.h"
#include "platform/LocaleTime.h"

namespace kestrel::cli {

namespace {

int RunPlayLists(CliContext& cli, const Options& options) {
  CliServer server(cli);
  if (const int status = server.List(); status != kOk) return status;
  PlayListStore& store = server.Store();
  nlohmann::json rows = nlohmann::json::array();
  for (int row = 0; row < store.Count(); ++row) {
    const TPlayListObj& playList = *store.At(row);
    if (options.json) {
      rows.push_back({{"number", playList.Seq}, {"deviceNumber", playList.SeqInVeltra}, {"name", playList.Name}});
    } else {
      std::printf("%d\t%d\t%s\n", playList.Seq, playList.SeqInVeltra, EscapeControls(playList.Name).c_str());
    }
  }
  if (options.json) PrintJson(rows);
  return kOk;
}

int RunSongs(CliContext& cli, const Options& options, const std::string& name) {
  CliServer server(cli);
  const CliServer::Opened opened = server.OpenSongs(name);
  if (opened.status != kOk) return opened.status;
  nlohmann::json rows = nlohmann::json::array();
  for (const TSongObj* song : opened.playList->VisibleSongs()) {
    const std::string modified = platform::IsoDateTimeText(song->ModTime);
    if (options.json) {
      rows.push_back({{"number", song->Seq}, {"name", song->Name}, {"modified", modified}});
    } else {
      std::printf("%d\t%s\t%s\n", song->Seq, EscapeControls(song->Name).c_str(), modified.c_str());
    }
  }
  if (options.json) PrintJson(rows);
  return kOk;
}

}  // namespace

void AddPlayListCommands(Registry& r) {
  Options& options = r.options;

  CLI::App* lists = r.Add("playlists", "a line per play list: number, device number, name",
                           [&options](CliContext& cli) { return RunPlayLists(cli, options); });
  lists->footer("The device number is 0 for a play list that holds no file: the zones do not count it.");

  auto songsName = std::make_shared<std::string>();
  CLI::App* songs = r.Add("songs", "a line per song of a play list: number, name, modification time",
                           [&options, songsName](CliContext& cli) { return RunSongs(cli, options, *songsName); });
  songs->footer("The modification time is YYYY-MM-DD HH:MM:SS, as the server lists it.");
  songs->add_option("NAME", *songsName, "the play list")->required();
}

}  // namespace kestrel::cli
