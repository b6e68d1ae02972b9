// kestrel-player: stands in for the zone players on the device bus. See --help.
#include <atomic>
#include <csignal>
#include <iostream>

#include "PlayListFolder.h"
#include "PlayerOptions.h"
#include "PlayerStation.h"
#include "platform/ProgramArguments.h"
#include "platform/Terminal.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrel::player;
  kestrel::platform::UseUtf8Console();
  kestrel::platform::Utf8Arguments args(argc, argv);
  std::string error;
  const auto options = ParsePlayerOptions(args.Count(), args.Values(), error);
  if (!options) {
    std::cerr << "kestrel-player: " << error << '\n';
    return 2;
  }
  if (options->help) {
    std::cout << kPlayerUsage;
    return 0;
  }
  if (options->version) {
    std::cout << "kestrel-player " << KESTREL_VERSION_TEXT << '\n';
    return 0;
  }
  if (options->printNumbering) {
    PlayListFolder folder(options->folder);
    if (!folder.Rescan(&error)) {
      std::cerr << "kestrel-player: " << error << '\n';
      return 1;
    }
    folder.PrintNumbering(std::cout);
    return 0;
  }

  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);

  PlayerStation station(*options, std::cout);
  if (!station.Start(error)) {
    std::cerr << "kestrel-player: " << error << '\n';
    return 1;
  }
  station.Run(g_stop);
  std::cout << "kestrel-player stopped: " << station.CommandsCarriedOut() << " commands carried out, "
            << station.RepliesSent() << " replies sent" << std::endl;
  return 0;
}
