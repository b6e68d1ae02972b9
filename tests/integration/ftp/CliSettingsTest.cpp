// Where kestrel-cli keeps its settings, and writing them from nothing, against a real server. Each
// run is a copy of the program in a folder of its own, with a home folder of its own.
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "FtpFixture.h"
#include "playlists/FtpServerSettings.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

// A copy of kestrel-cli at PLACE/bin with PLACE/home as its home folder.
class Install {
 public:
  Install() {
    fs::create_directories(place.path() / "bin");
    fs::create_directories(place.path() / "home");
    fs::copy_file(KESTREL_CLI_PATH, program());
  }
  std::string program() const { return place.file("bin/kestrel-cli"); }
  std::string at(const std::string& relative) const { return place.file(relative); }

  // Runs the copy with `input` on its standard input; as the user nobody when `asNobody`.
  CliRun operator()(const std::vector<std::string>& args, const std::string& input = "", bool asNobody = false) const {
    std::vector<std::string> all = args;
    std::string command = program();
    if (asNobody) {
      all.insert(all.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program()});
      command = "/usr/bin/setpriv";
    }
    Poco::Pipe in, out, err;
    Poco::ProcessHandle handle = Poco::Process::launch(command, all, &in, &out, &err, env);
    {
      Poco::PipeOutputStream feed(in);
      feed << input;
      feed.close();
    }
    CliRun run;
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    run.status = handle.wait();
    return run;
  }

  TempDir place;
  std::map<std::string, std::string> env{{"HOME", place.file("home")}, {"XDG_CONFIG_HOME", ""}};
};

std::string IniFor(const FtpTestServer& server, const std::string& password) {
  return "[ftpServer]\nIP=127.0.0.1\nPort=" + std::to_string(server.port()) + "\nUserName=" + FtpTestServer::kUser +
         "\nPassword=" + password + "\n";
}

unsigned Mode(const std::string& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

class CliSettingsTest : public FtpFixture {};

}  // namespace

