// The dispatch rules of the receive thread on crafted frames, the send operation's refusals
// and the main window's existence as the owner tells it; nothing here touches the network.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "bus/BusEndpoint.h"
#include "bus/StatusReplies.h"
#include "bus/threadUDPReceive.h"
#include "core/AppContext.h"
#include "core/SharedState.h"
#include "support/RecordingPrompts.h"
#include "support/RecordingSink.h"
#include "zones/ZoneCommands.h"

using namespace kestrel;
using kestrel::test::RecordingSink;
using kestrel::test::SinkEvent;

namespace {

const std::array<std::uint8_t, 4> kPlayerIP = {10, 77, 1, 2};

// The frame data of a frame from `from` to `to`, as the unpacking hands it on.
std::vector<std::uint8_t> Frame(const ReplyPayload& payload, std::pair<int, int> from, std::pair<int, int> to,
                                std::uint16_t op = kOpTextReply, bool longFrame = false) {
  const FrameSource source{static_cast<std::uint8_t>(from.first), static_cast<std::uint8_t>(from.second), 0x0278};
  const auto datagram = PackFrameFrom(source, payload.data(), payload.size(), op, static_cast<std::uint8_t>(to.first),
                                      static_cast<std::uint8_t>(to.second), longFrame, kPlayerIP, false);
  const auto frame = pblUnpackFrame(datagram.data(), datagram.size());
  EXPECT_TRUE(frame.has_value());
  return frame ? frame->data : std::vector<std::uint8_t>{};
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    receiver.SetMainFormExists(true);
    std::lock_guard<std::mutex> lock(poll.PollLock);
    poll.PolledSubnetID = 1;
    poll.PolledDeviceID = 20;
  }
  std::vector<SinkEvent> Offer(const std::vector<std::uint8_t>& frame, bool isLong = false) {
    sink.Clear();
    receiver.DispatchFrame(frame, isLong);
    return sink.Events();
  }

  RecordingSink sink;
  BusEndpoint closed;
  PollState poll;
  SharedState state;
  TthreadRecLigth receiver{&sink, closed, poll, state};
};

}  // namespace

TEST_F(Dispatch, EveryReplyTypeReachesItsHandOver) {
  const std::pair<int, int> zone{1, 20}, tool{0, 250};
  EXPECT_EQ(Offer(Frame(DispInfoReply(2405, 312, '1'), zone, tool)), (std::vector<SinkEvent>{{SinkEvent::Times, 240, 31, {}}}));
  EXPECT_EQ(Offer(Frame(VolumeReply(kZoneChar, 25), zone, tool)), (std::vector<SinkEvent>{{SinkEvent::Volume, 54, 0, {}}}));
  EXPECT_EQ(Offer(Frame(DispModeReply(4), zone, tool)), (std::vector<SinkEvent>{{SinkEvent::PlayMode, 4, 0, {}}}));
  EXPECT_EQ(Offer(Frame(DisplayLineReply('4', "Hi"), zone, tool)), (std::vector<SinkEvent>{{SinkEvent::Song, -1, 0, "Hi"}}));
  EXPECT_EQ(Offer(Frame(DisplayLineReply('3', "S:12/140"), zone, tool)), (std::vector<SinkEvent>{{SinkEvent::Song, 12, 0, ""}}));
  EXPECT_EQ(Offer(Frame(DisplayLineReply('1', "L:2/5"), zone, tool)), (std::vector<SinkEvent>{{SinkEvent::ListNo, 2, 0, {}}}));
  EXPECT_TRUE(Offer(Frame(DisplayLineReply('2', "anything"), zone, tool)).empty());
  EXPECT_EQ(receiver.Counters().dispatched, 7u);
  EXPECT_EQ(receiver.Counters().recognised, 6u);
}

TEST_F(Dispatch, OnlyTextRepliesOfThePolledZoneWhileTheMainWindowExists) {
  const auto reply = DispModeReply(2);
  // Source or target may name the polled zone.
  EXPECT_EQ(Offer(Frame(reply, {1, 20}, {0, 250})).size(), 1u);
  EXPECT_EQ(Offer(Frame(reply, {1, 99}, {1, 20})).size(), 1u);
  // Another device talking to someone else, or the right device with the right text under
  // another op code (the program's own commands coming back), is dropped.
  EXPECT_TRUE(Offer(Frame(reply, {1, 21}, {0, 250})).empty());
  EXPECT_TRUE(Offer(Frame(reply, {2, 20}, {0, 250})).empty());
  EXPECT_TRUE(Offer(Frame(reply, {0, 250}, {1, 20}, kOpTextCommand)).empty());
  EXPECT_TRUE(Offer(Frame(reply, {0, 250}, {1, 20}, kOpSetPlayMode)).empty());
  {
    std::lock_guard<std::mutex> lock(poll.PollLock);
    poll.PolledSubnetID = 0;
    poll.PolledDeviceID = 0;
  }
  // Before the first poll only frames from or to (0, 0) count.
  EXPECT_TRUE(Offer(Frame(reply, {1, 20}, {0, 250})).empty());
  EXPECT_EQ(Offer(Frame(reply, {1, 20}, {0, 0})).size(), 1u);

  receiver.SetMainFormExists(false);
  EXPECT_TRUE(Offer(Frame(reply, {1, 20}, {0, 0})).empty());
  receiver.SetMainFormExists(true);
}

