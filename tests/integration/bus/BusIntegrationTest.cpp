// The bus endpoint and receive thread against the player stand-in, over real UDP sockets in
// network namespaces that run_bus_test.sh makes. Never run directly.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "bus/BusEndpoint.h"
#include "bus/StatusReplies.h"
#include "bus/threadUDPReceive.h"
#include "core/AppContext.h"
#include "core/SharedState.h"
#include "core/mGetLocalIP.h"
#include "platform/UdpSocket.h"
#include "support/RecordingPrompts.h"
#include "support/RecordingSink.h"
#include "support/Wait.h"
#include "zones/ZoneCommands.h"
#include "zones/ZoneScan.h"

using namespace kestrel;
using kestrel::test::RecordingSink;
using kestrel::test::SinkEvent;
using kestrel::test::WaitUntil;
using namespace std::chrono_literals;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Bus : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = Env("KESTREL_BUS_IP");
    state.SetLocalIP(ip);
    ASSERT_TRUE(bus.pblInitSocket(ip));
    ASSERT_TRUE(sender.Bind(ip, 0, nullptr));
    ASSERT_TRUE(sender.EnableBroadcast(nullptr));
    receiver.SetMainFormExists(true);
    receiver.Start();
  }
  void TearDown() override {
    receiver.Stop();
    bus.pblCloseSocket();
  }
  void SetPolled(std::uint8_t subnet, std::uint8_t device) {
    std::lock_guard<std::mutex> lock(poll.PollLock);
    poll.PolledSubnetID = subnet;
    poll.PolledDeviceID = device;
  }
  // What the query thread does for one zone.
  void Poll(std::uint8_t subnet, std::uint8_t device) {
    std::lock_guard<std::mutex> lock(poll.PollLock);
    poll.PolledSubnetID = subnet;
    poll.PolledDeviceID = device;
    bus.pblSendBUF(StatusQuery(), kOpTextCommand, subnet, device);
    bus.pblSendBUF(PlayModeQuery(), kOpTextCommand, subnet, device);
  }
  // A normal frame (length byte below 0xFF, CRC over its bytes) from device `from` to the
  // program, padded so that the datagram is exactly `size` bytes.
  std::vector<std::uint8_t> PaddedReply(const ReplyPayload& reply, std::pair<int, int> from, std::size_t size) const {
    ReplyPayload payload = reply;
    payload.resize(size - kFrameOverhead, ' ');
    const FrameSource source{static_cast<std::uint8_t>(from.first), static_cast<std::uint8_t>(from.second), 0x0278};
    auto d = PackFrameFrom(source, payload.data(), payload.size(), kOpTextReply, kOwnSubnetID, kOwnDeviceID, false,
                           state.LocalIPBytes(), false);
    d[kFrameDataOffset] = static_cast<std::uint8_t>(reply.size() + kFrameDataOverhead);
    const std::uint16_t crc = pblCalcCRC(d.data() + kFrameDataOffset, d.size() - kFrameDataOffset - 2);
    d[d.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
    d[d.size() - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return d;
  }
  // A datagram from another port of this namespace, as a device on the bus would send it.
  void Inject(const std::vector<std::uint8_t>& datagram, const std::string& to) {
    ASSERT_TRUE(sender.SendTo(to, kBusPort, datagram.data(), datagram.size()));
  }
  std::vector<std::uint8_t> From(std::pair<int, int> from, std::pair<int, int> to, const ReplyPayload& reply) {
    const FrameSource source{static_cast<std::uint8_t>(from.first), static_cast<std::uint8_t>(from.second), 0x0278};
    return PackFrameFrom(source, reply.data(), reply.size(), kOpTextReply, static_cast<std::uint8_t>(to.first),
                         static_cast<std::uint8_t>(to.second), false, state.LocalIPBytes(), false);
  }

  // The program's station, as a session owns it.
  AppContext context;
  BusLink bus{context};
  PollState poll;
  SharedState state;
  std::string ip;
  RecordingSink sink;
  TthreadRecLigth receiver{&sink, bus.Endpoint(), poll, state};
  platform::UdpSocket sender;
};

using StandIn = Bus;
using OwnFrames = Bus;
using Endpoint = Bus;
using WideMask = Bus;

}  // namespace

