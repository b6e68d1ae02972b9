// How long loading the zones of Zone.ini takes for 500 to 10,000 zones: the library call the
// window and the command line make, and, when kestrel-cli is given, `kestrel-cli zones` as a
// whole process. Prints a table; never judges the figures.
// Usage: zone_ini_bench [KESTREL_CLI]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "zones/ZoneIni.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 7;

// A file as an installer writes it: CRLF line ends, a comment, every zone with its three keys.
std::string ZoneIniText(int zones) {
  std::string text = "; zones of the building\r\n[TotalZones]\r\nTotalZones=" + std::to_string(zones) + "\r\n";
  for (int i = 1; i <= zones; ++i) {
    text += "\r\n[Zone" + std::to_string(i) + "]\r\nZoneName=Room " + std::to_string(i) +
            "\r\nSubnetIDOfVeltra=" + std::to_string(1 + (i - 1) / 250) +
            "\r\nDeviceIDOfVeltra=" + std::to_string(1 + (i - 1) % 250) + "\r\n";
  }
  return text;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <typename Run>
std::vector<double> TimesMs(Run run) {
  std::vector<double> ms;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = Clock::now();
    run();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cli = argc > 1 ? argv[1] : "";
  std::printf("Zone.ini load, %d rounds each (ms)\n", kRounds);
  std::printf("%8s %10s %10s %10s %14s\n", "zones", "file KB", "best", "median", cli.empty() ? "" : "cli median");
  for (int zones : {500, 1000, 2000, 10000}) {
    kestrel::test::TempDir settings("kestrel-zone-ini-bench-");
    const std::string text = ZoneIniText(zones);
    const std::string path = settings.write("Zone.ini", text);
    std::size_t loaded = 0;
    const auto load = TimesMs([&] {
      std::vector<kestrel::ZoneDefinition> read;
      kestrel::ReadZoneIni(path, [&](const kestrel::ZoneDefinition& z) { read.push_back(z); });
      loaded = read.size();
    });
    if (loaded != static_cast<std::size_t>(zones)) {
      std::fprintf(stderr, "loaded %zu zones of %d\n", loaded, zones);
      return 1;
    }
    std::string cliText;
    if (!cli.empty()) {
      const std::string command = "'" + cli + "' --settings '" + settings.str() + "' zones >/dev/null";
      const auto whole = TimesMs([&] {
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
      });
      cliText = std::to_string(static_cast<int>(Median(whole) + 0.5));
    }
    std::printf("%8d %10zu %10.2f %10.2f %14s\n", zones, text.size() / 1024,
                *std::min_element(load.begin(), load.end()), Median(load), cliText.c_str());
  }
  return 0;
}
