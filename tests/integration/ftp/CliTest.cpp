// kestrel-cli end to end against a real server.
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "FtpFixture.h"
#include "platform/ProfileIni.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

class CliTest : public FtpFixture {};

}  // namespace

TEST_F(CliTest, ListsPlayListsAndSongsAsTabSeparatedLines) {
  tree.write("A/01 Intro.mp3", "1");
  tree.write("A/tab\tand\nline.mp3", "2");
  tree.write("B/inner/deep.mp3", "3");
  tree.write("Caf\xC3\xA9 \xCE\xA9/song.mp3", "4");
  SetModified(tree.path() / "A" / "01 Intro.mp3", kMarch4th2019Noon);
  FtpTestServer server(tree.str());
  WriteIniFor(server);

  const CliRun lists = RunCli({"--settings", settings.str(), "playlists"});
  EXPECT_EQ(lists.status, 0) << lists.err;
  EXPECT_EQ(lists.out, "1\t1\tA\n2\t0\tB\n3\t2\tCaf\xC3\xA9 \xCE\xA9\n");

  const CliRun songs = RunCli({"songs", "A", "--settings=" + settings.str()});
  EXPECT_EQ(songs.status, 0) << songs.err;
  EXPECT_EQ(songs.out.substr(0, songs.out.find('\n') + 1),
            "1\t01 Intro.mp3\t2019-03-04 00:00:00\n");
  const std::string second = songs.out.substr(songs.out.find('\n') + 1);
  EXPECT_EQ(second.rfind("2\ttab\\tand\\nline.mp3\t", 0), 0u) << second;

  const CliRun none = RunCli({"--settings", settings.str(), "songs", "a"});
  EXPECT_EQ(none.status, 3);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no play list named \"a\""), std::string::npos);
}

// songs --all prints what playlists and songs of each play list print, tab-separated and as
// JSON, from one reading of the player: the root and every play list are listed once.
TEST_F(CliTest, SongsOfEveryPlayListAreThoseOfEachOneReadOnce) {
  tree.write("A/01 Intro.mp3", "1");
  tree.write("A/tab\tand\nline.mp3", "2");
  tree.write("B/inner/deep.mp3", "3");
  tree.write("C/c1.mp3", "4");
  tree.write("C/c2.mp3", "5");
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  const std::string s = settings.str();
  const std::vector<std::string> names{"A", "B", "C"};
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "JSON" : "tab-separated");
    const std::vector<std::string> format = json ? std::vector<std::string>{"--json"} : std::vector<std::string>{};
    const auto run = [&](std::vector<std::string> args) {
      args.insert(args.begin(), format.begin(), format.end());
      args.insert(args.begin(), {"--settings", s});
      const CliRun r = RunCli(args);
      EXPECT_EQ(r.status, 0) << r.err;
      return r.out;
    };
    const std::string lists = run({"playlists"});
    std::string expected;
    nlohmann::json expectedJson = json ? nlohmann::json::parse(lists) : nlohmann::json();
    std::istringstream listLines(lists);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string songs = run({"songs", names[i]});
      if (json) {
        expectedJson[i]["songs"] = nlohmann::json::parse(songs);
        continue;
      }
      std::string listLine;
      std::getline(listLines, listLine);
      std::istringstream songLines(songs);
      for (std::string song; std::getline(songLines, song);) expected += listLine + "\t" + song + "\n";
    }
    const std::size_t sent = server.Commands().size();
    const std::string all = run({"songs", "--all"});
    if (json)
      EXPECT_EQ(nlohmann::json::parse(all), expectedJson);
    else
      EXPECT_EQ(all, expected);
    const std::vector<std::string> commands = server.Commands();
    for (const std::string dir : {"/", "/A", "/B", "/C"})
      EXPECT_EQ(std::count(commands.begin() + static_cast<std::ptrdiff_t>(sent), commands.end(), "STAT " + dir), 1)
          << dir;
  }
}

TEST_F(CliTest, FindsTheSettingsBesideTheProgram) {
  tree.write("Only/x.mp3", "x");
  FtpTestServer server(tree.str());
  TempDir install;
  const std::string program = install.file("kestrel-cli");
  std::filesystem::copy_file(KESTREL_CLI_PATH, program);
  install.write("Settings/ftpServer.ini", "[ftpServer]\nIP=127.0.0.1\nPort=" +
                                              std::to_string(server.port()) +
                                              "\nUserName=kestrel\nPassword=secret\n");
  const CliRun run = RunCli({"playlists"}, program);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1\t1\tOnly\n");
}

