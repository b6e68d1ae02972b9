#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mPublicFunction.h"
#include "support/TempDir.h"
#include "zones/ZoneIni.h"
#include "zones/ZoneStatusText.h"
#include "zones/ZoneTable.h"

using namespace kestrel;

namespace {

std::vector<ZoneDefinition> Read(const std::string& path, std::string* error = nullptr) {
  std::vector<ZoneDefinition> zones;
  try {
    ReadZoneIni(path, [&](const ZoneDefinition& z) { zones.push_back(z); });
  } catch (const EConvertError& e) {
    if (error) *error = e.what();
  }
  return zones;
}

std::string Zone(int i, const std::string& name, const std::string& subnet, const std::string& device) {
  return "[Zone" + std::to_string(i) + "]\nZoneName=" + name + "\nSubnetIDOfVeltra=" + subnet +
         "\nDeviceIDOfVeltra=" + device + "\n";
}

}  // namespace

TEST(ZoneIni, CountSectionsAndNames) {
  test::TempDir dir;
  EXPECT_TRUE(Read(dir.file("none.ini")).empty());

  auto zones = Read(dir.write("a.ini", "[TotalZones]\nTotalZones=2\n" + Zone(1, "Lobby", "1", "20") +
                                           Zone(2, "Bar", "1", "21") + Zone(3, "Never", "1", "22")));
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_EQ(zones[1].name, "Bar");
  EXPECT_EQ(zones[1].deviceID, 21);

  // A gap ends the list; a count that is no number gives nothing.
  EXPECT_EQ(Read(dir.write("b.ini", "[TotalZones]\nTotalZones=3\n" + Zone(1, "A", "1", "1") +
                                        Zone(3, "C", "1", "3"))).size(), 1u);
  EXPECT_TRUE(Read(dir.write("c.ini", "[TotalZones]\nTotalZones=abc\n" + Zone(1, "A", "1", "1"))).empty());
}

// An ID that is no number stops the loading with the conversion error; the zones before it are
// kept. An ID outside 0..255 is never wrapped into a byte (277 would drive device 21, which
// nobody configured): that zone is left out with a message naming it and the value, and the
// zones after it are read. A count that is no whole number above 0 means no zones, silently.
TEST(ZoneIni, FaultyValues) {
  struct Case {
    const char* total;
    const char* subnet2;
    const char* device2;
    const char* zones;  // the names read
    const char* error;
    const char* skipped;  // the message for a zone left out
  };
  const Case cases[] = {
      {"3", "0", "255", "A B C ", "", ""},
      {"3", "1", "x", "A ", "'x' is not a valid integer value", ""},
      {"3", "", "21", "A ", "'' is not a valid integer value", ""},
      {"3", "300", "x", "A ", "'x' is not a valid integer value", ""},
      {"3", "1", "277", "A C ", "", "Zone2 (B): '277' is not a valid DeviceIDOfVeltra value (0 to 255); the zone is left out"},
      {"3", "1", "-236", "A C ", "", "Zone2 (B): '-236' is not a valid DeviceIDOfVeltra value (0 to 255); the zone is left out"},
      {"3", "257", "21", "A C ", "", "Zone2 (B): '257' is not a valid SubnetIDOfVeltra value (0 to 255); the zone is left out"},
      {"3", "-1", "21", "A C ", "", "Zone2 (B): '-1' is not a valid SubnetIDOfVeltra value (0 to 255); the zone is left out"},
      {"abc", "1", "21", "", "", ""},
      {"65536", "0", "255", "A B C ", "", ""},
      {"2147483647", "0", "255", "A B C ", "", ""},
      {"0", "1", "21", "", "", ""},
      {"-1", "1", "21", "", "", ""},
      {"99999999999", "1", "21", "", "", ""},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.total) + " / " + c.subnet2 + ":" + c.device2);
    std::string error, names, skipped;
    std::vector<ZoneDefinition> zones;
    try {
      ReadZoneIni(
          dir.write("z.ini", std::string("[totalzones]\ntotalzones=") + c.total + "\n" + Zone(1, "A", "1", "20") +
                                 Zone(2, "B", c.subnet2, c.device2) + Zone(3, "C", "1", "22")),
          [&](const ZoneDefinition& z) { zones.push_back(z); }, [&](const std::string& why) { skipped += why; });
    } catch (const EConvertError& e) {
      error = e.what();
    }
    for (const ZoneDefinition& z : zones) names += z.name + " ";
    EXPECT_EQ(names, c.zones);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(skipped, c.skipped);
    if (zones.size() == 3) {  // both ends of the range, as written
      EXPECT_EQ(zones[1].subnetID, 0);
      EXPECT_EQ(zones[1].deviceID, 255);
    }
  }
  EXPECT_THROW(StrToInt("99999999999"), EConvertError);
  EXPECT_EQ(StrToInt(" -12 "), -12);
}

