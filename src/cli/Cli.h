// What every sub-command of kestrel-cli shares: the exit statuses, the options given to all of
// them, and how each area registers its sub-commands with the parser.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <limits>
#include <memory>
#include <string>

namespace kestrel {
class AppContext;
}

namespace kestrel::cli {

class CliPrompts;

// Exit statuses; scripts rely on them.
enum ExitCode {
  kOk = 0,
  kUsage = 1,            // wrong usage, or a question no flag answers
  kNoConnection = 2,     // no connection to the FTP server or the bus (none, lost, timed out)
  kRefused = 3,          // the server refused, its answer was unusable, or no such play list
  kNotTransferred = 4,   // some files were not transferred (each named with the reason)
  kReloadUnconfirmed = 5, // a zone did not report the end of its play list reload in time
  kNotSaved = 6          // the Settings folder or a file in it could not be written
};

// The options every sub-command sees, filled by the parser before the command runs.
struct Options {
  std::string settings;  // the Settings folder; empty: the one the rule chooses (core/AppSettings.h)
  bool json = false;     // print data as JSON instead of tab-separated lines
  bool yes = false;      // answer Yes to deletion questions
  bool replace = false;  // answer Yes to "exists. Replace it?"
  bool skip = false;     // answer No to it
  int connections = 3;   // connections to send songs over at once (upload, copy-songs, deploy)
  // upload and deploy: the loudness target of --normalize (LUFS) as given; empty: songs sent as
  // they are (NormalizeTarget).
  std::string normalize;
  bool noCheck = false;  // upload and deploy: files sent as they are, without the song check
};

// The loudness target of --normalize; NaN when it was not given.
inline double NormalizeTarget(const Options& options) {
  return options.normalize.empty() ? std::numeric_limits<double>::quiet_NaN() : std::stod(options.normalize);
}

// What a running sub-command works with: the context the library reads (the Settings folder
// given with --settings, the prompts, the quit request), which main builds from the options,
// and the prompts in it, which answer the command's questions by its flags.
struct CliContext {
  AppContext& app;
  CliPrompts& prompts;
};

// The running sub-command: returns its exit status.
using Command = std::function<int(CliContext& cli)>;

// Each area adds its sub-commands to `app`; `choose` receives the command chosen once the whole
// command line has been parsed.
struct Registry {
  CLI::App& app;
  Options& options;
  std::function<void(Command)> choose;

  // A sub-command that runs `command` when it is the one given.
  CLI::App* Add(const std::string& name, const std::string& description, Command command) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->callback([this, command] { choose(command); });
    return sub;
  }
};

void AddPlayListCommands(Registry& registry);
void AddZoneCommands(Registry& registry);
void AddPlayListOpCommands(Registry& registry);
void AddTransferCommands(Registry& registry);
void AddDeployCommand(Registry& registry);
void AddSettingsCommands(Registry& registry);
void AddCheckCommand(Registry& registry);
// "zones scan", below `zones`; returned so that `zones` can tell whether it was given.
CLI::App* AddZoneScanCommand(Registry& registry, CLI::App* zones);

}  // namespace kestrel::cli