TEST_F(CliTest, ConnectionFailurePrintsTheMessageAndTheServersReply) {
  tree.write("A/x.mp3", "x");
  FtpTestServer server(tree.str());
  WriteIni("127.0.0.1", std::to_string(server.port()), "kestrel", "wrong");
  const CliRun run = RunCli({"--settings", settings.str(), "playlists"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("Connect Fail!\n\n1.Be sure ftp-server is in service.\n\n"
                         "2.Please check your settings!"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("530 Authentication failed."), std::string::npos) << run.err;
}

TEST_F(CliTest, HelpAndWrongUsage) {
  const CliRun help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status:"), std::string::npos);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"songs"}, {"dance"}, {"--settings"},
                                             {"--verbose", "playlists"}, {"playlists", "extra"},
                                             {"upload", "--no-check", "A", "no-such-file.mp3"}, {"deploy", "--no-check", "no-such-folder"}}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 1) << (args.empty() ? "" : args[0]);
    EXPECT_NE(run.err.find("Usage:"), std::string::npos);
  }
}

// Servers that misbehave: each row fails (or succeeds) within 15 s, with the reason in the
// message, the exit status telling a lost connection (2) from an unusable answer (3), and
// nothing the server sent reaching the terminal raw.
TEST_F(CliTest, MisbehavingServersEndInTimeWithTheReasonAndTheRightStatus) {
  const std::string red = "\x1B[31mRed\rX";  // sorts first: the first line of the root listing
  tree.write(red + "/r.mp3", "r");
  tree.write("A/a.mp3", "a");
  // A name holding CR cannot be entered, so it is not numbered.
  const std::string listed = "1\t0\t\\x1B[31mRed\\rX\n2\t1\tA\n";
  struct Row {
    const char* what;
    std::vector<std::string> options;
    int status;
    std::string inErr;  // the reason; for a success, what stdout holds
  };
  const std::vector<Row> rows = {
      {"listing stalls half way", {"--stall-list", "--no-stat-path"}, 2,
       "no answer within 10 s (the transfer stopped)"},
      {"STAT reply stalls half way", {"--stall-list"}, 2, "list directory: no answer within 10 s"},
      {"no data connection after PORT", {"--no-data-connection"}, 2,
       "list directory: no data connection from the player within 10 s"},
      {"endless greeting", {"--endless-greeting"}, 2, "no answer within 10 s"},
      {"endless listing", {"--endless-list", "--no-stat-path"}, 3, "listing is larger than 64 MB"},
      {"endless STAT reply", {"--endless-list"}, 3, "listing is larger than 64 MB"},
      {"long-iso dates", {"--list-style", "long-iso"}, 0, listed},
      {"full-iso dates", {"--list-style", "full-iso"}, 0, listed},
      {"unknown listing format", {"--list-style", "facts"}, 3,
       "listing format is not understood: \"type=dir;modify="},
      {"connection lost during the listing", {"--hang-up-on-list"}, 2, "closed the connection"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FtpTestServer server(tree.str(), row.options);
    WriteIniFor(server);
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = RunCli({"--settings", settings.str(), "playlists"});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 15.0);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_EQ(run.err.find_first_of("\x1B\r"), std::string::npos) << run.err;
    if (row.status == 0) {
      EXPECT_EQ(run.out, row.inErr);
      continue;
    }
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(row.inErr), std::string::npos) << run.err;
  }
  // The endless listing was cut off at its cap, not held in memory whole.
  rusage usage{};
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 400L * 1024) << "KB";
}

