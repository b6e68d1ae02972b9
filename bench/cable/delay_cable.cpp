// A slow, distant link between two network namespaces, in user space: a TUN device in each
// namespace, and this program moving every IP packet from one to the other, each delayed by the
// one-way time and both directions limited to a rate. A packet leaves the sending end once the
// ones before it have (its length at the rate), arrives the one-way time later, and is dropped
// when more than the queue already waits to leave (a router's tail drop). Every connection,
// whichever side opens it, sees the same round trip and bandwidth.
//
// Usage: delay_cable --ns-a PATH --ns-b PATH [--tun NAME] [--one-way-ms MS] [--mbit RATE]
//                    [--queue-kb KB]
//   PATH is a network namespace file (/run/netns/NAME); the device NAME (default "cable") is
//   made in each. Prints "ready" once both exist; their addresses are the caller's to give.
//   Runs until SIGTERM or SIGINT, then prints what it moved and dropped; the devices go with it.
//   The queue defaults to one round trip's worth of bytes at the rate (at least 64 KB).
// Used by bench/cable/cable.sh; needs root.
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;

int64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "delay_cable: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// Makes the TUN device `name` in the network namespace of `nsPath` and returns its descriptor.
// The process stays in that namespace; the descriptor keeps the device where it was made.
int OpenTunIn(const std::string& nsPath, const std::string& name) {
  const int ns = open(nsPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (ns < 0) Fail("cannot open " + nsPath);
  if (setns(ns, CLONE_NEWNET) != 0) Fail("cannot enter " + nsPath);
  close(ns);
  const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Fail("cannot open /dev/net/tun");
  ifreq request{};
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::snprintf(request.ifr_name, IFNAMSIZ, "%s", name.c_str());
  if (ioctl(fd, TUNSETIFF, &request) != 0) Fail("cannot make " + name + " in " + nsPath);
  return fd;
}

struct Packet {
  int64_t due;  // when it arrives at the far end
  std::vector<unsigned char> bytes;
};

// One direction of the cable.
struct Direction {
  const char* name = "";
  int from = -1;
  int to = -1;
  int64_t freeAt = 0;  // when the sending end has sent everything taken so far
  std::deque<Packet> inFlight;
  uint64_t moved = 0, movedBytes = 0, dropped = 0, lost = 0;
};

struct Settings {
  int64_t oneWayNs = 10'000'000;
  double bitsPerSecond = 100e6;
  int64_t queueBytes = 0;
};

// Reads what the sending namespace has sent, at most a batch, so the other direction and the
// deliveries keep their times.
void Take(Direction& d, const Settings& s, std::vector<unsigned char>& buffer) {
  for (int i = 0; i < 64; ++i) {
    const ssize_t n = read(d.from, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) return;
      Fail(std::string("reading the ") + d.name + " side");
    }
    if (n == 0) return;
    const int64_t now = NowNs();
    const int64_t start = std::max(now, d.freeAt);
    // What still waits to leave, in bytes at the rate.
    const double waiting = static_cast<double>(start - now) * s.bitsPerSecond / 8e9;
    if (waiting + static_cast<double>(n) > static_cast<double>(s.queueBytes)) {
      ++d.dropped;
      continue;
    }
    d.freeAt = start + static_cast<int64_t>(static_cast<double>(n) * 8e9 / s.bitsPerSecond);
    d.inFlight.push_back({d.freeAt + s.oneWayNs, std::vector<unsigned char>(buffer.begin(), buffer.begin() + n)});
  }
}

void Deliver(Direction& d, int64_t now) {
  while (!d.inFlight.empty() && d.inFlight.front().due <= now) {
    const Packet& p = d.inFlight.front();
    if (write(d.to, p.bytes.data(), p.bytes.size()) == static_cast<ssize_t>(p.bytes.size())) {
      ++d.moved;
      d.movedBytes += p.bytes.size();
    } else {
      ++d.lost;  // the receiving stack refused it (its queue full, the device down)
    }
    d.inFlight.pop_front();
  }
}

const char* Value(int& i, int argc, char** argv) {
  if (i + 1 >= argc) {
    std::fprintf(stderr, "delay_cable: %s needs a value\n", argv[i]);
    std::exit(2);
  }
  return argv[++i];
}

}  // namespace

