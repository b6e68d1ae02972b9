// Deploys over several connections at once: what the player holds afterwards, song by song and
// in the order it numbers them, is what a deploy over one connection leaves, whatever number of
// connections the server takes and when one of them goes.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "FtpFixture.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

class ParallelDeployTest : public FtpFixture {
 protected:
  // Three play lists of four songs, each song of its own bytes and size.
  void SetUp() override {
    int n = 0;
    for (const char* list : {"Jazz", "Rock", "Folk"})
      for (const char* song : {"d.mp3", "b.mp3", "c.mp3", "a.mp3"}) {
        ++n;
        music.write(std::string(list) + "/" + song, std::string(40000 + 1000 * n, static_cast<char>('A' + n)));
      }
  }
  CliRun Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--settings", settings.str()});
    return RunCli(args);
  }
  // What the player numbers: each play list's songs as `songs` lists them.
  std::string Numbering() const {
    std::string text;
    for (const char* list : {"Folk", "Jazz", "Rock"}) text += Cli({"songs", list}).out;
    return text;
  }
  // Each song the player holds equals the folder's, and an unfinished copy is named in `told`;
  // the names of the songs it holds, sorted.
  std::vector<std::string> WholeSongs(const fs::path& player, const std::string& told = {}) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(player)) {
      if (!entry.is_regular_file()) continue;
      const std::string rel = fs::relative(entry.path(), player).string();
      if (entry.path().extension() == ".part") {
        EXPECT_NE(told.find(entry.path().filename().string()), std::string::npos) << rel << " not named in:\n" << told;
        continue;
      }
      EXPECT_TRUE(Bytes(entry.path()) == Bytes(music.path() / rel)) << rel << " holds other bytes";
      names.push_back(rel);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::vector<std::string> AllSongs() {
    std::vector<std::string> names;
    for (const char* list : {"Folk", "Jazz", "Rock"})
      for (const char* song : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) names.push_back(std::string(list) + "/" + song);
    return names;
  }

  TempDir music;
};

}  // namespace

// One connection, three, or three asked of a server that takes one: the same songs, whole, in
// the same order; a second deploy finds nothing to do.
TEST_F(ParallelDeployTest, SeveralConnectionsLeaveWhatOneLeaves) {
  const struct {
    const char* what;
    std::vector<std::string> server;
    const char* connections;
    int logins;  // PASS lines the server saw at least in the first deploy; -1: not counted
  } rows[] = {
      {"one connection", {}, "1", 1},
      {"three connections", {}, "3", 3},
      {"three asked, one login taken (530)", {"--max-logins", "1"}, "3", -1},
      {"three asked, one session taken (421)", {"--max-sessions", "1"}, "3", -1},
  };
  std::string serial;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir player;
    std::vector<std::string> options = {"--creation-order"};
    options.insert(options.end(), row.server.begin(), row.server.end());
    FtpTestServer server(player.str(), options);
    WriteIniFor(server);
    const CliRun deploy = Cli({"deploy", "--no-check", music.str(), "--connections", row.connections});
    EXPECT_EQ(deploy.status, 0) << deploy.err;
    EXPECT_NE(deploy.err.find("12 of 12 song(s) stored"), std::string::npos) << deploy.err;
    if (row.logins >= 0) {  // more where a connection was opened again
      EXPECT_GE(Count(server.Commands(), "PASS"), row.logins);
    }
    EXPECT_EQ(WholeSongs(player.path()), AllSongs());
    const std::string numbering = Numbering();
    if (serial.empty()) serial = numbering;
    EXPECT_EQ(numbering, serial);
    const std::size_t mark = server.Commands().size();
    const CliRun again = Cli({"deploy", "--no-check", music.str(), "--connections", row.connections});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Count(CommandsSince(server, mark), "STOR"), 0);
  }
  EXPECT_NE(serial.find("a.mp3"), std::string::npos) << serial;
}

// The server hangs up on a connection in the middle of the fifth upload and takes no more
// logins: over three connections the others store its song; over one, the songs not stored are
// named and the exit status says so. Never a song cut short under its name, nothing left over.
TEST_F(ParallelDeployTest, ALostConnectionLosesNoSong) {
  const struct {
    const char* connections;
    int status;
  } rows[] = {{"3", 0}, {"1", 4}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.connections) + " connection(s)");
    TempDir player;
    FtpTestServer server(player.str(), {"--drop-stor", "5"});
    WriteIniFor(server);
    const CliRun deploy = Cli({"deploy", "--no-check", music.str(), "--connections", row.connections});
    EXPECT_EQ(deploy.status, row.status) << deploy.err;
    const std::vector<std::string> stored = WholeSongs(player.path(), deploy.err);
    for (const std::string& song : AllSongs()) {
      const bool there = std::find(stored.begin(), stored.end(), song) != stored.end();
      const std::string name = song.substr(song.find('/') + 1);
      EXPECT_TRUE(there || deploy.err.find("\n" + name + ": ") != std::string::npos) << song << "\n" << deploy.err;
    }
    if (row.status == 0) {
      EXPECT_EQ(stored, AllSongs());
    } else {
      EXPECT_LT(stored.size(), AllSongs().size());
    }
  }
}
