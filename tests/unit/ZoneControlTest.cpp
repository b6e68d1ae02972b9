// The zone control rules and the two zone threads without a network: the bus link is closed,
// so frames are lost, and what is checked is the state the commands leave behind, the waits
// and the stops.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "bus/StatusDecoders.h"
#include "bus/StatusReplies.h"
#include "support/RecordingPrompts.h"
#include "support/Wait.h"
#include "zones/ZoneControl.h"
#include "zones/ZoneThreads.h"

using namespace kestrel;
using namespace std::chrono_literals;
using kestrel::test::WaitUntil;

namespace {

using Clock = std::chrono::steady_clock;

class ZoneControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::uint8_t device : {20, 21, 22}) zones.Append({"Zone", 1, device});
  }
  ZoneTable zones{[this] { return std::make_pair(poll.PolledSubnetID.load(), poll.PolledDeviceID.load()); }};
  test::RecordingPrompts prompts;
  AppContext context{{}, &prompts};
  BusLink bus{context};  // never opened
  PollState poll;
  SharedState state;
  ZoneControl control{bus, poll, zones, state, prompts};
};

}  // namespace

TEST_F(ZoneControlTest, AReloadWaitWithoutTheProgressThreadEndsByItsOwnTimeOut) {
  state.UpdateWaitLimit = 50;  // about half a second per unchecked zone
  state.PlayListsChanged = true;
  control.PrevSong({true, false, false});
  EXPECT_FALSE(state.PlayListsChanged);
  EXPECT_FALSE(state.ZoneUpdating);
  EXPECT_EQ(state.UpdateWaitCounter, 0);
  // Both unchecked zones were given up on (the command line's exit status counts them).
  EXPECT_EQ(control.ReloadTimeouts(), 2);
  // The zone waited for last was the polled one.
  EXPECT_EQ(poll.PolledDeviceID, 22);
  // Stop, volume, mute and play mode leave the flag alone.
  state.PlayListsChanged = true;
  control.Stop({true, true, true});
  control.SendVolume(40, {true, true, true});
  control.SetPlayMode(3, {true, true, true});
  EXPECT_TRUE(state.PlayListsChanged);
}

// The time-out counts real time from the last update status reply, not the front end's turns:
// a pump that returns at once does not hasten it, and a reply midway puts it off.
// The reply comes 150 ms into the wait, while the waiting thread runs or while it is held up
// (the time before the reply must not count after it).
TEST_F(ZoneControlTest, AReloadWaitTimesOutTheLimitsWorthOfRealTimeAfterTheLastReply) {
  const ReplyPayload reply = DispUpdateReply(true);
  for (const bool heldUp : {false, true}) {
    SCOPED_TRACE(heldUp ? "held up across the reply" : "running");
    state.UpdateWaitLimit = 20;  // 200 ms
    const auto start = Clock::now();
    bool replied = false;
    control.SetPump([&](int, const std::function<bool()>&) {
      if (heldUp && !replied) std::this_thread::sleep_until(start + 150ms);  // the hold-up itself
      if (!replied && Clock::now() - start >= 150ms) {
        ParseDispUpdate(reply.data(), reply.size(), state);
        replied = true;
      }
      std::this_thread::yield();
    });
    control.UpdateZonePlayLists({true, false, true});
    EXPECT_GE(Clock::now() - start, 350ms);
    EXPECT_EQ(control.ReloadTimeouts(), 1);
  }
}

TEST_F(ZoneControlTest, CancelEndsAWaitAtOnceAndKeepsTheReloadPending) {
  state.PlayListsChanged = true;
  std::thread command([this] { control.NextSong({false, false, false}); });
  ASSERT_TRUE(WaitUntil([this] { return state.ZoneUpdating.load(); }));
  const auto asked = Clock::now();
  control.Cancel();
  command.join();
  EXPECT_LT(Clock::now() - asked, 500ms);
  EXPECT_TRUE(state.PlayListsChanged);
}

TEST_F(ZoneControlTest, MuteTogglesEachCheckedZoneOnItsOwnState) {
  zones.Modify(0, [](TZone& z) { z.Volume = 50; });
  zones.Modify(1, [](TZone& z) { z.Muted = true; z.Volume = 0; z.VolumeBeforeMute = 30; });
  zones.Modify(2, [](TZone& z) { z.Volume = 10; });
  control.Mute({true, true, false});
  EXPECT_TRUE(zones.Snapshot(0).Muted);
  EXPECT_EQ(zones.Snapshot(0).VolumeBeforeMute, 50);
  EXPECT_FALSE(zones.Snapshot(1).Muted);
  EXPECT_FALSE(zones.Snapshot(2).Muted);
  EXPECT_EQ(zones.Snapshot(2).VolumeBeforeMute, 0);
}

TEST_F(ZoneControlTest, NumbersAboveNineHundredNinetyNineSendNothingAndSayWhy) {
  control.PlaySelectedSong({true, false, false}, {999, 999});
  EXPECT_TRUE(prompts.Shown().empty());
  control.PlaySelectedSong({true, false, false}, {1000, 3});
  control.Play({true, false, false}, SongChoice{2, 1234});
  const auto shown = prompts.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, PromptKind::ErrorOk);
  EXPECT_NE(shown[0].second.find("1000"), std::string::npos);
  EXPECT_NE(shown[1].second.find("1234"), std::string::npos);
}

// A stop request reaches a thread inside its pauses: the query thread in its second after a
// zone, the progress thread between its looks.
TEST_F(ZoneControlTest, ThreadsStopFromInsideTheirPauses) {
  TQueryThread query(bus, poll, zones, state);
  query.Start();
  ASSERT_TRUE(WaitUntil([this] { return poll.PolledDeviceID == 20; }));
  EXPECT_TRUE(query.Running());
  auto asked = Clock::now();
  query.Stop();
  EXPECT_LT(Clock::now() - asked, 500ms);
  EXPECT_EQ(poll.PolledDeviceID, 20);  // the pass went no further
  EXPECT_FALSE(query.Running());

  std::atomic<int> shown{0};
  TProgressThread progress(state, [&] {
    ++shown;
    state.ZoneUpdating = false;
  });
  progress.Start();
  state.ZoneUpdating = true;
  ASSERT_TRUE(WaitUntil([&] { return shown == 1; }));
  asked = Clock::now();
  progress.Stop();
  EXPECT_LT(Clock::now() - asked, 500ms);
}
