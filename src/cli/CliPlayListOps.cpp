// The sub-commands that change play lists and songs, each the library operation the window
// runs, with its questions answered by flags.
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOps.h"
#include "cli/CliOutput.h"
#include "cli/CliServer.h"
#include "core/TextEscape.h"
#include "playlists/PlayListOperations.h"
#include "playlists/ServerNames.h"

namespace kestrel::cli {

namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A name the player can take as a new play list, else the exit status after saying why.
int CheckNewName(CliServer& server, const std::string& name) {
  if (name.empty()) {
    Complain(PlayListOperations::kEmptyNameText);
    return kUsage;
  }
  if (const std::string problem = NewServerNameProblem(name); !problem.empty()) {
    Complain(QuotedName(name) + " can not be a play list name: " + problem);
    return kUsage;
  }
  if (server.Store().FindPlayListRow(name, 0) >= 0) {
    Complain("there is a play list named " + QuotedName(name) + " already");
    return kRefused;
  }
  return kOk;
}

int AfterFailure(CliServer& server, CliPrompts& prompts) {
  if (prompts.Refused()) return kUsage;
  return server.FailedStatus();
}

int RunAdd(CliPrompts& prompts, const OpArgs& a) {
  CliServer server;
  if (const int status = server.List(); status != kOk) return status;
  const std::string name = Trimmed(a.name);
  if (const int status = CheckNewName(server, name); status != kOk) return status;
  std::atomic<bool> changed{false};
  PlayListOperations ops(server.Client(), prompts, changed);
  TPlayListObj playList;
  playList.Name = name;
  playList.Seq = server.Store().Count() + 1;
  return ops.CreateOnServer(playList) ? kOk : AfterFailure(server, prompts);
}

int RunRename(CliPrompts& prompts, const OpArgs& a) {
  CliServer server;
  if (const int status = server.List(); status != kOk) return status;
  TPlayListObj* playList = server.Find(a.name);
  if (playList == nullptr) return kRefused;
  const std::string name = Trimmed(a.other);
  if (name == playList->Name) return kOk;  // an unchanged name sends nothing
  if (const int status = CheckNewName(server, name); status != kOk) return status;
  std::atomic<bool> changed{false};
  PlayListOperations ops(server.Client(), prompts, changed);
  return ops.RenamePlayList(*playList, name) ? kOk : AfterFailure(server, prompts);
}

int RunDeletePlayList(CliPrompts& prompts, const Options& options, const OpArgs& a) {
  prompts.SetAnswer(options.yes ? Answer::Yes : Answer::Ask, "--yes");
  if (!prompts.CanAnswer("delete-playlist")) return kUsage;
  CliServer server;
  if (const int status = server.List(); status != kOk) return status;
  TPlayListObj* playList = server.Find(a.name);
  if (playList == nullptr) return kRefused;
  std::atomic<bool> changed{false};
  PlayListOperations ops(server.Client(), prompts, changed);
  const DeleteOutcome outcome = ops.DeletePlayList(*playList);
  if (outcome == DeleteOutcome::Deleted) return kOk;
  return prompts.Errors() > 0 ? AfterFailure(server, prompts) : kOk;  // kOk: answered No
}

int RunDeleteSongs(CliPrompts& prompts, const Options& options, const OpArgs& a) {
  prompts.SetAnswer(options.yes ? Answer::Yes : Answer::Ask, "--yes");
  if (!prompts.CanAnswer("delete-songs")) return kUsage;
  CliServer server;
  if (const int status = server.List(); status != kOk) return status;
  TPlayListObj* playList = server.Find(a.name);
  if (playList == nullptr) return kRefused;
  if (const int status = server.LoadSongs(*playList); status != kOk) return status;
  std::vector<TSongObj*> songs;
  if (!FindSongs(server, *playList, a.items, songs)) return kRefused;
  for (TSongObj* song : songs) song->Checked = true;
  std::atomic<bool> changed{false};
  PlayListOperations ops(server.Client(), prompts, changed);
  ops.DeleteCheckedSongs(*playList, songs);
  int status = kOk;
  for (const TSongObj* song : songs) {
    if (song->Deleted) continue;
    if (prompts.Refused()) return kUsage;
    if (!prompts.Errors() && !options.yes) continue;  // answered No on the terminal
    Complain("song " + QuotedName(song->Name) + " of play list " + QuotedName(playList->Name) + " was not deleted" +
             (ops.LastError().empty() ? std::string() : ": " + ops.LastError()));
    status = server.FailedStatus();
  }
  return status;
}

int RunMove(CliPrompts& prompts, const Options& options, const OpArgs& a) {
  SetReplaceAnswer(prompts, options);
  if (!prompts.CanAnswer("move-songs")) return kUsage;
  CliServer server;
  if (const int status = server.List(); status != kOk) return status;
  TPlayListObj* from = server.Find(a.name);
  if (from == nullptr || server.Find(a.other) == nullptr) return kRefused;
  if (const int status = server.LoadSongs(*from); status != kOk) return status;
  std::vector<TSongObj*> songs;
  if (!FindSongs(server, *from, a.items, songs)) return kRefused;
  std::atomic<bool> changed{false};
  PlayListOperations ops(server.Client(), prompts, changed);
  try {
    ops.MoveSongs(a.other, songs);
  } catch (const FtpError& e) {
    return server.EnterFailed(a.other, e);
  }
  if (prompts.Refused()) return kUsage;
  // What the server holds now tells which songs went; one a user chose to keep is no failure.
  if (const int status = server.List(); status != kOk) return status;
  TPlayListObj* after = server.Find(a.name);
  if (after == nullptr) return kRefused;
  if (const int status = server.LoadSongs(*after); status != kOk) return status;
  int status = kOk;
  for (const std::string& name : a.items) {
    if (a.name == a.other || FindSongRowByName(after->VisibleSongs(), name) < 0 || options.skip) continue;
    Complain("song " + QuotedName(name) + " was not moved from " + QuotedName(a.name) + " to " + QuotedName(a.other));
    status = kRefused;
  }
  return status;
}

}  // namespace

