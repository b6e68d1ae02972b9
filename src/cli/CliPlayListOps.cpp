// The sub-commands that change play lists and songs, each the library operation the window
// runs, with its questions answered by flags.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOps.h"
#include "cli/CliOutput.h"
#include "cli/CliServer.h"
#include "core/TextEscape.h"
#include "platform/Text.h"
#include "playlists/PlayListOperations.h"
#include "playlists/ServerNames.h"

namespace kestrel::cli {

namespace {

// A name typed for a play list, without the spaces around it (as the name input dialog takes it).
std::string Trimmed(const std::string& text) { return platform::TrimChars(text, " ", " "); }

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

int RunAdd(CliContext& cli, const OpArgs& a) {
  CliServer server(cli);
  if (const int status = server.List(); status != kOk) return status;
  const std::string name = Trimmed(a.name);
  if (const int status = CheckNewName(server, name); status != kOk) return status;
  TPlayListObj playList;
  playList.Name = name;
  playList.Seq = server.Store().Count() + 1;
  return server.Ops().CreateOnServer(playList) ? kOk : AfterFailure(server, cli.prompts);
}

int RunRename(CliContext& cli, const OpArgs& a) {
  CliServer server(cli);
  const CliServer::Opened opened = server.Open(a.name);
  if (opened.status != kOk) return opened.status;
  TPlayListObj* playList = opened.playList;
  const std::string name = Trimmed(a.other);
  if (name == playList->Name) return kOk;  // an unchanged name sends nothing
  if (const int status = CheckNewName(server, name); status != kOk) return status;
  return server.Ops().RenamePlayList(*playList, name) ? kOk : AfterFailure(server, cli.prompts);
}

int RunDeletePlayList(CliContext& cli, const Options& options, const OpArgs& a) {
  CliPrompts& prompts = cli.prompts;
  prompts.SetAnswer(options.yes ? Answer::Yes : Answer::Ask, "--yes");
  if (!prompts.CanAnswer("delete-playlist")) return kUsage;
  CliServer server(cli);
  const CliServer::Opened opened = server.Open(a.name);
  if (opened.status != kOk) return opened.status;
  const DeleteOutcome outcome = server.Ops().DeletePlayList(*opened.playList).outcome;
  if (outcome == DeleteOutcome::Deleted) return kOk;
  return prompts.Errors() > 0 ? AfterFailure(server, prompts) : kOk;  // kOk: answered No
}

int RunDeleteSongs(CliContext& cli, const Options& options, const OpArgs& a) {
  CliPrompts& prompts = cli.prompts;
  prompts.SetAnswer(options.yes ? Answer::Yes : Answer::Ask, "--yes");
  if (!prompts.CanAnswer("delete-songs")) return kUsage;
  CliServer server(cli);
  const CliServer::Opened opened = server.OpenSongs(a.name, a.items);
  if (opened.status != kOk) return opened.status;
  TPlayListObj* playList = opened.playList;
  const std::vector<TSongObj*>& songs = opened.songs;
  for (TSongObj* song : songs) song->Checked = true;
  PlayListOperations ops = server.Ops();
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

int RunMove(CliContext& cli, const Options& options, const OpArgs& a) {
  CliPrompts& prompts = cli.prompts;
  CliServer server(cli);
  const CliServer::Opened from = OpenSongsOp(server, prompts, options, a, "move-songs");
  if (from.status != kOk) return from.status;
  try {
    server.Ops().MoveSongs(a.other, from.songs);
  } catch (const FtpError& e) {
    return server.EnterFailed(a.other, e);
  }
  if (prompts.Refused()) return kUsage;
  // What the server holds now tells which songs went; one a user chose to keep is no failure.
  const CliServer::Opened after = server.OpenSongs(a.name);
  if (after.status != kOk) return after.status;
  int status = kOk;
  for (const std::string& name : a.items) {
    if (a.name == a.other || FindSongRowByName(after.playList->VisibleSongs(), name) < 0 || options.skip) continue;
    Complain("song " + QuotedName(name) + " was not moved from " + QuotedName(a.name) + " to " + QuotedName(a.other));
    status = kRefused;
  }
  return status;
}

}  // namespace

bool SetReplaceAnswer(CliPrompts& prompts, const Options& options, const char* command) {
  prompts.SetAnswer(options.replace ? Answer::Yes : options.skip ? Answer::No : Answer::Ask, "--replace or --skip");
  return prompts.CanAnswer(command);
}

CLI::App* AddOp(Registry& r, const char* name, const char* description, Runner run, std::shared_ptr<OpArgs> args) {
  Options& options = r.options;
  return r.Add(name, description, [&options, run, args](CliContext& cli) { return run(cli, options, *args); });
}

CliServer::Opened OpenSongsOp(CliServer& server, CliPrompts& prompts, const Options& options, const OpArgs& a,
                              const char* command) {
  if (SetReplaceAnswer(prompts, options, command)) return server.OpenSongs(a.name, a.items, a.other);
  CliServer::Opened refused;
  refused.status = kUsage;
  return refused;
}

CLI::App* AddSongsOp(Registry& r, const char* name, const char* description, Runner run, const char* to) {
  auto a = std::make_shared<OpArgs>();
  CLI::App* sub = AddOp(r, name, description, run, a);
  sub->add_option("FROM", a->name, "the play list they are in")->required();
  sub->add_option("TO", a->other, to)->required();
  sub->add_option("SONG", a->items, "the songs")->required();
  AddReplace(sub, r.options);
  return sub;
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
  CLI::App* add = AddOp(r, "add-playlist", "creates a play list", [](CliContext& cli, const Options&, const OpArgs& x) { return RunAdd(cli, x); }, a);
  add->add_option("NAME", a->name, "its name (blanks around it are dropped)")->required();

  a = std::make_shared<OpArgs>();
  CLI::App* rename = AddOp(r, "rename-playlist", "renames a play list", [](CliContext& cli, const Options&, const OpArgs& x) { return RunRename(cli, x); }, a);
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

  CLI::App* move = AddSongsOp(r, "move-songs", "moves songs into another play list on the server", RunMove,
                              "the play list they go to");

  for (CLI::App* sub : {del, delSongs})
    sub->footer("Without --yes, and without a terminal to ask on, the command refuses and does nothing.");
  move->footer(kReplaceFooter);
}

}  // namespace kestrel::cli