// Each play list and song command once, with its questions answered by flags; without the flag
// and without a terminal, a command that asks refuses before it changes anything.
TEST_F(CliTest, PlayListCommandsChangeTheServerAndRefuseUnansweredQuestions) {
  tree.write("A/1.mp3", "1");
  tree.write("A/2.mp3", "22");
  tree.write("A/3.mp3", "333");
  tree.write("B/3.mp3", "old");
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  const std::string s = settings.str();
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string tree;  // what the server holds afterwards
  };
  const std::vector<Row> rows = {
      {{"add-playlist", " C "}, 0, "A/\nA/1.mp3 1\nA/2.mp3 2\nA/3.mp3 3\nB/\nB/3.mp3 3\nC/\n"},
      {{"add-playlist", "C"}, 3, ""},
      {{"add-playlist", "x/y"}, 1, ""},
      {{"rename-playlist", "C", "D"}, 0, "A/\nA/1.mp3 1\nA/2.mp3 2\nA/3.mp3 3\nB/\nB/3.mp3 3\nD/\n"},
      {{"rename-playlist", "Nope", "E"}, 3, ""},
      {{"delete-playlist", "D"}, 1, ""},
      {{"delete-playlist", "D", "--yes"}, 0, "A/\nA/1.mp3 1\nA/2.mp3 2\nA/3.mp3 3\nB/\nB/3.mp3 3\n"},
      {{"delete-songs", "A", "1.mp3"}, 1, ""},
      {{"delete-songs", "A", "1.mp3", "nope.mp3", "--yes"}, 3, ""},
      {{"delete-songs", "A", "1.mp3", "--yes"}, 0, "A/\nA/2.mp3 2\nA/3.mp3 3\nB/\nB/3.mp3 3\n"},
      {{"move-songs", "A", "B", "2.mp3", "3.mp3"}, 1, ""},
      {{"move-songs", "A", "B", "2.mp3", "3.mp3", "--skip"}, 0, "A/\nA/3.mp3 3\nB/\nB/2.mp3 2\nB/3.mp3 3\n"},
  };
  std::string expected = TreeText(tree.path());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1]);
    std::vector<std::string> args = {"--settings", s};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (!row.tree.empty()) expected = row.tree;
    EXPECT_EQ(TreeText(tree.path()), expected) << run.err;
    // A refusal names the flag that answers the question.
    if (row.status == 1 && row.args[0] != "add-playlist") {
      EXPECT_NE(run.err.find("give --"), std::string::npos) << run.err;
    }
  }
  const CliRun json = RunCli({"--settings", s, "--json", "playlists"});
  EXPECT_EQ(nlohmann::json::parse(json.out)[1]["name"], "B");
}

// upload and copy-songs: the same refusal without a flag; off a terminal only the summary.
TEST_F(CliTest, UploadAndCopyStoreSongsAndPrintOnlyTheSummaryOffATerminal) {
  tree.write("A/1.mp3", "1");
  tree.write("B/1.mp3", "old");
  const std::string local = settings.write("up/new.mp3", "fresh");
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  const std::string s = settings.str();
  const CliRun refused = RunCli({"--settings", s, "upload", "--no-check", "A", local});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("give --replace or --skip"), std::string::npos) << refused.err;
  const std::size_t mark = server.Commands().size();
  const CliRun upload = RunCli({"--settings", s, "upload", "--no-check", "A", local, "--skip"});
  EXPECT_EQ(upload.status, 0) << upload.err;
  // Only the play list written to is read.
  for (const std::string& command : CommandsSince(server, mark))
    EXPECT_EQ(command.find("/B"), std::string::npos) << command;
  EXPECT_EQ(upload.out.rfind("1 file(s), 0 not stored by a failure; 5 B stored in ", 0), 0u) << upload.out;
  EXPECT_EQ(upload.out.find('\r'), std::string::npos);
  const CliRun copy = RunCli({"--settings", s, "copy-songs", "A", "B", "1.mp3", "new.mp3", "--replace"});
  EXPECT_EQ(copy.status, 0) << copy.err;
  EXPECT_EQ(TreeText(tree.path()), "A/\nA/1.mp3 1\nA/new.mp3 5\nB/\nB/1.mp3 1\nB/new.mp3 5\n");
}

