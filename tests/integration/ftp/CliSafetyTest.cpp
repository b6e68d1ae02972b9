// kestrel-cli where data could be lost or misdirected: uploads at the same time and unusual
// names on the player, hostile listings and names the server cannot take, and the figures and
// messages of a transfer that fails.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "CliRun.h"
#include "FtpFixture.h"
#include "platform/HostInfo.h"
#include "playlists/ServerNames.h"
#include "support/Wait.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

class CliSafetyTest : public FtpFixture {
 protected:
  std::vector<std::string> Args(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--settings", settings.str()});
    return args;
  }
  // Waits until the server has received a command starting with `prefix`.
  static bool Received(const FtpTestServer& server, const std::string& prefix) {
    return WaitUntil([&] { return Count(server.Commands(), prefix) != 0; }, std::chrono::seconds(10));
  }
  // Two runs: the second starts once the first is storing, so both transfers overlap.
  std::vector<CliRun> AtOnce(const FtpTestServer& server, const std::vector<std::string>& first,
                             const std::vector<std::string>& second) {
    CliProcess one(Args(first));
    EXPECT_TRUE(Received(server, "STOR "));
    const CliRun two = RunCli(Args(second));
    return {one.Wait(), two};
  }
  // The name of a transfer of this installation (the Settings folder's) whose process has ended.
  std::string AbandonedTransferName() {
    std::string name = TransferName::New(InstallationId(context));
    return name.replace(17, 8, "00000000");  // process 0 runs no transfer
  }
};

}  // namespace

