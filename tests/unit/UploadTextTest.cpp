// The texts of an upload: the speed, the server's file name, the end message.
#include <gtest/gtest.h>

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
