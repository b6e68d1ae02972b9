#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

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

// Writers at once, round after round, each adding its own zone. Holding the lock from reading to
// writing (kestrel-cli), every one of them is written; locking only to write (the window's
// dialog, which reads when it opens), a writer that finds the file changed since it read it is
// refused and says so. Either way the file holds exactly the zones reported written.
TEST(ZoneIniWriter, WritersAtOnceLoseNoZone) {
  constexpr int kRounds = 20, kWriters = 2;
  for (const bool fromReading : {true, false}) {
    SCOPED_TRACE(fromReading ? "locked from reading" : "locked to write");
    TempDir dir;
    const std::string path = dir.file("Zone.ini");
    std::mutex mutex;
    std::vector<std::string> written;
    for (int round = 0; round < kRounds; ++round) {
      std::atomic<int> ready{0};
      std::vector<std::thread> writers;
      for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, name = "R" + std::to_string(round) + "W" + std::to_string(w)] {
          ++ready;
          while (ready < kWriters) std::this_thread::yield();  // all start together
          std::string error;
          const std::unique_ptr<ZoneIniWriter> writer =
              fromReading ? ZoneIniWriter::OpenLocked(path, error) : std::make_unique<ZoneIniWriter>(path);
          ASSERT_TRUE(writer) << error;
          ASSERT_EQ(writer->Add({name, 1, 1}), "");
          if (writer->Save(true, error)) {
            const std::lock_guard<std::mutex> lock(mutex);
            written.push_back(name);
          } else {
            EXPECT_FALSE(fromReading) << error;
            EXPECT_NE(error.find("changed by someone else"), std::string::npos) << error;
          }
        });
      }
      for (std::thread& t : writers) t.join();
    }
    std::vector<std::string> inFile;
    const ZoneIniWriter result(path);
    for (const ZoneDefinition& zone : result.Zones()) inFile.push_back(zone.name);
    std::sort(inFile.begin(), inFile.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(inFile, written);
    if (fromReading) {
      EXPECT_EQ(written.size(), static_cast<std::size_t>(kRounds * kWriters));
    }
  }
}

#ifdef __linux__
// A disk that fills up while Zone.ini is changed: the file and the copy kept of it the last time
// stay as they were, and nothing is left behind. The disk is a small tmpfs, mounted in a mount
// namespace of this test's own, so that it goes with the test whatever happens.
TEST(ZoneIniWriter, AFullDiskLeavesTheFileAndItsCopyAsTheyWere) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no mount namespace of its own (needs root): " << std::strerror(errno);
  TempDir dir;
  ASSERT_EQ(mount("tmpfs", dir.str().c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{dir.str()};
  std::string text = "; the site\n[TotalZones]\nTotalZones=300\n";
  for (int i = 1; i <= 300; ++i)
    text += "\n[Zone" + std::to_string(i) + "]\nZoneName=Room " + std::to_string(i) + "\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=1\n";
  const std::string copy = "[TotalZones]\nTotalZones=0\n";
  const std::string path = dir.write("Zone.ini", text);
  dir.write("Zone.ini.bak", copy);
  ASSERT_GT(text.size(), 3 * 4096u);  // more than the old copy frees when it is emptied
  {
    const int filler = open(dir.file("filler").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(4096, 'x');
    while (write(filler, block.data(), block.size()) > 0) {
    }
    close(filler);
  }

  ZoneIniWriter writer(path);
  ASSERT_EQ(writer.Add({"Cafe", 2, 5}), "");
  std::string error;
  EXPECT_FALSE(writer.Save(true, error));
  EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
  EXPECT_EQ(dir.read("Zone.ini"), text);
  EXPECT_EQ(dir.read("Zone.ini.bak"), copy);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Zone.ini", "Zone.ini.bak", "Zone.ini.lock", "filler"}));
}
#endif