TEST(ZoneStatusText, TimesPercentagesAndModes) {
  EXPECT_EQ(ZoneTimeText(65), "1:5");
  EXPECT_EQ(ZoneTimeText(200), "3:20");
  EXPECT_EQ(ZoneTimeText(600), "10:0");
  EXPECT_EQ(ZoneTimeText(0), "0:0");
  const std::pair<int, int> percent[] = {{0, 0}, {1, 1}, {2, 3}, {40, 51}, {60, 76}, {78, 99}, {79, 100}, {200, 100}};
  for (auto [v, p] : percent) EXPECT_EQ(ZoneVolumePercent(static_cast<std::uint8_t>(v)), p) << v;

  TZone z;
  z.Volume = 60;
  EXPECT_EQ(ComposeZoneStatusText(z), "Volume: 76%.  ");
  z.PlayMode = 5;
  EXPECT_EQ(ComposeZoneStatusText(z), "Volume: 76%.  ");
  z.SongName = "Track01";
  z.PosText = "1:5";
  z.DurText = "3:20";
  z.PlayMode = 4;
  EXPECT_EQ(ComposeZoneStatusText(z), "Song Name: Track01.  Times: 1:5 / 3:20.  Volume: 76%.  Play Mode: Repeat List");
}

TEST(ZoneTable, ReportsGoToTheFirstZoneOfThePolledAddress) {
  std::pair<std::uint8_t, std::uint8_t> polled{1, 20};
  ZoneTable table([&] { return polled; });
  std::vector<std::pair<std::size_t, std::string>> texts;
  table.SetRowTextHandler([&](std::size_t row, const std::string& t) { texts.emplace_back(row, t); });
  table.Append({"Bar", 1, 21});
  table.Append({"Lobby", 1, 20});
  table.Append({"Lobby twin", 1, 20});

  table.SetZoneVolume(60);
  table.SetZonePlayMode(2);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], (std::pair<std::size_t, std::string>{1, "Volume: 76%.  Play Mode: Repeat One"}));

  table.SetZoneTimes(0, 0);
  EXPECT_EQ(texts.back().second, "Times: 0:0 / 0:0.  Volume: 76%.  Play Mode: Repeat One");
  table.SetZoneSong("Hi", -1);
  table.SetZoneSong("", 12);  // keeps the name; the number does not show
  EXPECT_EQ(texts.back().second, "Song Name: Hi.  Times: 0:0 / 0:0.  Volume: 76%.  Play Mode: Repeat One");
  const std::size_t before = texts.size();
  table.SetZoneListNo(2);  // stored, no new text
  EXPECT_EQ(texts.size(), before);

  const TZone z = table.Snapshot(1);
  EXPECT_EQ(z.SongName, "Hi");
  EXPECT_EQ(z.SongNo, 12);
  EXPECT_EQ(z.ListNo, 2);
  EXPECT_EQ(table.Snapshot(2).Volume, 0);  // the twin never changes
  EXPECT_EQ(table.Snapshot(0).Volume, 0);

  polled = {9, 9};
  table.SetZoneVolume(10);
  EXPECT_EQ(texts.size(), before);
}

TEST(ZoneTable, CheckStateCountsOnlyTransitions) {
  ZoneTable table({});
  table.Append({"A", 1, 1});
  EXPECT_EQ(table.ApplyCheckState(0, true), 1);
  EXPECT_EQ(table.ApplyCheckState(0, true), 0);  // a selection change, say
  EXPECT_EQ(table.ApplyCheckState(0, false), -1);
  EXPECT_EQ(table.ApplyCheckState(0, false), 0);
}

// A poll whose slot ends without a reply counts against the zone; the third in a row marks it
// as not answering (once), and any reply clears the count and the mark.
TEST(ZoneTable, ThreeUnansweredPollsInARowMarkAZoneUntilItAnswers) {
  ZoneTable table([] { return std::make_pair(std::uint8_t{1}, std::uint8_t{20}); });
  table.Append({"Lobby", 1, 20});
  std::vector<std::pair<bool, std::int64_t>> told;
  table.SetRowAnswerHandler([&](std::size_t, bool answering, std::int64_t last) { told.emplace_back(answering, last); });

  table.SetZoneVolume(60);  // an answer in the first poll
  const std::int64_t answered = table.Snapshot(0).LastAnswer;
  EXPECT_GT(answered, 0);
  table.PollEnded(0);
  table.PollEnded(0);
  table.PollEnded(0);
  table.SetZoneVolume(60);  // a reply after two unanswered polls starts the count anew
  table.PollEnded(0);
  EXPECT_TRUE(told.empty());
  for (int poll = 0; poll < 4; ++poll) table.PollEnded(0);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], std::make_pair(false, table.Snapshot(0).LastAnswer));
  EXPECT_FALSE(ZoneTable::Answering(table.Snapshot(0)));

  table.SetZoneListNo(2);  // any reply
  ASSERT_EQ(told.size(), 2u);
  EXPECT_TRUE(told[1].first);
  EXPECT_TRUE(ZoneTable::Answering(table.Snapshot(0)));
}
