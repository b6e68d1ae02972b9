#include <gtest/gtest.h>

#include "platform/ProfileIni.h"
#include "support/TempDir.h"

using namespace kestrel::platform;
using kestrel::test::TempDir;

TEST(ProfileIni, ReadsLikeTheWindowsRoutines) {
  TempDir dir;
  const auto path = dir.write("a.ini",
                              "\xEF\xBB\xBF; comment = not a key\r\n"
                              "[TotalZones]\r\n"
                              "TotalZones = 3 \r\n"
                              "[ Zone1 ]\r\n"
                              "zonename=  Lobby Bar  \r\n"
                              "Quoted=\"  kept  \"\r\n"
                              "ZoneName=second copy\r\n"
                              "[zone1]\r\n"
                              "Other=from a later section of the same name\r\n");
  EXPECT_EQ(ReadProfileString(path, "totalzones", "TOTALZONES", "0"), "3");
  EXPECT_EQ(ReadProfileString(path, "ZONE1", "ZoneName", ""), "Lobby Bar");
  EXPECT_EQ(ReadProfileString(path, "Zone1", "Quoted", ""), "  kept  ");
  EXPECT_EQ(ReadProfileString(path, "Zone1", "Other", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileString(path, "Zone1", "; comment", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileString(path, "Zone2", "ZoneName", "none  "), "none");
  EXPECT_EQ(ReadProfileString(dir.file("missing.ini"), "a", "b", "21"), "21");
}

TEST(ProfileIni, WriteChangesOneKeyInPlaceAndKeepsTheRest) {
  TempDir dir;
  const std::string before =
      "; FTP server of the lobby player\r\n"
      "[ftpServer]\r\n"
      "IP=192.168.1.50\r\n"
      "; the port below was changed by hand\r\n"
      "port = 2121\r\n"
      "UserName=coral\r\n"
      "\r\n"
      "[Other]\r\n"
      "Port=9\r\n";
  const auto path = dir.write("ftpServer.ini", before);
  ASSERT_TRUE(WriteProfileString(path, "FTPSERVER", "Port", "21"));
  ASSERT_TRUE(WriteProfileString(path, "ftpServer", "Password", "tevka"));
  ASSERT_TRUE(WriteProfileString(path, "New", "Key", "v"));
  ASSERT_TRUE(FlushProfile(path));
  EXPECT_EQ(dir.read("ftpServer.ini"),
            "; FTP server of the lobby player\r\n"
            "[ftpServer]\r\n"
            "IP=192.168.1.50\r\n"
            "; the port below was changed by hand\r\n"
            "port=21\r\n"
            "UserName=coral\r\n"
            "Password=tevka\r\n"
            "\r\n"
            "[Other]\r\n"
            "Port=9\r\n"
            "\r\n"
            "[New]\r\n"
            "Key=v\r\n");
  EXPECT_EQ(ReadProfileString(path, "other", "port", ""), "9");
}

TEST(ProfileIni, CreatesFileAndRefusesLineBreaks) {
  TempDir dir;
  const auto path = dir.file("Settings/new.ini");
  ASSERT_TRUE(WriteProfileString(path, "ftpServer", "IP", "10.0.0.2"));
  EXPECT_EQ(ReadProfileString(path, "ftpServer", "IP", ""), "10.0.0.2");

  EXPECT_FALSE(WriteProfileString(path, "ftpServer", "Password", "x\r\nIP=6.6.6.6"));
  EXPECT_FALSE(WriteProfileString(path, "ftpServer", "a=b", "x"));
  EXPECT_FALSE(WriteProfileString(path, "", "k", "x"));
  EXPECT_EQ(ReadProfileString(path, "ftpServer", "IP", ""), "10.0.0.2");
  EXPECT_EQ(ReadProfileString(path, "ftpServer", "Password", "none"), "none");
}

TEST(ProfileIni, WorksInAFolderNamedOutsideTheAnsiCodePage) {
  TempDir dir("kestrel-Пользователь-設定-");
  const auto path = dir.file("Settings/ftpServer.ini");
  ASSERT_TRUE(WriteProfileString(path, "ftpServer", "UserName", "Ωμέγα"));
  ASSERT_TRUE(WriteProfileString(path, "ftpServer", "Port", "21"));
  EXPECT_TRUE(FlushProfile(path));
  EXPECT_EQ(ReadProfileString(path, "ftpServer", "UserName", ""), "Ωμέγα");
  EXPECT_EQ(ReadProfileString(dir.write("Zone.ini", "[TotalZones]\nTotalZones=2\n"), "TotalZones",
                              "TotalZones", "0"),
            "2");
  EXPECT_FALSE(FlushProfile(dir.file("Settings/missing.ini")));
}
