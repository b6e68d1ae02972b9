#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/StatusDecoders.h"
#include "bus/StatusReplies.h"
#include "bus/Utf16Text.h"
#include "core/SharedState.h"
#include "platform/DebugTrace.h"
#include "support/ScopedTrace.h"
#include "zones/ZoneCommands.h"

using namespace kestrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) { return {s.begin(), s.end()}; }

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The first `k` bytes in a heap block of exactly that size, so that a read past the end is
// caught by the address sanitizer.
std::unique_ptr<std::uint8_t[]> Exact(const Bytes& b, std::size_t k) {
  auto out = std::make_unique<std::uint8_t[]>(k == 0 ? 1 : k);
  std::copy_n(b.begin(), k, out.get());
  return out;
}

struct Times {
  std::int32_t duration = -1, position = -1;
  char status = 0;
};

bool DispInfo(const std::string& text, Times& t) {
  const Bytes b = B(text);
  return ParseDispInfo(b.data(), b.size(), t.duration, t.position, t.status);
}

bool Volume(const Bytes& b, std::uint8_t& reported) { return ParseVolume(b.data(), b.size(), reported); }

}  // namespace

TEST(CharToDigit, DigitsAndEverythingElse) {
  for (int d = 0; d <= 9; ++d) EXPECT_EQ(CharToDigit(static_cast<std::uint8_t>('0' + d)), d);
  for (int c : {0, int{'a'}, int{' '}, int{'/'}, int{':'}, 0xFF}) EXPECT_EQ(CharToDigit(static_cast<std::uint8_t>(c)), 0) << c;
}

TEST(ParseDispInfo, ReadsEachNumberOverItsOwnDigits) {
  Times t;
  ASSERT_TRUE(DispInfo("#S2DISPINFO,DUR2405,POS0312,STATUS1\r", t));
  EXPECT_EQ(t.duration, 240);
  EXPECT_EQ(t.position, 31);
  EXPECT_EQ(t.status, '1');

  ASSERT_TRUE(DispInfo("#S2DISPINFO,DUR2405,POS95,STATUS1", t));
  EXPECT_EQ(t.duration, 240);
  EXPECT_EQ(t.position, 9);

  // A letter among the digits counts as 0; an empty run is 0.
  ASSERT_TRUE(DispInfo("#S2DISPINFO,DUR24x5,POS,STATUS0xxxxx", t));
  EXPECT_EQ(t.duration, 240);
  EXPECT_EQ(t.position, 0);
}

TEST(ParseDispInfo, RefusesShortOrMisshapenReplies) {
  Times t;
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR240,POS031,STAT", t));  // 29 bytes, otherwise fine
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR240,POS031,STATUS", t));  // no status character
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR2405;POS0312;STATUS1\r", t));      // no comma after DUR
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR2405,PQS0312,STATUS1\r", t));
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR2405,POS0312,STATVS1\r", t));
  EXPECT_FALSE(DispInfo("#S3DISPINFO,DUR2405,POS0312,STATUS1\r", t));
}

TEST(ParseDispInfo, NumbersBeyond32BitsDropTheReply) {
  Times t;
  EXPECT_TRUE(DispInfo("#S2DISPINFO,DUR2147483647,POS0,STATUS1", t));
  EXPECT_EQ(t.duration, 214748364);
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR2147483648,POS0,STATUS1", t));
  EXPECT_FALSE(DispInfo("#S2DISPINFO,DUR0,POS99999999999999999999999,STATUS1", t));
  // Leading zeros do not make a number large.
  ASSERT_TRUE(DispInfo("#S2DISPINFO,DUR000000000000000000002405,POS0,STATUS1", t));
  EXPECT_EQ(t.duration, 240);
}

TEST(ParseVolume, AttenuationWithOneOrTwoDigits) {
  std::uint8_t r = 0;
  const char z = kZoneChar;
  ASSERT_TRUE(Volume(B(std::string("#Z") + z + ",ON,SRC2,VOL7\r"), r));
  EXPECT_EQ(VolumeFromAttenuation(r), 72);
  ASSERT_TRUE(Volume(B(std::string("#Z") + z + ",ON,SRC2,VOL25\r"), r));
  EXPECT_EQ(VolumeFromAttenuation(r), 54);
  ASSERT_TRUE(Volume(VolumeReply(z, 0), r));
  EXPECT_EQ(VolumeFromAttenuation(r), 79);

  EXPECT_FALSE(Volume(VolumeReply(z == '1' ? '3' : '1', 7), r));             // another zone
  EXPECT_FALSE(Volume(B(std::string("#Z") + z + ",ON,SRC3,VOL7\r"), r));    // another source
  EXPECT_FALSE(Volume(B(std::string("#Z") + z + ",ON,SRC2,VOL7"), r));      // 16 bytes
}