// deploy from an empty player, again with nothing to do, and again after a song changed and
// one was removed locally, when the server refuses one of the deletions half way.
TEST_F(CliTest, DeployMakesThePlayerMatchTheFolderAndTransfersNothingTheSecondTime) {
  TempDir music;
  music.write("Jazz/a.mp3", std::string(3000, 'a'));
  music.write("Jazz/b.mp3", std::string(2000, 'b'));
  // The same song on both sides, of the same time.
  SetModified(music.write("Locked/keep.mp3", "k"), kMarch4th2019Noon);
  music.write("Rock/r.mp3", "r");
  music.write("Rock/.hidden", "h");
  SetModified(tree.write("Locked/keep.mp3", "k"), kMarch4th2019Noon);
  tree.write("Locked/extra.mp3", "e");
  tree.write("Old/o.mp3", std::string(256 * 1024, 'o'));  // read back to measure the link's speed
  FtpTestServer server(tree.str(), {"--deny-change", "Locked"});
  WriteIniFor(server);
  auto deploy = [&](std::vector<std::string> flags) {
    std::vector<std::string> args = {"--settings", settings.str(), "deploy", "--no-check", music.str()};
    args.insert(args.end(), flags.begin(), flags.end());
    return RunCli(args);
  };

  const CliRun dry = deploy({"--dry-run", "--delete"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out.substr(0, dry.out.find("; about")),
            "Jazz: new play list, 2 to send (2 new; 4 KB)\n  send    a.mp3 (2 KB, new)\n  send    b.mp3 (1 KB, new)\n"
            "Locked: 1 to delete, 1 unchanged\n  delete  extra.mp3\n"
            "Rock: new play list, 1 to send (1 new; 1 B)\n  send    r.mp3 (1 B, new)\n"
            "Old: play list to delete, with 1 song\n"
            "Total: 2 play lists to create, 3 songs to send (4 KB), 1 song to delete, 1 play list to delete, 1 unchanged");
  EXPECT_NE(dry.out.find("/s and "), std::string::npos) << dry.out;  // the speed of a song read back
  const CliRun data = RunCli({"--settings", settings.str(), "--json", "deploy", "--no-check", music.str(), "--dry-run", "--delete"});
  EXPECT_EQ(data.status, 0) << data.err;
  const nlohmann::json plan = nlohmann::json::parse(data.out);
  EXPECT_EQ(plan["total"]["sendBytes"], 5001);
  EXPECT_EQ(plan["uploads"][2]["reason"], "new");
  EXPECT_EQ(plan["playLists"][1]["unchanged"], 1);
  EXPECT_EQ(plan["playLists"][3]["deleteSongs"], 1);  // Old, as a whole
  EXPECT_GT(plan["total"]["estimatedSeconds"].get<double>(), 0);
  EXPECT_EQ(Count(server.Commands(), "MKD"), 0);

  const CliRun first = deploy({});
  EXPECT_EQ(first.status, 0) << first.err;
  const std::string kept = "Locked/\nLocked/extra.mp3 1\nLocked/keep.mp3 1\n";
  EXPECT_EQ(TreeText(tree.path()), "Jazz/\nJazz/a.mp3 3000\nJazz/b.mp3 2000\n" + kept + "Old/\nOld/o.mp3 262144\nRock/\nRock/r.mp3 1\n");
  EXPECT_NE(first.err.find("no reload sent"), std::string::npos) << first.err;

  std::size_t mark = server.Commands().size();
  const CliRun second = deploy({});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, "");
  EXPECT_NE(second.err.find("nothing to do"), std::string::npos);
  EXPECT_EQ(Count(CommandsSince(server, mark), "STOR"), 0);

  music.write("Jazz/a.mp3", std::string(3500, 'A'));
  std::filesystem::remove(music.path() / "Jazz" / "b.mp3");
  mark = server.Commands().size();
  const CliRun third = deploy({"--delete"});
  EXPECT_EQ(third.status, 3) << third.err;
  EXPECT_EQ(third.out,
            "Jazz: 1 to send (1 size; 3 KB), 1 to delete, 0 unchanged\n  send    a.mp3 (3 KB, size)\n  delete  b.mp3\n"
            "Locked: 1 to delete, 1 unchanged\n  delete  extra.mp3\nRock: 1 unchanged\nOld: play list to delete, with 1 song\n"
            "Total: 1 song to send (3 KB), 2 songs to delete, 1 play list to delete, 2 unchanged\n");
  EXPECT_NE(third.err.find("song \"extra.mp3\" of play list \"Locked\" was not deleted: 550"), std::string::npos)
      << third.err;
  // The refusal stopped nothing after it.
  EXPECT_EQ(TreeText(tree.path()), "Jazz/\nJazz/a.mp3 3500\n" + kept + "Rock/\nRock/r.mp3 1\n");
  EXPECT_EQ(Count(CommandsSince(server, mark), "STOR"), 1);
}