bool FindSongs(CliServer& server, TPlayListObj& playList, const std::vector<std::string>& names,
               std::vector<TSongObj*>& songs) {
  for (const std::string& name : names) {
    TSongObj* song = server.FindSong(playList, name);
    if (song == nullptr) return false;
    songs.push_back(song);
  }
  return true;
}

void SetReplaceAnswer(CliPrompts& prompts, const Options& options) {
  prompts.SetAnswer(options.replace ? Answer::Yes : options.skip ? Answer::No : Answer::Ask, "--replace or --skip");
}

using Runner = int (*)(CliPrompts&, const Options&, const OpArgs&);

CLI::App* AddOp(Registry& r, const char* name, const char* description, Runner run, std::shared_ptr<OpArgs> args) {
  Options& options = r.options;
  return r.Add(name, description, [&options, run, args](CliPrompts& p) { return run(p, options, *args); });
}

void AddYes(CLI::App* sub, Options& options) {
  sub->add_flag("--yes", options.yes, "answer Yes to the deletion questions");
}

void AddReplace(CLI::App* sub, Options& options) {
  auto* replace = sub->add_flag("--replace", options.replace, "replace songs of the same name in the target");
  sub->add_flag("--skip", options.skip, "keep songs of the same name in the target")->excludes(replace);
}

void AddPlayListOpCommands(Registry& r) {
  Options& o = r.options;
  auto a = std::make_shared<OpArgs>();
  CLI::App* add = AddOp(r, "add-playlist", "creates a play list", [](CliPrompts& p, const Options&, const OpArgs& x) { return RunAdd(p, x); }, a);
  add->add_option("NAME", a->name, "its name (blanks around it are dropped)")->required();

  a = std::make_shared<OpArgs>();
  CLI::App* rename = AddOp(r, "rename-playlist", "renames a play list", [](CliPrompts& p, const Options&, const OpArgs& x) { return RunRename(p, x); }, a);
  rename->add_option("OLD", a->name, "the play list")->required();
  rename->add_option("NEW", a->other, "its new name")->required();

  a = std::make_shared<OpArgs>();
  CLI::App* del = AddOp(r, "delete-playlist", "deletes a play list with all its songs", RunDeletePlayList, a);
  del->add_option("NAME", a->name, "the play list")->required();
  AddYes(del, o);

  a = std::make_shared<OpArgs>();
  CLI::App* delSongs = AddOp(r, "delete-songs", "deletes songs of a play list", RunDeleteSongs, a);
  delSongs->add_option("PLAYLIST", a->name, "the play list")->required();
  delSongs->add_option("SONG", a->items, "the songs")->required();
  AddYes(delSongs, o);

  a = std::make_shared<OpArgs>();
  CLI::App* move = AddOp(r, "move-songs", "moves songs into another play list on the server", RunMove, a);
  move->add_option("FROM", a->name, "the play list they are in")->required();
  move->add_option("TO", a->other, "the play list they go to")->required();
  move->add_option("SONG", a->items, "the songs")->required();
  AddReplace(move, o);

  for (CLI::App* sub : {del, delSongs})
    sub->footer("Without --yes, and without a terminal to ask on, the command refuses and does nothing.");
  move->footer(kReplaceFooter);
}

}  // namespace kestrel::cli
