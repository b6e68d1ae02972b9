// Which replies find a device in a zone scan, on crafted frames offered to the receive thread's
// dispatcher while a scan runs over a closed endpoint; nothing here touches the network.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bus/BusEndpoint.h"
#include "bus/StatusReplies.h"
#include "bus/threadUDPReceive.h"
#include "core/AppContext.h"
#include "core/SharedState.h"
#include "support/RecordingPrompts.h"
#include "zones/ZoneScan.h"

using namespace kestrel;

namespace {

using Address = std::pair<int, int>;

std::vector<std::uint8_t> Reply(Address from, Address to) {
  const FrameSource source{static_cast<std::uint8_t>(from.first), static_cast<std::uint8_t>(from.second), 0x0278};
  const ReplyPayload payload = DispModeReply(3);
  const auto datagram = PackFrameFrom(source, payload.data(), payload.size(), kOpTextReply,
                                      static_cast<std::uint8_t>(to.first), static_cast<std::uint8_t>(to.second),
                                      false, {10, 77, 1, 2}, false);
  const auto frame = pblUnpackFrame(datagram.data(), datagram.size());
  EXPECT_TRUE(frame.has_value());
  return frame ? frame->data : std::vector<std::uint8_t>{};
}

}  // namespace

// The scan asks 0:249, 0:250, 1:249 and 1:250; once all are asked, the row's replies come.
TEST(ZoneScan, OnlyAReplyFromAnAddressAskedFindsADevice) {
  struct Case {
    const char* what;
    std::vector<std::pair<Address, Address>> replies;  // (source, target)
    std::set<Address> found;
  };
  const Case cases[] = {
      {"a device asked answering a PC at 0:250", {{{1, 250}, {0, 250}}}, {{1, 250}}},
      {"another PC polling a zone not asked: the reply goes to that PC at 0:250", {{{7, 7}, {0, 250}}}, {}},
      {"text replies of a device not asked, addressed to devices asked", {{{7, 7}, {1, 249}}, {{7, 7}, {1, 250}}}, {}},
      {"one device asked addressing another asked", {{{0, 249}, {1, 250}}}, {{0, 249}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::RecordingPrompts prompts;
    AppContext context({}, &prompts);
    BusLink bus{context};  // never opened: the queries go nowhere
    PollState poll;
    SharedState state;
    TthreadRecLigth receiver{nullptr, bus.Endpoint(), poll, state};
    ZoneScanner scanner(bus, receiver);
    ScanRange range;
    range.subnets = {0, 1};
    range.firstDevice = 249;
    range.lastDevice = 250;
    const auto found = scanner.Run(range, [&](std::size_t done, std::size_t total) {
      if (done < total) return;
      for (const auto& [from, to] : c.replies) receiver.DispatchFrame(Reply(from, to), false);
      scanner.Cancel();  // no answer is late here
    });
    std::set<Address> addresses;
    for (const FoundDevice& d : found) addresses.insert({d.subnetID, d.deviceID});
    EXPECT_EQ(addresses, c.found);
  }
}