int main(int argc, char** argv) {
  std::string nsA, nsB, tun = "cable";
  Settings s;
  double queueKb = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--ns-a") {
      nsA = Value(i, argc, argv);
    } else if (arg == "--ns-b") {
      nsB = Value(i, argc, argv);
    } else if (arg == "--tun") {
      tun = Value(i, argc, argv);
    } else if (arg == "--one-way-ms") {
      s.oneWayNs = static_cast<int64_t>(std::atof(Value(i, argc, argv)) * 1e6);
    } else if (arg == "--mbit") {
      s.bitsPerSecond = std::atof(Value(i, argc, argv)) * 1e6;
    } else if (arg == "--queue-kb") {
      queueKb = std::atof(Value(i, argc, argv));
    } else {
      std::fprintf(stderr, "usage: delay_cable --ns-a PATH --ns-b PATH [--tun NAME] [--one-way-ms MS] "
                           "[--mbit RATE] [--queue-kb KB]\n");
      return 2;
    }
  }
  if (nsA.empty() || nsB.empty() || s.oneWayNs < 0 || s.bitsPerSecond <= 0) {
    std::fprintf(stderr, "delay_cable: two namespaces, a delay of 0 or more and a rate above 0 are needed\n");
    return 2;
  }
  const double roundTripBytes = 2.0 * static_cast<double>(s.oneWayNs) * s.bitsPerSecond / 8e9;
  s.queueBytes = static_cast<int64_t>(queueKb > 0 ? queueKb * 1024 : std::max(roundTripBytes, 65536.0));

  struct sigaction stop {};
  stop.sa_handler = [](int) { g_stop = 1; };
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  // Wake-ups on time, not up to 50 microseconds late.
  prctl(PR_SET_TIMERSLACK, 1UL);

  Direction ab, ba;
  ab.name = "a";
  ab.from = OpenTunIn(nsA, tun);
  ba.name = "b";
  ba.from = OpenTunIn(nsB, tun);
  ab.to = ba.from;
  ba.to = ab.from;
  std::printf("ready one_way_ms=%.3f mbit=%.1f queue_kb=%lld\n", static_cast<double>(s.oneWayNs) / 1e6,
              s.bitsPerSecond / 1e6, static_cast<long long>(s.queueBytes / 1024));
  std::fflush(stdout);

  std::vector<unsigned char> buffer(65536);
  Direction* directions[] = {&ab, &ba};
  while (!g_stop) {
    const int64_t now = NowNs();
    int64_t next = -1;
    for (Direction* d : directions)
      if (!d->inFlight.empty() && (next < 0 || d->inFlight.front().due < next)) next = d->inFlight.front().due;
    timespec wait{};
    timespec* timeout = nullptr;
    if (next >= 0) {
      const int64_t ns = std::max<int64_t>(0, next - now);
      wait.tv_sec = ns / 1000000000;
      wait.tv_nsec = ns % 1000000000;
      timeout = &wait;
    }
    pollfd fds[2] = {{ab.from, POLLIN, 0}, {ba.from, POLLIN, 0}};
    const int ready = ppoll(fds, 2, timeout, nullptr);
    if (ready < 0 && errno != EINTR) Fail("poll");
    if (ready > 0) {
      if (fds[0].revents & POLLIN) Take(ab, s, buffer);
      if (fds[1].revents & POLLIN) Take(ba, s, buffer);
      if ((fds[0].revents | fds[1].revents) & (POLLERR | POLLHUP | POLLNVAL)) {
        std::fprintf(stderr, "delay_cable: a device went away\n");
        break;
      }
    }
    const int64_t after = NowNs();
    Deliver(ab, after);
    Deliver(ba, after);
  }
  for (const Direction* d : directions)
    std::fprintf(stderr, "delay_cable: %s->%s packets=%llu bytes=%llu dropped_in_queue=%llu refused=%llu\n", d->name,
                 d == &ab ? "b" : "a", static_cast<unsigned long long>(d->moved),
                 static_cast<unsigned long long>(d->movedBytes), static_cast<unsigned long long>(d->dropped),
                 static_cast<unsigned long long>(d->lost));
  return 0;
}
