#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/mPublicFunction.h"
#include "platform/FileWrite.h"
#include "support/TempDir.h"
#include "zones/ZoneIniWriter.h"

using namespace kestrel;
using kestrel::test::TempDir;

namespace {

std::string Names(const std::vector<ZoneDefinition>& zones) {
  std::string text;
  for (const ZoneDefinition& z : zones)
    text += z.name + "@" + std::to_string(z.subnetID) + ":" + std::to_string(z.deviceID) + " ";
  return text;
}

std::string WithLineEnd(std::string text, const std::string& eol) {
  std::string out;
  for (char c : text) out += c == '\n' ? eol : std::string(1, c);
  return out;
}

}  // namespace

// Each row: a file (or none), the changes, and the file written; what was written must read
// back as the list (Save checks that before the file is replaced).
TEST(ZoneIniWriter, ChangesKeepTheFileAndGiveTheNumberingTheProgramReads) {
  using Edit = std::function<std::string(ZoneIniWriter&)>;
  const Edit addLobby = [](ZoneIniWriter& w) { return w.Add({" Lobby ", 1, 20}); };
  struct Row {
    const char* what;
    const char* before;  // nullptr: no file
    std::vector<Edit> edits;
    std::string after;
    std::string zones;
  };
  const std::string lf3 =
      "; site north\n[TotalZones]\nTotalZones=3\n\n[Zone1]\nZoneName=Lobby\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=20\n\n"
      "[Zone2]\n; by the door\nZoneName=Bar\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=21\nNote=kept\n\n"
      "[Options]\nX=1\n\n[Zone3]\nZoneName=Cafe\nSubnetIDOfVeltra=044\nDeviceIDOfVeltra=22\n";
  const std::vector<Row> rows = {
      {"a first zone in a new file", nullptr, {addLobby, [](ZoneIniWriter& w) { return w.Add({"Bar", 1, 21}); }},
       "[TotalZones]\nTotalZones=2\n\n[Zone1]\nZoneName=Lobby\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=20\n\n"
       "[Zone2]\nZoneName=Bar\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=21\n",
       "Lobby@1:20 Bar@1:21 "},
      {"moving the last zone first: its lines go with it, the sections stay", lf3.c_str(),
       {[](ZoneIniWriter& w) { return w.Move(2, 0); }},
       "; site north\n[TotalZones]\nTotalZones=3\n\n[Zone1]\nZoneName=Cafe\nSubnetIDOfVeltra=044\nDeviceIDOfVeltra=22\n\n"
       "[Zone2]\nZoneName=Lobby\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=20\n\n"
       "[Options]\nX=1\n\n[Zone3]\n; by the door\nZoneName=Bar\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=21\nNote=kept\n",
       "Cafe@44:22 Lobby@1:20 Bar@1:21 "},
      {"removing the first zone: the others move up, the last section goes", lf3.c_str(),
       {[](ZoneIniWriter& w) { return w.Remove(0); }},
       "; site north\n[TotalZones]\nTotalZones=2\n\n[Zone1]\n; by the door\nZoneName=Bar\nSubnetIDOfVeltra=1\n"
       "DeviceIDOfVeltra=21\nNote=kept\n\n[Zone2]\nZoneName=Cafe\nSubnetIDOfVeltra=044\nDeviceIDOfVeltra=22\n\n"
       "[Options]\nX=1\n",
       "Bar@1:21 Cafe@44:22 "},
      {"CR LF, a byte order mark, other letter case and no last line end are kept",
       "\xEF\xBB\xBF[totalzones]\r\ntotalzones = 1\r\n[zone1]\r\nzonename = Lobby\r\nsubnetidofveltra=1\r\n"
       "deviceidofveltra=20",
       {[](ZoneIniWriter& w) { return w.Rename(0, "\"VIP\""); }, [](ZoneIniWriter& w) { return w.Add({"Bar", 2, 5}); }},
       "\xEF\xBB\xBF[totalzones]\r\ntotalzones=2\r\n[zone1]\r\nzonename=\"\"VIP\"\"\r\nsubnetidofveltra=1\r\n"
       "deviceidofveltra=20\r\n[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=2\r\nDeviceIDOfVeltra=5",
       "\"VIP\"@1:20 Bar@2:5 "},
      {"a section the program does not read, which the new zone would meet, becomes comments",
       "[TotalZones]\nTotalZones=1\n\n[Zone1]\nZoneName=Old\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=1\n\n"
       "[Zone2]\nZoneName=Hidden\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=2\n\n[Zone3]\nZoneName=Later\n",
       {addLobby},
       "[TotalZones]\nTotalZones=2\n\n[Zone1]\nZoneName=Old\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=1\n\n"
       "[Zone2]\nZoneName=Lobby\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=20\n\n; [Zone2]\n; ZoneName=Hidden\n"
       "; SubnetIDOfVeltra=1\n; DeviceIDOfVeltra=2\n\n[Zone3]\nZoneName=Later\n",
       "Old@1:1 Lobby@1:20 "},
      {"no count yet: it comes first", "[Options]\nX=1\n", {addLobby},
       "[TotalZones]\nTotalZones=1\n\n[Options]\nX=1\n\n[Zone1]\nZoneName=Lobby\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=20\n",
       "Lobby@1:20 "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    const std::string path = row.before ? dir.write("Zone.ini", row.before) : dir.file("Settings/Zone.ini");
    ZoneIniWriter writer(path);
    for (const Edit& edit : row.edits) ASSERT_EQ(edit(writer), "");
    std::string error;
    ASSERT_TRUE(writer.Save(false, error)) << error;
    EXPECT_EQ(TempDir::ReadFile(path), row.before ? row.after : WithLineEnd(row.after, platform::NewFileLineEnd()));
    EXPECT_EQ(Names(ZoneIniWriter(path).Zones()), row.zones);
  }
}

TEST(ZoneIniWriter, RefusalsLeaveTheListAndTheFileAsTheyWere) {
  TempDir dir;
  const std::string text = "[TotalZones]\nTotalZones=2\n[Zone1]\nZoneName=A\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=1\n"
                           "[Zone2]\nZoneName=B\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=1\n";
  const std::string path = dir.write("Zone.ini", text);
  ZoneIniWriter writer(path);
  EXPECT_EQ(writer.Add({"  ", 1, 2}), "a zone needs a name");
  EXPECT_EQ(writer.Add({"B", 1, 2}), "there is a zone named \"B\" already");
  EXPECT_EQ(writer.Add({"two\nlines", 1, 2}), "a zone name can not hold a line break");
  EXPECT_EQ(writer.Rename(0, "B"), "there is a zone named \"B\" already");
  EXPECT_EQ(writer.Remove(2), "there is no zone 3");
  EXPECT_EQ(writer.Move(0, 2), "a zone can go to rows 1 to 2");
  EXPECT_EQ(Names(writer.Zones()), "A@1:1 B@1:1 ");
  EXPECT_EQ(writer.Text(), text);

  // Written by someone else meanwhile: nothing is written over it.
  ASSERT_EQ(writer.Remove(0), "");
  dir.write("Zone.ini", text + "; edited\n");
  std::string error;
  EXPECT_FALSE(writer.Save(true, error));
  EXPECT_NE(error.find("changed by someone else"), std::string::npos) << error;
  EXPECT_EQ(dir.read("Zone.ini"), text + "; edited\n");

  // With a backup, the file as it was stays beside the new one.
  ZoneIniWriter again(path);
  ASSERT_EQ(again.Remove(0), "");
  ASSERT_TRUE(again.Save(true, error)) << error;
  EXPECT_EQ(TempDir::ReadFile(again.BackupPath()), text + "; edited\n");
  EXPECT_EQ(Names(ZoneIniWriter(path).Zones()), "B@1:1 ");

  // A file the program can not read is not changed.
  dir.write("Zone.ini", "[TotalZones]\nTotalZones=1\n[Zone1]\nZoneName=A\nSubnetIDOfVeltra=x\n");
  EXPECT_THROW(ZoneIniWriter{path}, EConvertError);
}
