#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlists/DeployPlan.h"

using namespace kestrel;

// Why a song of the folder is sent, or that it is not: by presence, size, time (when compared,
// with the two-second rounding of players that keep even seconds only) and, last, content.
TEST(DeployPlan, SendsEverySongThatMayDifferAndSaysWhy) {
  const char* noon = "20190304120000";
  const char* noonAndOne = "20190304120001";
  const char* noonAndTwo = "20190304120002";
  struct Row {
    const char* what;
    bool onPlayer;
    long long playerSize;
    const char* playerTime;
    const char* localTime;
    bool times, twoSeconds, contentDiffers;
    const char* reason;  // nullptr: judged the same
  };
  const std::vector<Row> rows = {
      {"missing", false, 0, "", noon, true, false, false, "new"},
      {"size not listed", true, -1, noon, noon, true, false, false, "size"},
      {"other size", true, 10, noon, noon, false, false, false, "size"},
      {"times not compared", true, 3000, noonAndTwo, noon, false, false, false, nullptr},
      {"same time", true, 3000, noon, noon, true, false, false, nullptr},
      {"other time", true, 3000, noonAndTwo, noon, true, false, false, "time"},
      {"player's time unknown", true, 3000, "", noon, true, false, false, "time"},
      {"odd second kept as the even one after", true, 3000, noonAndTwo, noonAndOne, true, true, false, nullptr},
      {"odd second kept as the even one before", true, 3000, noon, noonAndOne, true, true, false, nullptr},
      {"even second one off", true, 3000, noonAndOne, noon, true, true, false, "time"},
      {"odd second one off, exact times", true, 3000, noonAndTwo, noonAndOne, true, false, false, "time"},
      {"other bytes", true, 3000, noon, noon, true, false, true, "content"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<DeployPlayList> local = {{"Jazz", {{"a.mp3", 3000, "/music/Jazz/a.mp3", row.localTime}}}};
    std::vector<DeployPlayList> player = {{"Jazz", {}}};
    if (row.onPlayer) player[0].songs.push_back({"a.mp3", row.playerSize, {}, row.playerTime});
    DeployComparison comparison;
    comparison.times = row.times;
    comparison.twoSecondTimes = row.twoSeconds;
    int asked = 0;
    comparison.contentDiffers = [&](const std::string&, const DeploySong&) {
      ++asked;
      return row.contentDiffers;
    };
    const DeployPlan plan = PlanDeploy(local, player, comparison);
    if (row.reason == nullptr) {
      EXPECT_TRUE(plan.Empty());
      ASSERT_EQ(plan.unchanged.size(), 1u);
      EXPECT_EQ(plan.unchanged[0].songs, 1);
    } else {
      ASSERT_EQ(plan.uploads.size(), 1u);
      EXPECT_EQ(plan.uploads[0].reason, row.reason);
      EXPECT_EQ(plan.uploads[0].replaces, row.onPlayer);
    }
    // The bytes are compared only where nothing else tells the songs apart.
    EXPECT_EQ(asked, row.reason == nullptr || std::string(row.reason) == "content" ? 1 : 0);
  }
}
