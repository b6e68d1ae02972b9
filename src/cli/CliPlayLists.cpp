// The play list and song sub-commands: each the library call the window makes.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliServer.h"
#include "core/TextEscape.h"
#include "platform/LocaleTime.h"
#include "playlists/FtpReply.h"

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

struct SongsArgs {
  std::string name;
  bool all = false;
};

nlohmann::json SongsJson(const TPlayListObj& playList) {
  nlohmann::json rows = nlohmann::json::array();
  for (const TSongObj* song : playList.VisibleSongs())
    rows.push_back({{"number", song->Seq}, {"name", song->Name}, {"modified", platform::IsoDateTimeText(song->ModTime)}});
  return rows;
}

// A line per song: `lead` (the play list's columns, for --all), number, name, modification time.
void PrintSongs(const TPlayListObj& playList, const std::string& lead) {
  for (const TSongObj* song : playList.VisibleSongs())
    std::printf("%s%d\t%s\t%s\n", lead.c_str(), song->Seq, EscapeControls(song->Name).c_str(),
                platform::IsoDateTimeText(song->ModTime).c_str());
}

// Every play list's songs, as read by the one listing of the play lists.
int PrintAllSongs(CliServer& server, const Options& options) {
  PlayListStore& store = server.Store();
  nlohmann::json lists = nlohmann::json::array();
  for (int row = 0; row < store.Count(); ++row) {
    TPlayListObj& playList = *store.At(row);
    // A play list whose name cannot be sent was never read: it is shown without songs.
    if (IsSendableName(playList.Name)) {
      if (const int status = server.LoadSongs(playList); status != kOk) return status;
    }
    if (options.json) {
      lists.push_back({{"number", playList.Seq},
                       {"deviceNumber", playList.SeqInVeltra},
                       {"name", playList.Name},
                       {"songs", SongsJson(playList)}});
    } else {
      PrintSongs(playList, std::to_string(playList.Seq) + "\t" + std::to_string(playList.SeqInVeltra) + "\t" +
                               EscapeControls(playList.Name) + "\t");
    }
  }
  if (options.json) PrintJson(lists);
  return kOk;
}

int RunSongs(CliContext& cli, const Options& options, const SongsArgs& args) {
  CliServer server(cli);
  if (args.all) {
    if (const int status = server.List(); status != kOk) return status;
    return PrintAllSongs(server, options);
  }
  const CliServer::Opened opened = server.OpenSongs(args.name);
  if (opened.status != kOk) return opened.status;
  if (options.json)
    PrintJson(SongsJson(*opened.playList));
  else
    PrintSongs(*opened.playList, "");
  return kOk;
}

}  // namespace

void AddPlayListCommands(Registry& r) {
  Options& options = r.options;

  CLI::App* lists = r.Add("playlists", "a line per play list: number, device number, name",
                           [&options](CliContext& cli) { return RunPlayLists(cli, options); });
  lists->footer("The device number is 0 for a play list that holds no file: the zones do not count it.");

  auto songsArgs = std::make_shared<SongsArgs>();
  CLI::App* songs = r.Add("songs", "a line per song of a play list (or of every one): number, name, modification time",
                           [&options, songsArgs](CliContext& cli) { return RunSongs(cli, options, *songsArgs); });
  songs->footer(
      "The modification time is YYYY-MM-DD HH:MM:SS, as the server lists it. With --all each line starts\n"
      "with the play list's number, device number and name, as playlists prints them; with --json --all a\n"
      "play list is given as by playlists --json, with its songs as by songs --json.");
  CLI::Option* name = songs->add_option("NAME", songsArgs->name, "the play list");
  songs->add_flag("--all", songsArgs->all, "every play list's songs, from one reading of the player")->excludes(name);
  songs->require_option(1);  // the play list, or --all
}

}  // namespace kestrel::cli
