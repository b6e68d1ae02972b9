#include <gtest/gtest.h>

#include "playlists/FtpServerSettings.h"
#include "support/TempDir.h"

using namespace kestrel;
using kestrel::test::TempDir;

TEST(FtpServerSettings, ReadsDefaultsAndParsesThePortStrictly) {
  TempDir dir;
  const FtpServerSettings none = ReadFtpServerSettings(dir.file("ftpServer.ini"));
  EXPECT_EQ(none.ip, "");
  EXPECT_EQ(none.port, "21");
  EXPECT_EQ(none.userName, "");

  FtpServerSettings written{"192.168.1.50", "2121", "coral", "tevka"};
  ASSERT_TRUE(WriteFtpServerSettings(dir.file("ftpServer.ini"), written));
  const FtpServerSettings back = ReadFtpServerSettings(dir.file("ftpServer.ini"));
  EXPECT_EQ(back.ip, "192.168.1.50");
  EXPECT_EQ(back.port, "2121");
  EXPECT_EQ(back.password, "tevka");
  written.password = "two\r\nlines";
  EXPECT_FALSE(WriteFtpServerSettings(dir.file("ftpServer.ini"), written));

  std::uint16_t port = 0;
  EXPECT_TRUE(ParseFtpPort("21", port));
  EXPECT_EQ(port, 21);
  EXPECT_TRUE(ParseFtpPort(" 65535 ", port));
  EXPECT_EQ(port, 65535);
  for (const char* bad : {"", "21a", "0", "65536", "-21", "0x15", "2 1", "999999"})
    EXPECT_FALSE(ParseFtpPort(bad, port)) << bad;
}
