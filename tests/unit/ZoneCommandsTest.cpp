#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "bus/StatusDecoders.h"
#include "bus/StatusReplies.h"
#include "zones/ZoneCommands.h"

using namespace kestrel;

namespace {
std::string Str(const Payload& p) { return {p.begin(), p.end()}; }
}  // namespace

TEST(ZoneCommands, SourceCommandTexts) {
  EXPECT_EQ(Str(PrevSongCommand()), "*S2PREV\r");
  EXPECT_EQ(Str(NextSongCommand()), "*S2NEXT\r");
  EXPECT_EQ(Str(PlayCommand()), "*S2PLAY\r");
  EXPECT_EQ(Str(StopCommand()), "*S2STOP\r");
  EXPECT_EQ(Str(UpdateListCommand()), "*S2UPDATELIST\r");
  EXPECT_EQ(UpdateListCommand().size(), 14u);
  EXPECT_EQ(Str(PlayModeQuery()), "*Z2PLAYMODE?\r");
}

TEST(ZoneCommands, PlayChosenSongWithThreeDigitNumbers) {
  EXPECT_EQ(Str(PlaySongCommand(7, 12)), "*S2LIST007,SONG012\r");
  EXPECT_EQ(PlaySongCommand(7, 12).size(), 19u);
  EXPECT_EQ(Str(PlaySongCommand(999, 0)), "*S2LIST999,SONG000\r");
  EXPECT_THROW(PlaySongCommand(1000, 1), std::out_of_range);
  EXPECT_THROW(PlaySongCommand(1, -1), std::out_of_range);
}

TEST(ZoneCommands, VolumeIsSentAsAttenuation) {
  const std::string z(1, kZoneChar);
  EXPECT_EQ(Str(SetVolumeCommand(79)), "*Z" + z + "VOL00\r");
  EXPECT_EQ(Str(SetVolumeCommand(0)), "*Z" + z + "VOL79\r");
  EXPECT_EQ(Str(SetVolumeCommand(1)), "*Z" + z + "VOL78\r");
  EXPECT_EQ(Str(SetVolumeCommand(60)), "*Z" + z + "VOL19\r");
  EXPECT_EQ(SetVolumeCommand(60).size(), 9u);
  // Out of range: the nearer end, never a character outside the digit table.
  EXPECT_EQ(Str(SetVolumeCommand(-5)), "*Z" + z + "VOL79\r");
  EXPECT_EQ(Str(SetVolumeCommand(200)), "*Z" + z + "VOL00\r");
}

TEST(ZoneCommands, PlayModeFrame) {
  EXPECT_EQ(PlayModePayload(3), (Payload{0x02, 0x03, 0x00, 0x00}));
  EXPECT_EQ(PlayModePayload(1), (Payload{0x02, 0x01, 0x00, 0x00}));
  EXPECT_THROW(PlayModePayload(0), std::out_of_range);
  EXPECT_THROW(PlayModePayload(5), std::out_of_range);
}

// The status query, the volume command and the volume decoder agree on one zone character.
TEST(ZoneCommands, OneZoneCharacterForQueryCommandAndReply) {
  const Payload query = StatusQuery();
  EXPECT_EQ(Str(query), std::string("*Z") + kZoneChar + "STATUS?\r");
  EXPECT_EQ(query.size(), 11u);
  EXPECT_EQ(SetVolumeCommand(10)[2], query[2]);
  std::uint8_t reported = 0;
  const auto echo = VolumeReply(static_cast<char>(query[2]), 25);
  EXPECT_TRUE(ParseVolume(echo.data(), echo.size(), reported));
  const auto other = VolumeReply(static_cast<char>(query[2] + 1), 25);
  EXPECT_FALSE(ParseVolume(other.data(), other.size(), reported));
}