// The stand-in starts with device 1:20 on song 12 ("Hi", 240.5 s) of its second numbered
// play list, which holds 140 songs, stopped at 31.2 s, attenuation 25, play mode 3.
TEST_F(StandIn, EveryReplyTypeReachesTheHandOver) {
  Poll(1, 20);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Times, 240, 31, {}}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Volume, 54, 0, {}}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 3, 0, {}}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Song, -1, 0, "Hi"}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Song, 12, 0, ""}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::ListNo, 2, 0, {}}));
  EXPECT_EQ(receiver.Counters().failed, 0u);
  // The queries went to the /24 broadcast address.
  EXPECT_NE(ReadFile(Env("KESTREL_PLAYER_LOG")).find("1:20 STATUS?: DISPINFO VOL DISPLINE1 DISPLINE3 DISPLINE4"),
            std::string::npos);
}

// A long frame's length field (its first two payload bytes) claims 65,535 bytes; the datagram
// carries a few. The stand-in logs the start of it and its length, not 260 KB of \x00.
TEST_F(StandIn, LongFrameClaimingMoreThanItCarriesIsLoggedShort) {
  const std::string payload = "\xFF\xFF*Z2BOGUS";
  Inject(pblPackFrame(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size(),
                      kOpTextCommand, 1, 20, true, state.LocalIPBytes(), false),
         BusEndpoint::BusBroadcastAddress(ip));
  std::string line;
  EXPECT_TRUE(WaitUntil([&] {
    const std::string log = ReadFile(Env("KESTREL_PLAYER_LOG"));
    const std::size_t at = log.find("*Z2BOGUS");
    if (at == std::string::npos || log.find('\n', at) == std::string::npos) return false;
    line = log.substr(at, log.find('\n', at) - at);
    return true;
  }));
  EXPECT_LT(line.size(), 1000u) << line.substr(0, 200);
  EXPECT_NE(line.find("(65535 bytes)"), std::string::npos) << line.substr(0, 200);
}

TEST_F(StandIn, CommandsChangeWhatTheZoneReports) {
  SetPolled(1, 20);
  bus.pblSendBUF(SetVolumeCommand(72), kOpTextCommand, 1, 20);
  bus.pblSendBUF(PlayModePayload(4), kOpSetPlayMode, 1, 20);
  bus.pblSendBUF(PlaySongCommand(1, 2), kOpTextCommand, 1, 20);
  std::this_thread::sleep_for(100ms);
  Poll(1, 20);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Volume, 72, 0, {}}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 4, 0, {}}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Song, -1, 0, "b.mp3"}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Song, 2, 0, ""}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::ListNo, 1, 0, {}}));

  // The song plays: a later poll reports a later position.
  std::this_thread::sleep_for(1200ms);
  sink.Clear();
  bus.pblSendBUF(SetVolumeCommand(79), kOpTextCommand, 1, 20);
  std::this_thread::sleep_for(50ms);
  Poll(1, 20);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Volume, 79, 0, {}}));
  EXPECT_TRUE(sink.WaitUntil([](const SinkEvent& e) { return e.kind == SinkEvent::Times && e.b >= 1; }));
  bus.pblSendBUF(StopCommand(), kOpTextCommand, 1, 20);
}

// A reload reports "updating" at once and "done" after the reload time, and then the
// stand-in numbers its play lists from the folder anew.
TEST_F(StandIn, ReloadRaisesAndClearsTheUpdateStateAndRenumbers) {
  const std::filesystem::path added = std::filesystem::path(Env("KESTREL_PLAY_FOLDER")) / "0 Added";
  std::filesystem::create_directory(added);
  std::ofstream(added / "new.mp3") << "x";

  SetPolled(1, 20);
  bus.pblSendBUF(PlaySongCommand(2, 12), kOpTextCommand, 1, 20);
  bus.pblSendBUF(UpdateListCommand(), kOpTextCommand, 1, 20);
  EXPECT_TRUE(WaitUntil([this] { return state.ZoneUpdating.load(); }));
  state.UpdateWaitCounter = 77;
  EXPECT_TRUE(WaitUntil([this] { return !state.ZoneUpdating.load(); }));
  EXPECT_EQ(state.UpdateWaitCounter, 0);

  // The song the zone plays ("Hi", song 12 of the second play list) is now in the third.
  Poll(1, 20);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::ListNo, 3, 0, {}}));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::Song, 12, 0, ""}));
  bus.pblSendBUF(StopCommand(), kOpTextCommand, 1, 20);

  std::filesystem::remove_all(added);
  bus.pblSendBUF(UpdateListCommand(), kOpTextCommand, 1, 20);
  EXPECT_TRUE(WaitUntil([this] { return state.ZoneUpdating.load(); }));
  EXPECT_TRUE(WaitUntil([this] { return !state.ZoneUpdating.load(); }));
}

