// kestrel-cli end to end against a real server.
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "FtpFixture.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(Poco::Pipe& pipe) {
  Poco::PipeInputStream in(pipe);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

CliRun RunCli(const std::vector<std::string>& args, const std::string& program = KESTREL_CLI_PATH) {
  Poco::Pipe out, err;
  Poco::ProcessHandle handle = Poco::Process::launch(program, args, nullptr, &out, &err);
  CliRun run;
  // The listings are small; stderr holds a few lines at most, so reading stdout first cannot
  // block the program.
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  run.status = handle.wait();
  return run;
}

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
  EXPECT_NE(help.out.find("kestrel-cli [--settings DIR] songs NAME"), std::string::npos);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"songs"}, {"dance"}, {"--settings"},
                                             {"--verbose", "playlists"}, {"playlists", "extra"}}) {
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
       "no answer within 10 s (the server did not open the data connection)"},
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
