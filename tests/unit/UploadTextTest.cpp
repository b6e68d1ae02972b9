// The texts of an upload: the speed, the server's file name, the end message.
#include <gtest/gtest.h>

#include "core/TextEscape.h"
#include "playlists/ServerNames.h"
#include "playlists/UploadSongs.h"

using namespace kestrel;

TEST(UploadText, SpeedIsTheAverageInKilobytesWithTheLocaleSeparator) {
  struct Case { std::int64_t bytes; double seconds; const char* point; const char* text; };
  for (const Case& c : {Case{512000, 2.5, ".", "200.00 KB/s"}, Case{512000, 2.5, ",", "200,00 KB/s"},
                        Case{1034, 1.0, ".", "1.01 KB/s"}, Case{5, 0.0, ".", ""}})
    EXPECT_EQ(SpeedText(c.bytes, c.seconds, c.point), c.text) << c.bytes << " " << c.seconds;
}

TEST(UploadText, ServerNameIsTheFileNameAndTheEndMessageNamesEachFile) {
  EXPECT_EQ(ServerFileName("/home/u/Music/A b.MP3"), "A b.MP3");
  EXPECT_EQ(NotStoredText({{"a.mp3", "553 no"}, {"b.mp3", "cannot open b"}}),
            "These files were not stored:\n\na.mp3: 553 no\nb.mp3: cannot open b");
}

// Which names of a listing are sent back, which local names the server is given, how names show
// in messages, and the temporary names of transfers.
TEST(UploadText, NamesOfTheServerAndTemporaryNames) {
  struct Case { const char* name; bool sentBack; bool given; const char* shown; };
  for (const Case& c : {Case{"Caf\xC3\xA9.mp3", true, true, "\"Caf\xC3\xA9.mp3\""},
                        Case{"Caf\xE9.mp3", true, false, "\"Caf\\xE9.mp3\""},
                        Case{"\xED\xA0\x80.mp3", true, false, "\"\\xED\\xA0\\x80.mp3\""},  // a surrogate
                        Case{"\xC0\xAF.mp3", true, false, "\"\\xC0\\xAF.mp3\""},          // an overlong "/"
                        Case{"a\nb\r.mp3", true, false, "\"a\\nb\\r.mp3\""},
                        Case{"b\r\n213 End", false, false, "\"b\\r\\n213 End\""},  // broke its listing's lines
                        Case{"../Lobby/x.mp3", false, false, "\"../Lobby/x.mp3\""},
                        Case{"a\\b", false, false, "\"a\\\\b\""}, Case{"..", false, false, "\"..\""}}) {
    EXPECT_EQ(IsUsableServerName(c.name), c.sentBack) << c.shown;
    EXPECT_EQ(NewServerNameProblem(c.name).empty(), c.given) << c.shown;
    EXPECT_EQ(QuotedName(c.name), c.shown);
  }
  const std::uint32_t installation = 0x5eed1234;
  const std::string name = TransferName::New(installation);
  EXPECT_EQ(name.size(), TransferName::kLength);
  EXPECT_TRUE(TransferName::Is(name));
  EXPECT_FALSE(TransferName::Is("x.mp3.part"));
  EXPECT_FALSE(NewServerNameProblem(name).empty());
  const std::time_t now = std::time(nullptr);
  const std::time_t later = now + TransferName::kAbandonedAfterSeconds + 1;
  EXPECT_TRUE(TransferName::Abandoned(name, now, installation));  // this process's own
  // Another installation's, started now; started long ago, and written to long ago or just now.
  EXPECT_FALSE(TransferName::Abandoned(name, now, installation + 1));
  EXPECT_TRUE(TransferName::Abandoned(name, later, installation + 1, [&] { return std::int64_t{now}; }));
  EXPECT_FALSE(TransferName::Abandoned(name, later, installation + 1, [&] { return std::int64_t{later}; }));
}