TEST_F(StandIn, RepliesConcerningAnotherDeviceAreDropped) {
  // Device 1:21 answers a query that is not the poll: its replies arrive and are dropped.
  SetPolled(1, 20);
  const auto before = receiver.Counters().datagrams.load();
  bus.pblSendBUF(StatusQuery(), kOpTextCommand, 1, 21);
  EXPECT_TRUE(WaitUntil([&] { return receiver.Counters().datagrams >= before + 6; }));  // the query and 5 replies
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(sink.Events().empty());
  EXPECT_EQ(receiver.Counters().dispatched, 0u);

  // Another device's reply addressed to the polled device is kept.
  Inject(From({1, 21}, {1, 20}, DispModeReply(2)), BusEndpoint::BusBroadcastAddress(ip));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 2, 0, {}}));
  // And the same from and to strangers is not.
  Inject(From({1, 21}, {0, 250}, DispModeReply(1)), BusEndpoint::BusBroadcastAddress(ip));
  Inject(From({1, 20}, {0, 250}, DispModeReply(4)), ip);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 4, 0, {}}));
  EXPECT_FALSE(sink.WaitFor({SinkEvent::PlayMode, 1, 0, {}}, 100ms));
}

TEST_F(OwnFrames, ComeBackAndAreDroppedByTheirOpCode) {
  SetPolled(1, 20);
  const auto before = receiver.Counters().datagrams.load();
  bus.pblSendBUF(DispModeReply(3), kOpTextCommand, 1, 20);
  bus.pblSendBUF(PlayModePayload(3), kOpSetPlayMode, 1, 20);
  EXPECT_TRUE(WaitUntil([&] { return receiver.Counters().datagrams >= before + 2; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(receiver.Counters().dispatched, 0u);

  // The same text under the reply op code passes: the op code alone dropped it.
  bus.pblSendBUF(DispModeReply(3), kOpTextReply, 1, 20);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 3, 0, {}}));
}

TEST_F(Endpoint, DatagramsOver1350BytesAreDropped) {
  SetPolled(1, 20);
  Inject(PaddedReply(DispModeReply(2), {1, 20}, kReceiveBufferSize), ip);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 2, 0, {}}));
  Inject(PaddedReply(DispModeReply(4), {1, 20}, kReceiveBufferSize + 1), ip);
  Inject(PaddedReply(DispModeReply(4), {1, 20}, 60000), BusEndpoint::BusBroadcastAddress(ip));
  EXPECT_TRUE(WaitUntil([&] { return receiver.Counters().oversize == 2; }));
  Inject(PaddedReply(DispModeReply(1), {1, 20}, 100), ip);
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 1, 0, {}}));
  EXPECT_FALSE(sink.WaitFor({SinkEvent::PlayMode, 4, 0, {}}, 50ms));
}

TEST_F(Endpoint, SendersOnTwoThreadsAtOnce) {
  SetPolled(1, 20);
  auto send = [this](unsigned mode) {
    for (int i = 0; i < 100; ++i) {
      bus.pblSendBUF(DispModeReply(mode), kOpTextReply, 1, 20);
      if (i % 10 == 9) std::this_thread::sleep_for(2ms);
    }
  };
  std::thread ui(send, 1);
  std::thread query(send, 2);
  ui.join();
  query.join();
  EXPECT_TRUE(WaitUntil([&] { return receiver.Counters().recognised == 200; }));
  EXPECT_EQ(receiver.Counters().rejected, 0u);
}

TEST_F(Endpoint, StartsOnTheAddressTheHostNameGives) {
  EXPECT_EQ(GetLocalIP(""), ip);
  EXPECT_EQ(bus.Endpoint().LocalIP(), ip);
}