// The folder the rule chooses, then the FTP settings written there after a good login and the
// play lists read with them; where the folder can not be written, reading still works and the
// write fails with its own exit status.
TEST_F(CliSettingsTest, TheSettingsFolderIsBesideTheProgramElseTheUsersOwn) {
  tree.write("A/a.mp3", "a");
  FtpTestServer server(tree.str());
  struct Row {
    const char* what;
    bool beside;            // bin/Settings exists
    std::string xdg;        // XDG_CONFIG_HOME below the place ("" unset, "~" a relative path)
    bool given;             // --settings PLACE/given
    std::string expected;   // the folder, below the place
    bool writable;
  };
  const std::vector<Row> rows = {
      {"beside the program", true, "cfg", false, "bin/Settings", true},
      {"XDG_CONFIG_HOME", false, "cfg", false, "cfg/kestrel/Settings", true},
      {"XDG_CONFIG_HOME not set", false, "", false, "home/.config/kestrel/Settings", true},
      {"a relative XDG_CONFIG_HOME counts as not set", false, "~", false, "home/.config/kestrel/Settings", true},
      {"--settings DIR", true, "cfg", true, "given", true},
      {"a folder that can not be written", true, "cfg", false, "bin/Settings", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Install install;
    if (!row.xdg.empty()) install.env["XDG_CONFIG_HOME"] = row.xdg == "~" ? "relative/cfg" : install.at(row.xdg);
    if (row.beside) fs::create_directory(install.at("bin/Settings"));
    std::vector<std::string> options;
    if (row.given) options = {"--settings", install.at("given")};
    const std::string folder = install.at(row.expected);
    const bool asNobody = !row.writable && geteuid() == 0;  // root writes everywhere
    if (!row.writable) {
      std::ofstream(folder + "/ftpServer.ini") << IniFor(server, FtpTestServer::kPassword);
      fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    auto with = [&options](std::vector<std::string> args) {
      args.insert(args.begin(), options.begin(), options.end());
      return args;
    };

    const CliRun shown = install(with({"--json", "settings"}), "", asNobody);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(nlohmann::json::parse(shown.out)["folder"], folder);

    const CliRun saved = install(with({"settings", "ftp", "--ip", "127.0.0.1", "--port", std::to_string(server.port()),
                                    "--user", FtpTestServer::kUser, "--password-stdin"}),
                              std::string(FtpTestServer::kPassword) + "\n", asNobody);
    const CliRun lists = install(with({"playlists"}), "", asNobody);
    EXPECT_EQ(lists.status, 0) << lists.err;
    EXPECT_EQ(lists.out, "1\t1\tA\n");
    if (row.writable) {
      EXPECT_EQ(saved.status, 0) << saved.err;
      EXPECT_EQ(ReadFtpServerSettings(folder + "/ftpServer.ini").port, std::to_string(server.port()));
      EXPECT_EQ(Mode(folder + "/ftpServer.ini"), 0600u);
      if (!row.given && !row.beside) {
        EXPECT_EQ(Mode(folder), 0700u);
      }
    } else {
      EXPECT_EQ(saved.status, 6) << saved.err;
      EXPECT_NE(saved.err.find("the Settings folder " + folder + " can not be written"), std::string::npos) << saved.err;
    }
  }
}

// From an empty home folder to the zones and the player: what is there, a refused login that
// writes nothing, the settings written, and Zone.ini edited in its format.
TEST_F(CliSettingsTest, FirstRunFromNothing) {
  tree.write("A/a.mp3", "a");
  FtpTestServer server(tree.str());
  Install cli;
  const std::string folder = cli.at("home/.config/kestrel/Settings");
  const std::string port = std::to_string(server.port());

  const CliRun empty = cli({"settings"});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_NE(empty.out.find("Settings folder: " + folder), std::string::npos) << empty.out;
  EXPECT_NE(empty.out.find("ftpServer.ini: missing"), std::string::npos) << empty.out;

  const std::vector<std::string> ftp = {"settings", "ftp", "--ip", "127.0.0.1", "--port", port, "--user", FtpTestServer::kUser,
                                        "--password-stdin"};
  const CliRun refused = cli(ftp, "wrong\n");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("Connect Fail!"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("530"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(folder));

  const CliRun saved = cli(ftp, std::string(FtpTestServer::kPassword) + "\r\n");
  EXPECT_EQ(saved.status, 0) << saved.err;
  const CliRun shown = cli({"settings"});
  EXPECT_NE(shown.out.find("Password  ********"), std::string::npos) << shown.out;
  EXPECT_EQ(shown.out.find(FtpTestServer::kPassword), std::string::npos) << shown.out;

  struct Step {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Step> steps = {
      {{"add", "Lobby", "1:20"}, 0},  {{"add", "Bar", "1:21"}, 0},       {{"add", "Bar", "1:22"}, 1},
      {{"add", "Cafe", "1:256"}, 1}, {{"move", "Bar", "1"}, 0},          {{"move", "Bar", "3"}, 1},
      {{"rename", "1:20", "Lobby East"}, 0}, {{"remove", "Nowhere"}, 1}, {{"add", "Cafe", "2:5"}, 0},
      {{"remove", "1:21"}, 0},
  };
  for (const Step& step : steps) {
    std::vector<std::string> args = {"settings", "zones"};
    args.insert(args.end(), step.args.begin(), step.args.end());
    const CliRun run = cli(args);
    EXPECT_EQ(run.status, step.status) << step.args[0] << " " << step.args[1] << ": " << run.err;
  }
  EXPECT_EQ(cli({"zones"}).out, "Lobby East\t1:20\nCafe\t2:5\n");
  EXPECT_EQ(TempDir::ReadFile(folder + "/Zone.ini"),
            "[TotalZones]\nTotalZones=2\n\n[Zone1]\nZoneName=Lobby East\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=20\n\n"
            "[Zone2]\nZoneName=Cafe\nSubnetIDOfVeltra=2\nDeviceIDOfVeltra=5\n");
  EXPECT_TRUE(fs::exists(folder + "/Zone.ini.bak"));
  EXPECT_EQ(cli({"playlists"}).out, "1\t1\tA\n");
}

// A password with blanks at its ends or quotes around it is written so that it reads back as it
// was typed: the next command logs in with it.
TEST_F(CliSettingsTest, APasswordWithBlanksOrQuotesLogsInAgain) {
  tree.write("A/a.mp3", "a");
  for (const std::string password : {" se cret ", "\"quoted\"", " 'a=b;c' "}) {
    SCOPED_TRACE("[" + password + "]");
    FtpTestServer server(tree.str(), {"--password", password});
    Install cli;
    const CliRun saved = cli({"settings", "ftp", "--ip", "127.0.0.1", "--port", std::to_string(server.port()), "--user",
                              FtpTestServer::kUser, "--password-stdin"},
                             password + "\n");
    EXPECT_EQ(saved.status, 0) << saved.err;
    const CliRun lists = cli({"playlists"});
    EXPECT_EQ(lists.status, 0) << lists.err;
    EXPECT_EQ(lists.out, "1\t1\tA\n");
  }
}
