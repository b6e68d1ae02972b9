// The program's side of the flood benchmark: opens the endpoint, runs the receive thread and
// polls one zone once a second, as the query thread does, for a given time. Prints one line:
//   polls=N dispatched=N recognised=N datagrams=N cpu_ms=X wall_ms=X stop_us=X
// `dispatched` counts the replies of the polled zone that reached the decoders; `cpu_ms` is
// the receive thread's own CPU time (from the scheduler's statistics).
// Usage: bus_flood_probe ADDRESS SUBNET DEVICE SECONDS [--no-polls]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>

#include "bus/threadUDPReceive.h"
#include "core/AppContext.h"
#include "core/SharedState.h"
#include "zones/ZoneCommands.h"

using namespace kestrel;
using Clock = std::chrono::steady_clock;

namespace {

class NullSink : public ZoneStatusSink {
 public:
  void SetZoneTimes(std::int32_t, std::int32_t) override {}
  void SetZoneVolume(std::uint8_t) override {}
  void SetZonePlayMode(std::uint8_t) override {}
  void SetZoneSong(const std::string&, std::int32_t) override {}
  void SetZoneListNo(std::int32_t) override {}
};

// The CPU time, in nanoseconds, of this process's thread named `name`; -1 when not found.
long long ThreadCpuNs(const char* name) {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  long long result = -1;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    std::string comm;
    std::getline(std::ifstream(base + "/comm"), comm);
    if (comm != name) continue;
    std::ifstream(base + "/schedstat") >> result;
    break;
  }
  closedir(dir);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: bus_flood_probe ADDRESS SUBNET DEVICE SECONDS [--no-polls]\n");
    return 2;
  }
  const std::string ip = argv[1];
  const auto subnet = static_cast<std::uint8_t>(std::atoi(argv[2]));
  const auto device = static_cast<std::uint8_t>(std::atoi(argv[3]));
  const int seconds = std::atoi(argv[4]);
  const bool polls = !(argc > 5 && std::strcmp(argv[5], "--no-polls") == 0);

  AppContext context;
  BusLink bus(context);
  PollState poll;
  SharedState state;
  if (!bus.pblInitSocket(ip)) return 1;
  NullSink sink;
  TthreadRecLigth receiver(&sink, bus.Endpoint(), poll, state);
  receiver.SetMainFormExists(true);
  receiver.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  const long long cpuStart = ThreadCpuNs("kestrel-recv");
  const auto start = Clock::now();
  int pollCount = 0;
  for (int s = 0; s < seconds; ++s) {
    if (polls) {
      std::lock_guard<std::mutex> lock(poll.PollLock);
      poll.PolledSubnetID = subnet;
      poll.PolledDeviceID = device;
      bus.pblSendBUF(StatusQuery(), kOpTextCommand, subnet, device);
      bus.pblSendBUF(PlayModeQuery(), kOpTextCommand, subnet, device);
      ++pollCount;
    }
    std::this_thread::sleep_until(start + std::chrono::seconds(s + 1));
  }
  const long long cpuEnd = ThreadCpuNs("kestrel-recv");
  const auto wall = Clock::now() - start;

  const auto stopStart = Clock::now();
  receiver.Stop();
  const auto stopTime = Clock::now() - stopStart;
  bus.pblCloseSocket();

  const auto& c = receiver.Counters();
  std::printf("polls=%d dispatched=%llu recognised=%llu datagrams=%llu cpu_ms=%.1f wall_ms=%lld stop_us=%lld\n",
              pollCount, static_cast<unsigned long long>(c.dispatched.load()),
              static_cast<unsigned long long>(c.recognised.load()), static_cast<unsigned long long>(c.datagrams.load()),
              cpuStart >= 0 && cpuEnd >= 0 ? (cpuEnd - cpuStart) / 1e6 : -1.0,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(wall).count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(stopTime).count()));
  return 0;
}