// Nothing on the player is lost, mixed or overwritten unasked, and no failure passes as success.
TEST_F(CliSafetyTest, UploadsAtOnceAndUnusualNamesLoseNothing) {
  TempDir one, two, three, rock;
  const std::string songA(1200000, 'A'), songB(1200000, 'B'), songC(600000, 'C'), longName(251, 'L');
  one.write("Jazz/a.mp3", songA);
  two.write("Jazz/a.mp3", songB);
  three.write("Jazz/a.mp3", songC);
  rock.write("Rock/r1.mp3", "r");
  rock.write("Rock/r2.mp3", "r");
  const std::string small = one.write("x.mp3", "new x");
  const std::string longSong = one.write(longName + ".mp3", "long");
  const std::string fiveK = one.write("y.mp3", std::string(5000, 'y'));
  const std::string dead = AbandonedTransferName(), running = TransferName::New(InstallationId(context));
  struct Row {
    const char* what;
    std::vector<std::string> server;
    std::function<void()> prepare;
    std::function<void(FtpTestServer&)> run;
  };
  const std::vector<Row> rows = {
      {"two deploys store a new song at once", {"--slow-stor", "300000"}, [&] { fs::create_directory(tree.path() / "Jazz"); },
       [&](FtpTestServer& server) {
         // The smaller song, started second, is stored first.
         const auto runs = AtOnce(server, {"deploy", "--no-check", one.str()}, {"deploy", "--no-check", three.str()});
         EXPECT_EQ(runs[0].status, 4) << runs[0].err;
         EXPECT_EQ(runs[1].status, 0) << runs[1].err;
         EXPECT_NE(runs[0].err.find("another transfer stored a song of this name meanwhile"), std::string::npos);
         EXPECT_TRUE(tree.read("Jazz/a.mp3") == songC) << "a mixed song";
         EXPECT_EQ(TreeText(tree.path() / "Jazz"), "a.mp3 600000\n");
       }},
      {"two deploys replace a song at once", {"--slow-stor", "300000"}, [&] { tree.write("Jazz/a.mp3", "old"); },
       [&](FtpTestServer& server) {
         const auto runs = AtOnce(server, {"deploy", "--no-check", one.str()}, {"deploy", "--no-check", two.str()});
         // Of the same size: only the modification time tells the one that renames second that
         // the song changed. Which of the two that is depends on the machine's load.
         const bool firstWon = runs[0].status == 0;
         const CliRun& winner = runs[firstWon ? 0 : 1];
         const CliRun& loser = runs[firstWon ? 1 : 0];
         EXPECT_EQ(winner.status, 0) << winner.err;
         EXPECT_EQ(loser.status, 4) << loser.err;
         EXPECT_NE(loser.err.find("changed by another transfer meanwhile"), std::string::npos) << loser.err;
         EXPECT_TRUE(tree.read("Jazz/a.mp3") == (firstWon ? songA : songB)) << "a mixed song";
         EXPECT_EQ(TreeText(tree.path() / "Jazz"), "a.mp3 1200000\n");
       }},
      {"a song named like the temporary name of another", {}, [&] { tree.write("A/x.mp3.part", "precious"); },
       [&](FtpTestServer&) {
         const CliRun run = RunCli(Args({"upload", "--no-check", "A", small, "--skip"}));
         EXPECT_EQ(run.status, 0) << run.err;
         EXPECT_EQ(tree.read("A/x.mp3.part"), "precious");
         EXPECT_EQ(tree.read("A/x.mp3"), "new x");
       }},
      {"a song name of 255 bytes", {}, [&] { fs::create_directory(tree.path() / "A"); },
       [&](FtpTestServer&) {
         const CliRun run = RunCli(Args({"upload", "--no-check", "A", longSong, "--skip"}));
         EXPECT_EQ(run.status, 0) << run.err;
         EXPECT_EQ(tree.read("A/" + longName + ".mp3"), "long");
       }},
      {"the server keeps fewer bytes than were sent", {"--short-stor", "1000"}, [&] { fs::create_directory(tree.path() / "A"); },
       [&](FtpTestServer&) {
         const CliRun run = RunCli(Args({"upload", "--no-check", "A", fiveK, "--skip"}));
         EXPECT_EQ(run.status, 4);
         EXPECT_NE(run.err.find("the player holds 1000 of the 5000 bytes sent"), std::string::npos) << run.err;
         EXPECT_EQ(TreeText(tree.path() / "A"), "");
       }},
      {"unfinished uploads of earlier transfers", {},
       [&] {
         for (const std::string& song : {std::string("r1.mp3"), dead, running, std::string("r2.mp3")})
           tree.write("Rock/" + song, "r");
       },
       [&](FtpTestServer&) {
         const CliRun deploy = RunCli(Args({"deploy", "--no-check", rock.str()}));
         EXPECT_EQ(deploy.status, 0) << deploy.err;
         EXPECT_FALSE(fs::exists(tree.path() / "Rock" / dead));
         EXPECT_NE(deploy.err.find("Removed unfinished uploads that earlier transfers left on the player:\n\"Rock/" + dead),
                   std::string::npos) << deploy.err;
         EXPECT_NE(deploy.err.find("may still be running, left alone and not shown as songs:\n\"Rock/" + running),
                   std::string::npos) << deploy.err;
         // Not shown as a song, yet counted as the player counts it.
         const CliRun songs = RunCli(Args({"songs", "Rock"}));
         EXPECT_EQ(songs.out.substr(0, 9) + songs.out.substr(songs.out.find('\n') + 1, 9), "2\tr1.mp3\t3\tr2.mp3\t");
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(tree.path());
    fs::create_directories(tree.path());
    row.prepare();
    FtpTestServer server(tree.str(), row.server);
    WriteIniFor(server);
    row.run(server);
    for (const auto& entry : fs::recursive_directory_iterator(tree.path()))
      EXPECT_TRUE(!TransferName::Is(entry.path().filename().string()) || entry.path().filename() == running)
          << entry.path();
  }
}

// A name from the player is sent back only when it names an entry of its directory; a local
// name the server cannot take is refused before anything is sent; names in messages are escaped.
TEST_F(CliSafetyTest, HostileListingsAndNamesTheServerCannotTake) {
  // A hostile server lists a song of another play list, and paths as play lists.
  tree.write("Lobby/plain.mp3", "p");
  tree.write("Evil/e.mp3", "e");
  {
    FtpTestServer server(tree.str(), {"--extra-entry", "Evil=../Lobby/plain.mp3", "--extra-entry", "=../up",
                                      "--extra-entry", "=a/b", "--extra-entry", "=/abs"});
    WriteIniFor(server);
    const CliRun lists = RunCli(Args({"playlists"}));
    EXPECT_EQ(lists.out, "1\t1\tEvil\n2\t2\tLobby\n");
    EXPECT_EQ(lists.err, "The player's listing of \"/\" holds 3 names with \"/\" or \"\\\" in them, which can not "
                         "be sent back to the player safely; they are left alone:\n\"../up\"\n\"/abs\"\n\"a/b\"\n");
    const CliRun songs = RunCli(Args({"songs", "Evil"}));
    EXPECT_EQ(songs.out.substr(0, 8), "1\te.mp3\t");
    EXPECT_NE(songs.err.find("\"../Lobby/plain.mp3\""), std::string::npos) << songs.err;
    const CliRun del = RunCli(Args({"delete-playlist", "Evil", "--yes"}));
    EXPECT_EQ(del.status, 0) << del.err;
    EXPECT_EQ(TreeText(tree.path()), "Lobby/\nLobby/plain.mp3 1\n");
    EXPECT_EQ(server.Log().find(".."), std::string::npos) << server.Log();
  }

  // Names that are not UTF-8 (Latin-1) and a name that would forge a line of output.
  TempDir music;
  music.write("Caf\xE9/Ol\xE9.mp3", "o");
  music.write("Jazz/ok.mp3", "k");
  music.write("Jazz/Ol\xE9.mp3", "o");
  const std::string forged = music.write("fake\nkestrel-cli: all stored.mp3", "f");
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    const std::size_t mark = server.Commands().size();
    const CliRun deploy = RunCli(Args({"deploy", "--no-check", music.str(), "--delete"}));
    EXPECT_EQ(deploy.status, 4) << deploy.err;
    EXPECT_NE(deploy.err.find("folder \"Caf\\xE9\" left out: the name is not valid UTF-8 text"), std::string::npos)
        << deploy.err;
    EXPECT_NE(deploy.err.find("file \"Jazz/Ol\\xE9.mp3\" left out"), std::string::npos) << deploy.err;
    EXPECT_EQ(TreeText(tree.path()), "Jazz/\nJazz/ok.mp3 1\n");
    EXPECT_EQ(Count(CommandsSince(server, mark), "STOR"), run == 1 ? 1 : 0);
  }
  const CliRun upload = RunCli(Args({"upload", "--no-check", "Jazz", forged, "--skip"}));
  EXPECT_EQ(upload.status, 4);
  EXPECT_NE(upload.err.find("fake\\nkestrel-cli: all stored.mp3: the name holds a line break"), std::string::npos)
      << upload.err;
  EXPECT_EQ(upload.err.find("\nkestrel-cli: all stored"), std::string::npos) << upload.err;
}

// A transfer that stalls ends after the 10 s without progress with the time-out message, and the
// summary counts only what was stored, over the real time.
TEST_F(CliSafetyTest, FailedTransfersAreToldAndNotCounted) {
  TempDir local;
  const std::string big = local.write("big.mp3", std::string(16 * 1024 * 1024, 'b'));  // more than the socket buffers hold
  const std::string small = local.write("small.mp3", std::string(10, 's'));
  const std::string slow = local.write("slow.mp3", std::string(1000000, 's'));
  fs::create_directories(tree.path() / "A");
  struct Row {
    const char* what;
    std::vector<std::string> server;
    std::vector<std::string> files;
    int status;
    std::string summary;  // the start of standard output
    std::string inErr;
    double atLeast;       // seconds the summary must give
    double under;         // seconds the run must take less than
  };
  const std::vector<Row> rows = {
      {"stalled upload", {"--stall-stor-after", "100000"}, {big}, 4,
       "1 file(s), 1 not stored by a failure; 0 B stored in ", "big.mp3: store file: no answer within 10 s (the transfer stopped)",
       0.0, 15.0},
      {"one broken, one stored", {"--drop-stor-after", "200000"}, {big, small}, 4,
       "2 file(s), 1 not stored by a failure; 10 B stored in ", "big.mp3: store file", 0.0, 15.0},
      {"slowed upload", {"--slow-stor", "200000"}, {slow}, 0, "1 file(s), 0 not stored by a failure; 976 KB stored in ",
       "", 2.0, 15.0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FtpTestServer server(tree.str(), row.server);
    WriteIniFor(server);
    std::vector<std::string> args = {"upload", "--no-check", "A"};
    args.insert(args.end(), row.files.begin(), row.files.end());
    args.push_back("--replace");
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = RunCli(Args(args));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), row.under);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_NE(run.err.find(row.inErr), std::string::npos) << run.err;
    if (run.out.rfind(row.summary, 0) != 0) {
      ADD_FAILURE() << run.out;
      continue;
    }
    EXPECT_GE(std::stod(run.out.substr(row.summary.size())), row.atLeast) << run.out;
  }
}

