// What the sub-commands that change play lists and songs share: their arguments, how they are
// added, and how their questions are answered.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliServer.h"

namespace kestrel::cli {

struct OpArgs {
  std::string name;               // the play list (FROM for move and copy)
  std::string other;              // the new name, or the target play list
  std::vector<std::string> items; // songs or files
};

using Runner = int (*)(CliContext&, const Options&, const OpArgs&);

// A sub-command running `run` with the options and `args`.
CLI::App* AddOp(Registry& r, const char* name, const char* description, Runner run, std::shared_ptr<OpArgs> args);
// A sub-command that takes songs of one play list into another: FROM, TO (`to` tells what
// happens to the songs there), the songs, and --replace or --skip.
CLI::App* AddSongsOp(Registry& r, const char* name, const char* description, Runner run, const char* to);
void AddYes(CLI::App* sub, Options& options);
void AddReplace(CLI::App* sub, Options& options);
// --connections N: how many connections send songs at once.
void AddConnections(CLI::App* sub, Options& options);
// --replace answers Yes to "exists. Replace it?", --skip No; neither asks on a terminal. False
// (and said) when there is no terminal to ask on for the sub-command `command`: it ends with
// kUsage then.
bool SetReplaceAnswer(CliPrompts& prompts, const Options& options, const char* command);
// The opening of a sub-command of AddSongsOp: the replace answer, then the play lists FROM and TO
// and the songs named (CliServer::OpenSongs). Its status is kOk, or the exit status.
CliServer::Opened OpenSongsOp(CliServer& server, CliPrompts& prompts, const Options& options, const OpArgs& a,
                              const char* command);
inline constexpr const char* kReplaceFooter =
    "Without --replace or --skip, and without a terminal to ask on, the command refuses and\n"
    "does nothing.";

}  // namespace kestrel::cli
