// The flooding station of the flood benchmark: broadcasts well-formed status replies of a
// device nobody polls (1:99) to a.b.c.255, port 6000, at a steady rate. Prints "sent=N".
// Usage: bus_flood_sender ADDRESS RATE SECONDS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bus/BusEndpoint.h"
#include "bus/StatusReplies.h"
#include "bus/mSocket.h"
#include "core/mGetLocalIP.h"
#include "platform/UdpSocket.h"

using namespace kestrel;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bus_flood_sender ADDRESS RATE SECONDS\n");
    return 2;
  }
  const std::string ip = argv[1];
  const double rate = std::atof(argv[2]);
  const double seconds = std::atof(argv[3]);
  platform::UdpSocket socket;
  std::string error;
  if (!socket.Bind(ip, 0, &error) || !socket.EnableBroadcast(&error)) {
    std::fprintf(stderr, "bus_flood_sender: %s\n", error.c_str());
    return 1;
  }
  const std::string to = BusEndpoint::BusBroadcastAddress(ip);
  const ReplyPayload reply = DispInfoReply(2405, 312, '1');
  const FrameSource foreign{1, 99, 0x0278};
  const auto datagram = PackFrameFrom(foreign, reply.data(), reply.size(), kOpTextReply, kOwnSubnetID, kOwnDeviceID,
                                      false, SplitLocalIP(ip), false);

  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  long long sent = 0;
  for (auto now = start; now < end; now = Clock::now()) {
    const double due = std::chrono::duration<double>(now - start).count() * rate;
    while (sent < static_cast<long long>(due)) {
      socket.SendTo(to, kBusPort, datagram.data(), datagram.size());
      ++sent;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  std::printf("sent=%lld\n", sent);
  return 0;
}