// A server that reads 64 bytes at a time and drops a partial last line loses lines of commands
// sent together, and so does one that loses a single line of a pair sent at once (PORT and
// STOR, RNFR and RNTO); no lost line may pair one song's temporary file with another song's
// name, and each upload ends whole, one command at a time after the surprise.
TEST_F(CliSafetyTest, LostCommandLinesNeverStoreASongUnderAnotherName) {
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--short-reads"}, {"--lose-line", "RNTO"}, {"--lose-line", "RNFR"}, {"--lose-line", "STOR"},
           {"--lose-line", "PORT"}}) {
    SCOPED_TRACE(options.back());
    TempDir local;
    std::vector<std::string> paths;
    for (const std::string name : {"up;one.mp3", "up;two.mp3", "up;three.mp3"}) {
      tree.write("A/" + name, "the old copy of " + name);
      paths.push_back(local.write(name, std::string(1000 + paths.size() * 100, static_cast<char>('a' + paths.size()))));
    }
    FtpTestServer server(tree.str(), options);
    WriteIniFor(server);
    std::vector<std::string> args = {"upload", "--no-check", "A"};
    args.insert(args.end(), paths.begin(), paths.end());
    args.push_back("--replace");
    const CliRun run = RunCli(Args(args));
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& path : paths) {
      const std::string name = fs::path(path).filename().string();
      EXPECT_TRUE(tree.read("A/" + name) == TempDir::ReadFile(path))
          << name << " holds " << tree.read("A/" + name).size() << " bytes";
    }
    EXPECT_EQ(TreeText(tree.path() / "A"), "up;one.mp3 1000\nup;three.mp3 1200\nup;two.mp3 1100\n");
  }
}

