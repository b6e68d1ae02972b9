// The platform layer as the program meets it on each system. Datagram sockets use the loopback
// address only: nothing here reaches a real network.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "platform/ExePath.h"
#include "platform/HostInfo.h"
#include "platform/ThreadName.h"
#include "platform/UdpSocket.h"
#include "platform/Utf8Path.h"

using namespace kestrel::platform;
using Clock = std::chrono::steady_clock;

namespace {
constexpr char kLoopback[] = "127.0.0.1";

UdpSocket BoundOnLoopback() {
  UdpSocket s;
  std::string error;
  EXPECT_TRUE(s.Bind(kLoopback, 0, &error)) << error;
  return s;
}
}  // namespace

TEST(UdpSocket, ASecondBindOfTheSamePortFailsWhereThePortIsTakenForExclusiveUse) {
  const UdpSocket first = BoundOnLoopback();
  UdpSocket second;
  std::string error;
  EXPECT_FALSE(second.Bind(kLoopback, first.LocalPort(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(second.IsOpen());
}

TEST(SocketWaiter, ReturnsForADatagramOrAWakeUpAndOtherwiseSleepsThroughItsTimeOut) {
  const UdpSocket receiver = BoundOnLoopback();
  UdpSocket sender = BoundOnLoopback();
  std::string error;
  EXPECT_TRUE(sender.EnableBroadcast(&error)) << error;  // as the bus socket is set up
  SocketWaiter waiter;
  const int longWaitMs = 20000;
  const auto waitInBackground = [&] {
    return std::async(std::launch::async, [&] { return waiter.Wait({&receiver}, longWaitMs); });
  };
  const auto deadline = std::chrono::milliseconds(longWaitMs / 2);

  auto woken = waitInBackground();
  const auto start = Clock::now();
  waiter.Wake();
  ASSERT_EQ(woken.wait_for(deadline), std::future_status::ready);
  EXPECT_FALSE(woken.get());
  EXPECT_LT(Clock::now() - start, deadline);

  const std::uint8_t datagram[] = {0xAA, 0x55};
  auto readable = waitInBackground();
  ASSERT_TRUE(sender.SendTo(kLoopback, receiver.LocalPort(), datagram, sizeof datagram));
  ASSERT_EQ(readable.wait_for(deadline), std::future_status::ready);
  EXPECT_TRUE(readable.get());
  std::uint8_t buffer[8];
  EXPECT_EQ(receiver.Receive(buffer, sizeof buffer), sizeof datagram);
  // A datagram larger than the buffer is reported as too large, not as a short one.
  const std::uint8_t large[3 * sizeof buffer] = {};
  ASSERT_TRUE(sender.SendTo(kLoopback, receiver.LocalPort(), large, sizeof large));
  ASSERT_TRUE(waiter.Wait({&receiver}, longWaitMs));
  EXPECT_GT(receiver.Receive(buffer, sizeof buffer), sizeof buffer);

  // Drained and idle, the waiter sleeps through its whole time-out instead of polling.
  const auto idleStart = Clock::now();
  EXPECT_FALSE(waiter.Wait({&receiver}, 200));
  EXPECT_GE(Clock::now() - idleStart, std::chrono::milliseconds(150));
}

TEST(FindInterface, TheLoopbackHasANameButNoBroadcastAndAForeignAddressNoInterface) {
  const InterfaceInfo loopback = FindInterface(kLoopback);
  EXPECT_FALSE(loopback.name.empty());
  EXPECT_TRUE(loopback.broadcast.empty());
  const InterfaceInfo none = FindInterface("192.0.2.77");
  EXPECT_TRUE(none.name.empty());
  EXPECT_TRUE(none.broadcast.empty());
}

TEST(Platform, NamesTheComputerAndFindsTheProgramFolder) {
  EXPECT_FALSE(ComputerName().empty());
  const auto dir = PathFromUtf8(ExecutableDir());
  EXPECT_TRUE(dir.is_absolute());
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST(ThreadName, ANameOverFifteenBytesIsCutBeforeTheCharacterThatWouldNotFitAndTheSystemKeepsThat) {
  const struct {
    const char* given;
    const char* kept;
  } cases[] = {
      {"kestrel-recv", "kestrel-recv"},
      {"exactly-15-byte", "exactly-15-byte"},
      {"sixteen-bytes-ab", "sixteen-bytes-a"},
      {"fourteen-bytes\xC3\xA9", "fourteen-bytes"},         // the two-byte letter would straddle the end
      {"thirteen-byte\xC3\xA9x", "thirteen-byte\xC3\xA9"},  // it ends exactly at byte 15
  };
  std::thread([&] {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.given);
      EXPECT_EQ(KeptThreadName(c.given), c.kept);
      ASSERT_TRUE(SetCurrentThreadName(c.given));
      EXPECT_EQ(CurrentThreadName(), c.kept);
    }
  }).join();
}