// A song whose bytes change but not its size is sent, by its time where the player keeps the
// times deploys give its songs, and by its bytes read back (--checksum) where it does not; the
// plan says which; a deploy after it sends nothing. Each play list is listed once.
TEST_F(CliTest, DeploySendsASongChangedWithoutAChangeOfSize) {
  struct Row {
    const char* what;
    std::vector<std::string> server;
    std::vector<std::string> flags;  // of the deploy after the change
    const char* reason;              // in its plan
    bool noted;                      // the plan says that times are not compared
  };
  const std::vector<Row> rows = {
      {"a server that keeps times", {}, {"--yes"}, "time", false},
      {"a server without MFMT and MDTM", {"--no-times"}, {"--checksum"}, "content", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir music, served;
    const std::string song = music.write("Jazz/a.mp3", std::string(3000, 'a'));
    SetModified(song, kMarch4th2019Noon);
    SetModified(music.write("Jazz/b.mp3", "b"), kMarch4th2019Noon);
    FtpTestServer server(served.str(), row.server);
    WriteIniFor(server);
    auto deploy = [&](std::vector<std::string> flags) {
      std::vector<std::string> args = {"--settings", settings.str(), "deploy", "--no-check", music.str()};
      args.insert(args.end(), flags.begin(), flags.end());
      return RunCli(args);
    };
    ASSERT_EQ(deploy({}).status, 0);
    // Other bytes of the same size, written later.
    music.write("Jazz/a.mp3", std::string(3000, 'A'));
    SetModified(song, kMarch4th2019Noon + 3600);
    const CliRun bySize = deploy({"--dry-run"});
    EXPECT_EQ(bySize.status, 0) << bySize.err;
    EXPECT_EQ((bySize.err + bySize.out).find("Note: the player does not keep the songs' modification times") !=
                  std::string::npos,
              row.noted) << bySize.err << bySize.out;
    std::size_t mark = server.Commands().size();
    const CliRun changed = deploy(row.flags);
    EXPECT_EQ(changed.status, 0) << changed.err;
    EXPECT_NE(changed.out.find(std::string("  send    a.mp3 (2 KB, ") + row.reason + ")\n"), std::string::npos)
        << changed.out;
    EXPECT_TRUE(served.read("Jazz/a.mp3") == std::string(3000, 'A'));
    std::vector<std::string> commands = CommandsSince(server, mark);
    EXPECT_EQ(Count(commands, "STOR "), 1);
    EXPECT_EQ(Count(commands, "CWD /Jazz"), 1);
    mark = server.Commands().size();
    const CliRun again = deploy(row.flags);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("nothing to do"), std::string::npos) << again.out;
    commands = CommandsSince(server, mark);
    EXPECT_EQ(Count(commands, "STOR "), 0);
    // The root and Jazz, each listed once: the way to list was found in the runs before.
    EXPECT_EQ(Count(commands, "MLSD ") + Count(commands, "STAT /") + Count(commands, "LIST"), 2);
  }
}

// What the probe found is kept for the next runs: a server met again is not probed again, but one
// that no longer greets or logs in as it did when the note was written is, and so is one that no
// longer does what the note says.
TEST_F(CliTest, AServerMetAgainIsNotProbedAgain) {
  tree.write("A/a.mp3", "a");
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  for (const int run : {1, 2, 3}) {
    SCOPED_TRACE(run);
    if (run == 3) {
      ASSERT_TRUE(platform::WriteProfileString(settings.str() + "/ftpServerNotes.ini",
                                               "127.0.0.1:" + std::to_string(server.port()), "Identity", "0"));
    }
    const std::size_t mark = server.Commands().size();
    const CliRun lists = RunCli({"--settings", settings.str(), "playlists"});
    EXPECT_EQ(lists.status, 0) << lists.err;
    EXPECT_EQ(lists.out, "1\t1\tA\n");
    EXPECT_EQ(Count(CommandsSince(server, mark), "FEAT"), run == 2 ? 0 : 1);
  }
  // A note that no longer holds (the server now takes one command a read) is dropped at once.
  FtpTestServer changed(tree.str(), {"--one-command-a-read"});
  const std::string notes = settings.str() + "/ftpServerNotes.ini";
  const platform::ProfileIndex kept(notes);
  for (const char* key : {"Identity", "Features", "PipelineBytes", "StatListing", "ListingWay"})
    ASSERT_TRUE(platform::WriteProfileString(notes, "127.0.0.1:" + std::to_string(changed.port()), key,
                                             kept.Read("127.0.0.1:" + std::to_string(server.port()), key, "")));
  WriteIniFor(changed);
  const CliRun lists = RunCli({"--settings", settings.str(), "playlists"});
  EXPECT_EQ(lists.status, 0) << lists.err;
  EXPECT_EQ(lists.out, "1\t1\tA\n");
  EXPECT_GE(Count(changed.Commands(), "FEAT"), 1);  // probed afresh
}