TEST(ParseVolume, ReportsBeyondTheQuietestStepAreSilentNotWrapped) {
  std::uint8_t r = 0;
  ASSERT_TRUE(Volume(VolumeReply(kZoneChar, 99), r));
  EXPECT_EQ(r, 99);
  EXPECT_EQ(VolumeFromAttenuation(r), 0);
  EXPECT_EQ(VolumeFromAttenuation(80), 0);
  EXPECT_EQ(VolumeFromAttenuation(79), 0);
}

TEST(ParseDispMode, ModeDigitAndMinimumLength) {
  std::uint8_t mode = 0;
  const Bytes reply = DispModeReply(3);
  ASSERT_EQ(reply.size(), 20u);
  ASSERT_TRUE(ParseDispMode(reply.data(), reply.size(), mode));
  EXPECT_EQ(mode, 3);
  EXPECT_FALSE(ParseDispMode(reply.data(), 19, mode));
  const Bytes other = B("#S2DISPMODE;STATUS4\r");
  EXPECT_FALSE(ParseDispMode(other.data(), other.size(), mode));
}

TEST(ParseSongName, Utf16TextToUtf8AndTheTrace) {
  std::vector<std::string> trace;
  std::string name;
  {
    const test::ScopedTrace traced([&](std::string_view t) { trace.emplace_back(t); });
    const Bytes hi = Cat(B("#S2DISPLINE4,"), {0x02, 0x00, 0x48, 0x00, 0x69, 0x00, 0x03, 0x0D});
    ASSERT_TRUE(ParseSongName(hi.data(), hi.size(), name));
    EXPECT_EQ(name, "Hi");

    const Bytes empty = DisplayLineReply('4', "");
    ASSERT_TRUE(ParseSongName(empty.data(), empty.size(), name));
    EXPECT_EQ(name, "");
  }
  EXPECT_EQ(trace, (std::vector<std::string>{"aaaaa:Hi", "aaaaa:"}));

  for (const std::string text : {"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x8E\xB5 track"}) {
    const Bytes r = DisplayLineReply('4', text);
    ASSERT_TRUE(ParseSongName(r.data(), r.size(), name));
    EXPECT_EQ(name, text);
  }
}

TEST(ParseSongName, LoneSurrogatesAndMissingEnds) {
  std::string name;
  // A high surrogate followed by a letter, and a low surrogate on its own.
  const Bytes lone = Cat(B("#S2DISPLINE4,"), {0x02, 0xD8, 0x3C, 0x00, 0x41, 0xDC, 0x00, 0x00, 0x03, 0x0D});
  ASSERT_TRUE(ParseSongName(lone.data(), lone.size(), name));
  EXPECT_EQ(name, "\xEF\xBF\xBD" "A" "\xEF\xBF\xBD");

  const Bytes noEnd = Cat(B("#S2DISPLINE4,"), {0x02, 0x00, 0x48, 0x00, 0x69});
  EXPECT_FALSE(ParseSongName(noEnd.data(), noEnd.size(), name));
  const Bytes noCR = Cat(B("#S2DISPLINE4,"), {0x02, 0x00, 0x48, 0x00, 0x03, 0x0A});
  EXPECT_FALSE(ParseSongName(noCR.data(), noCR.size(), name));
  const Bytes line3 = DisplayLineReply('3', "Hi");
  EXPECT_FALSE(ParseSongName(line3.data(), line3.size(), name));
}

TEST(ParseSongNo, NumberBeforeTheSlash) {
  std::int32_t no = 0;
  const Bytes r = DisplayLineReply('3', "S:12/140");
  ASSERT_TRUE(ParseSongNo(r.data(), r.size(), no));
  EXPECT_EQ(no, 12);

  const Bytes list = DisplayLineReply('1', "L:3/7");
  ASSERT_TRUE(ParseListNo(list.data(), list.size(), no));
  EXPECT_EQ(no, 3);
  EXPECT_FALSE(ParseSongNo(list.data(), list.size(), no));
  EXPECT_FALSE(ParseListNo(r.data(), r.size(), no));
}

