// kestrel-cli: lists the play lists and songs of a player's FTP server for scripts.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "core/AppSettings.h"
#include "core/TextEscape.h"
#include "platform/LocaleTime.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"

namespace {

using namespace kestrel;

enum ExitCode { kOk = 0, kUsage = 1, kNoConnection = 2, kRefused = 3 };

const char kHelp[] =
    "Usage:\n"
    "  kestrel-cli [--settings DIR] playlists\n"
    "  kestrel-cli [--settings DIR] songs NAME\n"
    "  kestrel-cli --help\n"
    "\n"
    "Reads the play lists and songs of the player's FTP server named in ftpServer.ini.\n"
    "\n"
    "Commands:\n"
    "  playlists     a line per play list: number, device number (0: the play list\n"
    "                holds no file, so the zones do not count it), name\n"
    "  songs NAME    a line per song of the play list NAME (exact letter case): number,\n"
    "                name, modification time (YYYY-MM-DD HH:MM:SS, as the server lists it)\n"
    "\n"
    "Fields are separated by a tab. In names a backslash, tab, CR, LF and other control\n"
    "characters are written as \\\\, \\t, \\r, \\n and \\xHH.\n"
    "\n"
    "Options:\n"
    "  --settings DIR  read ftpServer.ini in DIR (default: the Settings folder beside\n"
    "                  the program)\n"
    "  --help          show this text\n"
    "\n"
    "Exit status: 0 done, 1 wrong usage, 2 no connection to the FTP server (none could\n"
    "be made, it was lost, or the server did not answer in time), 3 the server refused\n"
    "the listing, its listing could not be read, or there is no such play list.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kestrel-cli: %s\n\n%s", problem.c_str(), kHelp);
  return kUsage;
}

// The message (with the reason) has gone to standard error through the prompts already.
int Failed(const PlayListStore& store) {
  return store.LastErrorWasConnection() ? kNoConnection : kRefused;
}

int RunPlayLists(PlayListStore& store) {
  const ListResult result = store.ListPlayLists("");
  if (result.outcome != ListOutcome::Listed) return Failed(store);
  for (int row = 0; row < store.Count(); ++row) {
    const TPlayListObj& playList = *store.At(row);
    std::printf("%d\t%d\t%s\n", playList.Seq, playList.SeqInVeltra,
                EscapeControls(playList.Name).c_str());
  }
  return kOk;
}

int RunSongs(PlayListStore& store, const std::string& name) {
  const ListResult result = store.ListPlayLists(name);
  if (result.outcome != ListOutcome::Listed) return Failed(store);
  const int row = store.FindPlayListRow(name, 0);
  if (row < 0) {
    std::fprintf(stderr, "kestrel-cli: there is no play list named \"%s\"\n",
                 EscapeControls(name).c_str());
    return kRefused;
  }
  TPlayListObj& playList = *store.At(row);
  if (!store.LoadSongs(playList)) return Failed(store);
  for (const TSongObj* song : playList.VisibleSongs()) {
    std::printf("%d\t%s\t%s\n", song->Seq, EscapeControls(song->Name).c_str(),
                platform::IsoDateTimeText(song->ModTime).c_str());
  }
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kOk;
    }
    if (arg == "--settings") {
      if (i + 1 >= argc) return Usage("--settings needs a folder");
      SetSettingsDir(argv[++i]);
    } else if (arg.rfind("--settings=", 0) == 0) {
      SetSettingsDir(arg.substr(11));
    } else if (arg.size() > 1 && arg[0] == '-' && words.empty()) {
      return Usage("unknown option " + arg);
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return Usage("no command given");

  cli::CliPrompts prompts;
  SetPrompts(&prompts);
  FtpClient client;
  PlayListStore store(client);
  int status;
  if (words[0] == "playlists" && words.size() == 1) {
    status = RunPlayLists(store);
  } else if (words[0] == "songs" && words.size() == 2 && !words[1].empty()) {
    status = RunSongs(store, words[1]);
  } else {
    status = Usage("unknown command or wrong arguments: " + words[0]);
  }
  client.Quit();
  SetPrompts(nullptr);
  return status;
}
