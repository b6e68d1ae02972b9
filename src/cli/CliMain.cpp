// kestrel-cli: the play lists, songs and zones of a player without a window, for scripts.
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "core/AppContext.h"
#include "platform/ProgramArguments.h"
#include "platform/Terminal.h"

namespace {

using namespace kestrel;
using namespace kestrel::cli;

const char kDescription[] =
    "Manages the play lists and songs on a player's FTP server (named in ftpServer.ini) and\n"
    "controls the zones of Zone.ini over the device bus, without a window.";

const char kFooter[] =
    "Names are exact (letter case counts). In tab-separated output a backslash, tab, CR, LF\n"
    "and other control characters in names are written as \\\\, \\t, \\r, \\n and \\xHH.\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  wrong usage, a faulty Zone.ini (for status and send also one without zones),\n"
    "     or a question that no flag answers and no terminal can\n"
    "  2  no connection: to the FTP server (none could be made, it was lost, or the server\n"
    "     did not answer in time), or no local address or bus endpoint for the zones; for\n"
    "     status, a zone that did not answer\n"
    "  3  the server refused, its listing could not be read, or there is no such play list\n"
    "     or song\n"
    "  4  some files were not transferred (each is named with the server's reply); for\n"
    "     check, some files would not be sent (not MP3, or unreadable)\n"
    "  5  a zone did not report the end of its play list reload within 60 s\n"
    "  6  the Settings folder or a file in it could not be written\n"
    "\n"
    "Settings: ftpServer.ini, Zone.ini and localIP.ini in the folder given with --settings;\n"
#ifdef _WIN32
    "else in the folder Settings beside the program when it exists and can be written (the\n"
    "unpacked zip, a portable copy); else in %APPDATA%\\Kestrel\\Settings (an installed copy).\n"
    "The window uses the same folder. kestrel-cli settings shows\n"
#else
    "else in the folder Settings beside the program when it exists (a portable copy, the\n"
    "build tree); else in $XDG_CONFIG_HOME/kestrel/Settings (~/.config/kestrel/Settings when\n"
    "XDG_CONFIG_HOME is not set). The window uses the same folder. kestrel-cli settings shows\n"
#endif
    "the folder in use and what it holds; kestrel-cli settings ftp and kestrel-cli settings\n"
    "zones write them.\n";

}  // namespace

int main(int argc, char** argv) {
  kestrel::platform::UseUtf8Console();
  Options options;
  Command command;
  CLI::App app(kDescription, "kestrel-cli");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.fallthrough();
  // The same options everywhere: on Windows CLI11 would also take "/name" for an option, and a
  // path such as /Music/Shop would be read as one.
  app.allow_windows_style_options(false);
  app.get_formatter()->column_width(34);
  app.add_option("--settings", options.settings,
                 "the Settings folder with ftpServer.ini, Zone.ini and localIP.ini (default: see\n"
                 "Settings below)")
      ->type_name("DIR");
  app.set_version_flag("--version", std::string("kestrel-cli ") + KESTREL_VERSION_TEXT);
  app.add_flag("--json", options.json, "print data as JSON instead of tab-separated lines");

  Registry registry{app, options, [&command](Command chosen) { command = std::move(chosen); }};
  AddPlayListCommands(registry);
  AddPlayListOpCommands(registry);
  AddTransferCommands(registry);
  AddZoneCommands(registry);
  AddDeployCommand(registry);
  AddSettingsCommands(registry);
  AddCheckCommand(registry);

  try {
    kestrel::platform::Utf8Arguments args(argc, argv);
    app.parse(args.Count(), args.Values());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    std::fprintf(stderr, "Usage: kestrel-cli [--settings DIR] [--json] COMMAND [ARGS...]\n"
                         "kestrel-cli --help lists the commands; kestrel-cli COMMAND --help tells more.\n");
    return kUsage;
  }
  if (!command) return kUsage;

  CliPrompts prompts;
  AppContext context(options.settings, &prompts);
  CliContext cli{context, prompts};
  const int status = command(cli);
  std::fflush(stdout);
  return status;
}