TEST(ParseSongNo, ANumberThatIsNoIntegerDropsTheFrame) {
  std::int32_t no = 7;
  for (const char* text : {"S:/140", "S:1x/140", "S:99999999999/1", "S:"}) {
    const Bytes r = DisplayLineReply('3', text);
    EXPECT_THROW(ParseSongNo(r.data(), r.size(), no), BadReplyNumber) << text;
  }
  EXPECT_EQ(no, 7);
  // Without the end unit, or without the CR after it, the reply is not recognised.
  Bytes cut = DisplayLineReply('3', "S:12/140");
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(ParseSongNo(cut.data(), cut.size(), no));
  Bytes noCR = DisplayLineReply('3', "S:12/140");
  noCR.back() = 0x0A;
  EXPECT_FALSE(ParseSongNo(noCR.data(), noCR.size(), no));
}

TEST(ParseDispUpdate, SetsAndClearsTheReloadStateButRecognisesNothing) {
  SharedState state;
  state.UpdateWaitCounter = 1234;
  const Bytes on = DispUpdateReply(true);
  ASSERT_EQ(on.size(), 22u);
  EXPECT_FALSE(ParseDispUpdate(on.data(), on.size(), state));
  EXPECT_TRUE(state.ZoneUpdating);
  EXPECT_EQ(state.UpdateWaitCounter, 0);

  state.UpdateWaitCounter = 50;
  const Bytes off = DispUpdateReply(false);
  EXPECT_FALSE(ParseDispUpdate(off.data(), off.size(), state));
  EXPECT_FALSE(state.ZoneUpdating);
  EXPECT_EQ(state.UpdateWaitCounter, 0);

  state.UpdateWaitCounter = 50;
  EXPECT_FALSE(ParseDispUpdate(on.data(), on.size() - 1, state));  // without the CR nothing changes
  EXPECT_FALSE(state.ZoneUpdating);
  EXPECT_EQ(state.UpdateWaitCounter, 50);
}

// Every decoder, given every prefix of a well-formed reply in a block of exactly that size,
// stays inside it and recognises exactly the prefixes that hold its whole pattern.
TEST(Decoders, NeverReadBeyondThePayload) {
  struct Case {
    Bytes reply;
    std::size_t shortest;  // the shortest prefix that is recognised
    std::function<bool(const std::uint8_t*, std::size_t)> decode;
  };
  std::int32_t i32 = 0, j32 = 0;
  std::uint8_t u8 = 0;
  char c = 0;
  std::string s;
  const std::vector<Case> cases = {
      {DispInfoReply(2405, 312, '1'), 35, [&](auto p, auto n) { return ParseDispInfo(p, n, i32, j32, c); }},
      {VolumeReply(kZoneChar, 25), 17, [&](auto p, auto n) { return ParseVolume(p, n, u8); }},
      {DispModeReply(2), 20, [&](auto p, auto n) { return ParseDispMode(p, n, u8); }},
      {DisplayLineReply('4', "Song"), 25, [&](auto p, auto n) { return ParseSongName(p, n, s); }},
      {DisplayLineReply('3', "S:5/9"), 27, [&](auto p, auto n) { return ParseSongNo(p, n, i32); }},
      {DisplayLineReply('1', "L:2/3"), 27, [&](auto p, auto n) { return ParseListNo(p, n, i32); }},
  };
  for (const auto& k : cases) {
    for (std::size_t len = 0; len <= k.reply.size(); ++len) {
      const auto block = Exact(k.reply, len);
      bool recognised = false;
      try {
        recognised = k.decode(block.get(), len);
      } catch (const BadReplyNumber&) {
      }
      EXPECT_EQ(recognised, len >= k.shortest) << std::string(k.reply.begin(), k.reply.end()) << " cut to " << len;
    }
  }
}

TEST(Utf16Text, RoundTripAndMalformedInput) {
  for (const std::string text : {"", "Hi", "\xC3\xA9t\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x8E\xB5"}) {
    const auto units = Utf8ToUtf16Be(text);
    EXPECT_EQ(Utf16BeToUtf8(units.data(), units.size() / 2), text);
  }
  EXPECT_EQ(Utf8ToUtf16Be("\xF0\x9F\x8E\xB5"), (Bytes{0xD8, 0x3C, 0xDF, 0xB5}));
  // Broken UTF-8 (a cut sequence, an overlong form, an encoded surrogate) gives U+FFFD per byte.
  EXPECT_EQ(Utf8ToUtf16Be("a\xC3"), (Bytes{0x00, 0x61, 0xFF, 0xFD}));
  EXPECT_EQ(Utf8ToUtf16Be("\xC0\x80"), (Bytes{0xFF, 0xFD, 0xFF, 0xFD}));
  EXPECT_EQ(Utf8ToUtf16Be("\xED\xA0\x80").size(), 6u);
}
