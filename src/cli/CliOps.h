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
void AddYes(CLI::App* sub, Options& options);
void AddReplace(CLI::App* sub, Options& options);
// --replace answers Yes to "exists. Replace it?", --skip No; neither asks on a terminal.
void SetReplaceAnswer(CliPrompts& prompts, const Options& options);
inline constexpr const char* kReplaceFooter =
    "Without --replace or --skip, and without a terminal to ask on, the command refuses and\n"
    "does nothing.";

}  // namespace kestrel::cli