// Each way the endpoint cannot be opened shows the bind message once and leaves it closed; a
// second station on the address of a running one is one of them, as on Windows.
TEST_F(Endpoint, BindFailureIsShownOnce) {
  receiver.Stop();
  kestrel::test::RecordingPrompts prompts;
  const std::string message =
      "Unsuccessfully initialize Winsock!Please check your settings!Please reference the manual for how to "
      "configure it.";
  AppContext secondContext({}, &prompts);
  BusLink second(secondContext);  // what a second program opens
  const auto holdPort = [&] {
    // The port held by a socket that does not share it.
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kBusPort);
    inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
    EXPECT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    const bool opened = second.pblInitSocket(ip);
    ::close(holder);
    return opened;
  };
  const std::pair<const char*, std::function<bool()>> cases[] = {
      {"a second station on the address", [&] { return second.pblInitSocket(ip); }},
      {"a socket that does not share the port", [&] {
         bus.pblCloseSocket();
         return holdPort();
       }},
      {"an address of no interface here", [&] { return second.pblInitSocket("10.99.99.99"); }},
  };
  for (const auto& [what, open] : cases) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(open());
    EXPECT_FALSE(second.Endpoint().IsOpen());
  }

  const auto shown = prompts.Shown();
  ASSERT_EQ(shown.size(), std::size(cases));
  for (const auto& s : shown) {
    EXPECT_EQ(s.first, PromptKind::InfoOk);
    EXPECT_EQ(s.second, message);
  }
  // The address is free again once the first station has closed.
  EXPECT_TRUE(second.pblInitSocket(ip));
}

// The namespace has a /16 mask: frames still go to a.b.c.255, which here is the stand-in's
// own address, and the stand-in's answers to the real broadcast address are heard.
TEST_F(WideMask, FramesStillGoToTheSlash24BroadcastAddress) {
  EXPECT_EQ(BusEndpoint::BusBroadcastAddress(ip), Env("KESTREL_BUS_PEER"));
  EXPECT_NE(bus.Endpoint().InterfaceBroadcast(), BusEndpoint::BusBroadcastAddress(ip));
  Poll(1, 20);
  EXPECT_TRUE(sink.WaitUntil([](const SinkEvent& e) { return e.kind == SinkEvent::Song && e.a == -1; }));
  EXPECT_TRUE(sink.WaitFor({SinkEvent::PlayMode, 3, 0, {}}));
  const std::string log = ReadFile(Env("KESTREL_PLAYER_LOG"));
  EXPECT_NE(log.find("1:20 STATUS?: DISPINFO VOL DISPLINE1 DISPLINE3 DISPLINE4"), std::string::npos) << log;
  EXPECT_NE(log.find("(via " + Env("KESTREL_BUS_PEER") + ")"), std::string::npos) << log;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::string ip = Env("KESTREL_BUS_IP");
  if (ip.empty() || platform::FindInterface(ip).name.empty()) {
    std::cerr << "These tests send on the device bus: they run only through run_bus_test.sh, inside the network\n"
                 "namespaces it makes (KESTREL_BUS_IP must be an address of this namespace).\n";
    return 1;
  }
  return RUN_ALL_TESTS();
}

// A scan of two subnets while the query thread's work goes on for 1:20: the scan finds the
// stand-in's two devices with what each plays, and the zone's hand-over only ever sees 1:20.
TEST_F(StandIn, ScanBesidePollingFindsTheDevicesAndPairsNoReplyWrongly) {
  bus.pblSendBUF(PlaySongCommand(2, 12), kOpTextCommand, 1, 20);
  bus.pblSendBUF(PlaySongCommand(1, 1), kOpTextCommand, 1, 21);
  ZoneScanner scanner(bus, receiver);
  std::vector<FoundDevice> found;
  std::atomic<bool> scanned{false};
  std::thread scan([&] {
    ScanRange range;
    range.subnets = {1, 2};
    found = scanner.Run(range);
    scanned = true;
  });
  while (!scanned) {
    Poll(1, 20);
    std::this_thread::sleep_for(100ms);  // the polling pace, not a wait for a result
  }
  scan.join();

  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].subnetID * 1000 + found[0].deviceID, 1020);
  EXPECT_EQ(found[1].subnetID * 1000 + found[1].deviceID, 1021);
  EXPECT_EQ(found[0].report.SongName, "Hi");
  EXPECT_EQ(found[1].report.SongName, "a.mp3");
  EXPECT_EQ(found[1].report.ListNo, 1);
  EXPECT_NE(found[1].report.PlayMode, 0);
  EXPECT_EQ(scanner.Figures().framesSent, 2u * 2u * 254u);

  bool sawZoneSong = false;
  for (const SinkEvent& e : sink.Events()) {
    if (e.kind == SinkEvent::Song && !e.name.empty()) {
      EXPECT_EQ(e.name, "Hi");
      sawZoneSong = true;
    }
    if (e.kind == SinkEvent::ListNo) {
      EXPECT_EQ(e.a, 2);
    }
  }
  EXPECT_TRUE(sawZoneSong);
  bus.pblSendBUF(StopCommand(), kOpTextCommand, 1, 20);
  bus.pblSendBUF(StopCommand(), kOpTextCommand, 1, 21);
}