TEST_F(Dispatch, ABadDisplayLineNumberDropsTheFrameAndLeavesTheLock) {
  EXPECT_TRUE(Offer(Frame(DisplayLineReply('3', "S:/140"), {1, 20}, {0, 250})).empty());
  EXPECT_TRUE(Offer(Frame(DisplayLineReply('1', "L:x/3"), {1, 20}, {0, 250})).empty());
  EXPECT_EQ(receiver.Counters().failed, 2u);
  ASSERT_TRUE(poll.PollLock.try_lock());
  poll.PollLock.unlock();
}

TEST_F(Dispatch, ALongFramesPayloadStartsWithItsLengthBytes) {
  // The payload's first two bytes give the extent; the decoders see them first and
  // recognise nothing.
  ReplyPayload payload = {0x00, 0x14};
  const auto reply = DispModeReply(3);
  payload.insert(payload.end(), reply.begin(), reply.end());
  const auto frame = Frame(payload, {1, 20}, {0, 250}, kOpTextReply, true);
  EXPECT_TRUE(Offer(frame, true).empty());
  EXPECT_EQ(receiver.Counters().dispatched, 1u);
}

TEST_F(Dispatch, ReloadReportsChangeTheUpdateStateOnlyForThePolledZone) {
  Offer(Frame(DispUpdateReply(true), {1, 21}, {0, 250}));
  EXPECT_FALSE(state.ZoneUpdating);
  state.UpdateWaitCounter = 300;
  Offer(Frame(DispUpdateReply(true), {1, 20}, {0, 250}));
  EXPECT_TRUE(state.ZoneUpdating);
  EXPECT_EQ(state.UpdateWaitCounter, 0);
  Offer(Frame(DispUpdateReply(false), {1, 20}, {0, 250}));
  EXPECT_FALSE(state.ZoneUpdating);
}

TEST_F(Dispatch, TheThreadStopsAndJoinsWithoutAnOpenEndpoint) {
  EXPECT_FALSE(receiver.ReceiveDatagram());
  receiver.Start();
  EXPECT_TRUE(receiver.Running());
  receiver.Stop();
  EXPECT_FALSE(receiver.Running());
  receiver.Stop();  // a second stop is harmless
  receiver.Start();  // and the thread can run again
  EXPECT_TRUE(receiver.Running());
}

TEST(SendBuf, RefusesOversizedPayloadsWithAnErrorNamingItself) {
  kestrel::test::RecordingPrompts prompts;
  AppContext context({}, &prompts);
  BusLink bus(context);
  const std::vector<std::uint8_t> tooLong(kMaxSendPayload + 1, 'x');
  bus.pblSendBUF(tooLong, kOpTextCommand, 1, 20);
  bus.pblSendBUF(nullptr, 3, kOpTextCommand, 1, 20, false);
  // At the limit nothing is refused (the closed endpoint just loses the datagram).
  bus.pblSendBUF(std::vector<std::uint8_t>(kMaxSendPayload, 'x'), kOpTextCommand, 1, 20);
  const auto shown = prompts.Shown();
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& [kind, text] : shown) {
    EXPECT_EQ(kind, PromptKind::ErrorOk);
    EXPECT_EQ(text.substr(text.size() - 12), "(pblSendBUF)");
    EXPECT_NE(text[text.size() - 13], ' ') << "the name follows the text directly";
  }
  EXPECT_NE(shown[0].second.find("1274"), std::string::npos);
}

TEST(SendBuf, AnEndpointThatCannotBeSetUpSaysSoOnce) {
  kestrel::test::RecordingPrompts prompts;
  AppContext context({}, &prompts);
  BusLink bus(context);
  EXPECT_FALSE(bus.pblInitSocket("not an address"));
  EXPECT_FALSE(bus.Endpoint().IsOpen());
  const auto shown = prompts.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].first, PromptKind::InfoOk);
  EXPECT_EQ(shown[0].second,
            "Unsuccessfully initialize Winsock!Please check your settings!Please reference the manual for how to "
            "configure it.");
}

// Until its owner says that the main window exists, a receiver drops every frame; afterwards
// it follows what the owner says.
TEST(FormExists, FollowsWhatTheOwnerSaysFromNoMainWindowOn) {
  RecordingSink sink;
  BusEndpoint closed;
  PollState poll;
  SharedState state;
  TthreadRecLigth receiver{&sink, closed, poll, state};
  const auto reply = Frame(DispModeReply(2), {1, 20}, {0, 0});  // to the polled (0, 0)
  const auto offer = [&] {
    sink.Clear();
    receiver.DispatchFrame(reply, false);
    return sink.Events().size();
  };
  EXPECT_EQ(offer(), 0u);
  receiver.SetMainFormExists(true);
  EXPECT_EQ(offer(), 1u);
  receiver.SetMainFormExists(false);
  EXPECT_EQ(offer(), 0u);
}
