#include <gtest/gtest.h>

#include <optional>
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

// Which comparison a server allows: times only where it keeps and tells them and the player's
// times showed no problem; the reason given otherwise; two-second times from the player's times.
TEST(DeployPlan, ChoosesTheComparisonTheServerAllows) {
  struct Row {
    const char* what;
    bool mfmt, setsTimes, exact, mdtm;
    const char* timesNotKept;
    const char* timesProblem;
    bool times;
    const char* noTimesHas;  // part of the reason; nullptr when times are compared
  };
  const std::vector<Row> rows = {
      {"exact listing", true, true, true, false, "", "", true, nullptr},
      {"times by MDTM", true, true, false, true, "", "", true, nullptr},
      {"no way to read times", true, true, false, false, "", "", false, "neither MDTM nor MLSD"},
      {"no MFMT", false, false, true, true, "", "", false, "offers no MFMT"},
      {"times not kept before", true, false, true, true, "MFMT answered 550", "", false, "MFMT answered 550"},
      {"the player's times are wrong", true, true, true, false, "", "it dates x", false, "it dates x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DeployServerOffer offer;
    offer.mfmt = row.mfmt;
    offer.setsTimes = row.setsTimes;
    offer.exactListing = row.exact;
    offer.mdtm = row.mdtm;
    offer.timesNotKept = row.timesNotKept;
    const DeployComparison c = ChooseComparison(offer, row.timesProblem, {}, false, false);
    EXPECT_EQ(c.times, row.times);
    if (row.noTimesHas == nullptr)
      EXPECT_TRUE(c.noTimes.empty()) << c.noTimes;
    else
      EXPECT_NE(c.noTimes.find(row.noTimesHas), std::string::npos) << c.noTimes;
  }
  const auto twoSeconds = [](std::vector<const char*> times) {
    DeployPlayList list{"Jazz", {}};
    for (const char* t : times) list.songs.push_back({"a.mp3", 1, {}, t});
    return ChooseComparison({}, "", {list}, false, true).twoSecondTimes;
  };
  EXPECT_TRUE(twoSeconds({"20190304120000", "20190304120002", ""}));
  EXPECT_FALSE(twoSeconds({"20190304120000", "20190304120001"}));
  EXPECT_FALSE(twoSeconds({""}));
}

// What the player's times must show before they decide: a time for every song of the same size,
// one that can be right, and a song whose time differs to try the server on.
TEST(DeployPlan, LooksAtThePlayersTimesBeforeTrustingThem) {
  const long long now = 1700000000;  // 2023-11-14
  struct Row {
    const char* what;
    long long playerSize;
    const char* playerName;
    const char* playerTime;
    const char* problemHas;  // nullptr: none
    bool trial;
  };
  const std::vector<Row> rows = {
      {"same time", 3000, "a.mp3", "20190304120000", nullptr, false},
      {"a second apart", 3000, "a.mp3", "20190304120001", nullptr, false},
      {"other time", 3000, "a.mp3", "20190304120010", nullptr, true},
      {"no time", 3000, "a.mp3", "", "no modification time", false},
      {"before 1980", 3000, "a.mp3", "19700101000000", "cannot be right", false},
      {"next year", 3000, "a.mp3", "20241114000000", "cannot be right", false},
      {"other size: the time does not decide", 10, "a.mp3", "", nullptr, false},
      {"a name that cannot be sent", 3000, "a\r\n.mp3", "20190304120010", nullptr, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<DeployPlayList> local = {{"Jazz", {{row.playerName, 3000, "/music/Jazz/a.mp3", "20190304120000"}}}};
    const std::vector<DeployPlayList> player = {{"Jazz", {{row.playerName, row.playerSize, {}, row.playerTime}}}};
    std::optional<DeployTimeTrial> trial;
    const std::string problem = TimesProblem(local, player, now, trial);
    if (row.problemHas == nullptr)
      EXPECT_TRUE(problem.empty()) << problem;
    else
      EXPECT_NE(problem.find(row.problemHas), std::string::npos) << problem;
    ASSERT_EQ(trial.has_value(), row.trial);
    if (row.trial) {
      EXPECT_EQ(trial->playList, "Jazz");
      EXPECT_EQ(trial->local + 10, trial->listed);
    }
  }
}

// Songs that show the folder's times already show that the player keeps them: a differing song is
// tried only when they are not the most.
TEST(DeployPlan, TimesAlreadyKeptSpareTheTrial) {
  for (const int kept : {0, 1, 2}) {
    SCOPED_TRACE(kept);
    DeployPlayList local{"Jazz", {}}, player{"Jazz", {}};
    for (int i = 0; i <= kept; ++i) {
      const std::string name = std::to_string(i) + ".mp3";
      local.songs.push_back({name, 3000, "/music/Jazz/" + name, "20190304120000"});
      player.songs.push_back({name, 3000, {}, i < kept ? "20190304120000" : "20190304120010"});
    }
    std::optional<DeployTimeTrial> trial;
    EXPECT_TRUE(TimesProblem({local}, {player}, 1700000000, trial).empty());
    EXPECT_EQ(trial.has_value(), kept < 2);
  }
}