// Servers that mishandle FEAT, commands sent at once or MLST: USER, PASS, TYPE I and SYST log in to
// each, FEAT and sending at once fail back to no features and one command at a time, and what
// finding that out costs stays well under the reply time-out.
TEST_F(CliTest, ServersThatMishandleTheExtrasAreUsedWithoutThem) {
  tree.write("A/a.mp3", "a");
  TempDir local;
  const std::string song = local.write("new.mp3", "the new song");
  const std::vector<std::vector<std::string>> servers = {
      {"--feat", "ignore"}, {"--feat", "close"}, {"--feat", "no-end"}, {"--feat", "extra-line"},
      {"--whole-read-one-command"}, {"--one-command-a-read"}, {"--short-reads"}, {"--mlst-garbage"}};
  for (const auto& options : servers) {
    SCOPED_TRACE(options.back());
    std::filesystem::remove(tree.path() / "A" / "new.mp3");
    FtpTestServer server(tree.str(), options);
    WriteIniFor(server);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"playlists"}, {"upload", "--no-check", "A", song, "--replace"}}) {
      std::vector<std::string> all = {"--settings", settings.str()};
      all.insert(all.end(), args.begin(), args.end());
      const auto start = std::chrono::steady_clock::now();
      const CliRun run = RunCli(all);
      EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 8.0) << args[0];
      EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
      if (args[0] == "playlists") {
        EXPECT_EQ(run.out, "1\t1\tA\n");
      }
    }
    EXPECT_EQ(tree.read("A/new.mp3"), "the new song");
  }
}

// A player whose server cannot keep or tell the times deploys give its songs: the songs are
// compared by size, the plan says so (and what --checksum does), and a second deploy sends
// nothing.
TEST_F(CliTest, DeployToAServerThatKeepsNoTimesSettles) {
  for (const char* quirk : {"refuse-mfmt", "fake-mfmt", "mlsd-no-modify", "epoch", "future", "mdtm-garbage"}) {
    SCOPED_TRACE(quirk);
    TempDir music, served;
    SetModified(music.write("Jazz/a.mp3", "aaa"), kMarch4th2019Noon);
    SetModified(music.write("Jazz/b.mp3", "b"), kMarch4th2019Noon + 1);
    FtpTestServer server(served.str(), {"--times-quirk", quirk});
    WriteIniFor(server);
    const std::vector<std::string> deploy = {"--settings", settings.str(), "deploy", "--no-check", music.str()};
    const CliRun first = RunCli(deploy);
    EXPECT_EQ(first.status, 0) << first.err;
    const std::size_t mark = server.Commands().size();
    const CliRun second = RunCli(deploy);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.err.find("Note: the player does not keep the songs' modification times ("), std::string::npos)
        << second.err;
    EXPECT_NE(second.err.find("--checksum reads the player's copies back"), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("nothing to do"), std::string::npos) << second.out;
    EXPECT_EQ(Count(CommandsSince(server, mark), "STOR"), 0);
    EXPECT_EQ(TreeText(served.path()), "Jazz/\nJazz/a.mp3 3\nJazz/b.mp3 1\n");
  }
}

// A song whose name holds CR LF and a line that reads as the end of a listing sent as the reply
// to STAT: the listings come over a data connection instead, and the name is left alone with a
// word to the user.
TEST_F(CliTest, ANameThatEndsAStatListingEarlyIsLeftAlone) {
  tree.write("A/a.mp3", "a");
  tree.write("A/b\r\n213 End", "b");
  tree.write("A/c.mp3", "c");
  tree.write("B/d.mp3", "d");
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  const CliRun lists = RunCli({"--settings", settings.str(), "playlists"});
  EXPECT_EQ(lists.status, 0) << lists.err;
  EXPECT_EQ(lists.out, "1\t1\tA\n2\t2\tB\n");
  const CliRun songs = RunCli({"--settings", settings.str(), "songs", "A"});
  EXPECT_EQ(songs.status, 0) << songs.err;
  EXPECT_NE(songs.out.find("\ta.mp3\t"), std::string::npos) << songs.out;
  EXPECT_NE(songs.out.find("\tc.mp3\t"), std::string::npos) << songs.out;
  EXPECT_EQ(std::count(songs.out.begin(), songs.out.end(), '\n'), 2) << songs.out;
  EXPECT_NE(songs.err.find("\"b\\r\\n213 End\""), std::string::npos) << songs.err;
}