// Unfinished uploads on the player: a listing removes those of this installation whose process
// has ended and those of other installations that stopped long ago, and leaves a running one of
// another installation alone, also when its computer has this one's name (an image's clone, named
// the way earlier versions named the computer) or a clock that is hours behind. A local file
// named like one is not uploaded.
TEST_F(CliSafetyTest, OnlyUnfinishedUploadsThatStoppedAreRemoved) {
  const long long now = static_cast<long long>(std::time(nullptr));
  unsigned made = 0;
  const auto transfer = [&made](std::uint32_t installation, long long started) {
    char text[64];
    std::snprintf(text, sizeof text, "kestrel-%08x-00000000-%08x-%08x.part", static_cast<unsigned>(installation),
                  static_cast<unsigned>(started), ++made);
    return std::string(text);
  };
  std::uint32_t thisComputer = 2166136261u;  // how earlier versions named a computer
  for (const char c : platform::ComputerName()) thisComputer = (thisComputer ^ static_cast<unsigned char>(c)) * 16777619u;
  const std::uint32_t ours = InstallationId(context), other = ours ^ 1;
  struct Row {
    const char* what;
    std::string file;
    long long written;  // the file's time on the player
    bool removed;
  };
  const std::vector<Row> rows = {
      {"this installation's, its process ended", transfer(ours, now), now, true},
      {"a computer of the same name, running", transfer(thisComputer, now), now, false},
      {"another installation's with a clock two hours behind, running", transfer(other, now - 7200), now, false},
      {"another installation's, stopped two hours ago", transfer(other, now - 7200), now - 7200, true},
  };
  tree.write("A/a.mp3", "a");
  for (const Row& row : rows) SetModified(tree.write("A/" + row.file, "part"), row.written);
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  const CliRun lists = RunCli(Args({"playlists"}));
  EXPECT_EQ(lists.status, 0) << lists.err;
  for (const Row& row : rows) EXPECT_EQ(!fs::exists(tree.path() / "A" / row.file), row.removed) << row.what;

  TempDir local;
  const std::string named = local.write(transfer(other, now), "a song");
  const CliRun upload = RunCli(Args({"upload", "--no-check", "A", named, "--skip"}));
  EXPECT_EQ(upload.status, 4) << upload.err;
  EXPECT_NE(upload.err.find("the name has the form of the temporary files of unfinished uploads"), std::string::npos)
      << upload.err;
  EXPECT_FALSE(fs::exists(tree.path() / "A" / fs::path(named).filename()));
}
