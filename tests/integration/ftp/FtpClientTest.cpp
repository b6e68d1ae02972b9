// The FTP client against a real server: login sequence, active mode, the operations and their
// replies, uploads, refused names, settings and time-outs.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FtpFixture.h"
#include "playlists/FtpServerConnect.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

// Runs `operation`, which must fail with an FtpError of `kind` whose text holds `inText`;
// returns how long it took.
template <typename Operation>
double Fails(FtpError::Kind kind, const std::string& inText, Operation operation) {
  const auto start = Clock::now();
  try {
    operation();
    ADD_FAILURE() << "no failure; expected one mentioning \"" << inText << "\"";
  } catch (const FtpError& e) {
    EXPECT_EQ(e.kind(), kind) << e.what();
    EXPECT_NE(std::string(e.what()).find(inText), std::string::npos) << e.what();
  }
  return SecondsSince(start);
}

class FtpClientTest : public FtpFixture {
 protected:
  void ConnectTo(const FtpTestServer& server) {
    Aim(client, server);
    client.Connect();
  }
  FtpClient client{context.RunState<FtpServerNotes>()};
};

}  // namespace

TEST_F(FtpClientTest, LogsInWithBinaryTypeThenSystAndListsInActiveModeWithPort) {
  tree.write("A/one.mp3", "1");
  FtpTestServer server(tree.str());
  ConnectTo(server);
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(client.LoginReplies().greeting, "220 kestrel test server ready");
  EXPECT_EQ(client.LoginReplies().loginReply.substr(0, 4), "230 ");
  EXPECT_EQ(client.LoginReplies().systemType, "UNIX Type: L8");

  client.ChangeDir("/A");
  const auto entries = client.List();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "one.mp3");

  // Each login command on its own; then, at the first login to this server, FEAT and the probe
  // of commands sent at once.
  const auto commands = server.Commands();
  EXPECT_EQ(Folded(commands), (std::vector<std::string>{"USER kestrel", "PASS secret", "TYPE I", "SYST", "FEAT",
                                                        "NOOP x199", "SYST", "CWD /A", "LIST"}));
  EXPECT_TRUE(client.ServerNote().Pipelining());
  const FtpFeatures& features = client.ServerNote().features;
  EXPECT_TRUE(features.mfmt && features.mdtm && features.machineListing);
  ASSERT_EQ(commands.size(), 208u);
  EXPECT_EQ(commands[206].rfind("PORT 127,0,0,1,", 0), 0u) << commands[206];
}

TEST_F(FtpClientTest, OperationsGiveTheirResultsAndRefusalsCarryTheReply) {
  FtpTestServer server(tree.str());
  ConnectTo(server);
  TempDir source;
  const std::string local = source.write("upload-source.bin", std::string(3000, 'x'));

  client.MakeDir("New List");
  client.ChangeDir("/New List");
  EXPECT_EQ(client.Size("song.mp3"), -1);
  client.Store(local, "song.mp3");
  EXPECT_EQ(client.Size("song.mp3"), 3000);
  client.Rename("song.mp3", "renamed.mp3");
  EXPECT_EQ(tree.read("New List/renamed.mp3"), std::string(3000, 'x'));
  client.Delete("renamed.mp3");
  client.ChangeDir("/");
  client.RemoveDir("New List");
  EXPECT_FALSE(std::filesystem::exists(tree.path() / "New List"));

  try {
    client.ChangeDir("/missing");
    FAIL() << "CWD into a missing folder succeeded";
  } catch (const FtpError& e) {
    EXPECT_EQ(e.kind(), FtpError::Kind::Reply);
    EXPECT_EQ(e.code(), 550);
    EXPECT_EQ(e.reply().substr(0, 4), "550 ");
    EXPECT_NE(std::string(e.what()).find(e.reply()), std::string::npos);
  }
  EXPECT_THROW(client.Rename("nothing.mp3", "b.mp3"), FtpError);  // RNFR refused: RNTO never sent
  EXPECT_THROW(client.Delete("nothing.mp3"), FtpError);
  EXPECT_THROW(client.RemoveDir("nothing"), FtpError);
  EXPECT_THROW(client.MakeDir("/missing/deeper"), FtpError);
  EXPECT_FALSE(Contains(server.Commands(), "RNTO b.mp3"));
  // A refusal keeps the connection.
  EXPECT_TRUE(client.Connected());
  EXPECT_NO_THROW(client.ChangeDir("/"));
}

TEST_F(FtpClientTest, StoreReportsProgressAndLeavesTheLocalFileAlone) {
  FtpTestServer server(tree.str());
  ConnectTo(server);
  TempDir local;
  const std::string content(1'000'003, '\x5a');
  const std::string path = local.write("big song.mp3", content);

  std::vector<std::int64_t> begins, progress;
  client.SetWorkHandlers(
      [&](FtpWorkMode mode, std::int64_t total) {
        EXPECT_EQ(mode, FtpWorkMode::Write);
        begins.push_back(total);
      },
      [&](FtpWorkMode, std::int64_t soFar) { progress.push_back(soFar); });
  client.Store(path, "big song.mp3");
  EXPECT_EQ(begins, std::vector<std::int64_t>{1'000'003});
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 1'000'003);
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);
  EXPECT_EQ(tree.read("big song.mp3"), content);
  EXPECT_EQ(local.read("big song.mp3"), content);

  // A local file that cannot be read fails before anything is sent; so does a folder.
  client.SetWorkHandlers(nullptr, nullptr);
  const std::size_t before = server.Commands().size();
  Fails(FtpError::Kind::LocalFile, "cannot open",
        [&] { client.Store(local.file("absent.mp3"), "absent.mp3"); });
  Fails(FtpError::Kind::LocalFile, "is a folder", [&] { client.Store(local.str(), "folder"); });
  EXPECT_EQ(server.Commands().size(), before);
  EXPECT_TRUE(client.Connected());
}

TEST_F(FtpClientTest, NamesWithLineBreaksAreRefusedAndNeverSent) {
  tree.write("keep.mp3", "k");
  FtpTestServer server(tree.str());
  ConnectTo(server);
  const std::size_t before = server.Commands().size();
  TempDir local;
  const std::string path = local.write("x.mp3", "x");

  for (const std::string bad : {"a\r\nDELE keep.mp3", "b\nDELE keep.mp3", "c\rDELE keep.mp3"}) {
    SCOPED_TRACE(bad);
    auto expectRefused = [](auto&& operation) {
      Fails(FtpError::Kind::BadName, "line break", operation);
    };
    expectRefused([&] { client.ChangeDir(bad); });
    expectRefused([&] { client.MakeDir(bad); });
    expectRefused([&] { client.RemoveDir(bad); });
    expectRefused([&] { client.Delete(bad); });
    expectRefused([&] { client.Rename("keep.mp3", bad); });
    expectRefused([&] { client.Rename(bad, "other.mp3"); });
    expectRefused([&] { client.Size(bad); });
    expectRefused([&] { client.Store(path, bad); });
  }
  EXPECT_EQ(server.Commands().size(), before);
  EXPECT_EQ(tree.read("keep.mp3"), "k");
  EXPECT_TRUE(client.Connected());
}

// A reply missing inside a group of commands sent at once: the group goes again one by one on a
// new connection in the same directory, and no later connection or client of the program sends
// that server commands at once or tries FEAT and the probe again.
TEST_F(FtpClientTest, ASurpriseInsideAGroupEndsSendingAtOnceForTheRestOfTheProgram) {
  tree.write("A/a.mp3", "aa");
  tree.write("A/b.mp3", "bbb");
  FtpTestServer server(tree.str(), {"--lose-line", "SIZE b.mp3"});
  ConnectTo(server);
  ASSERT_TRUE(client.ServerNote().Pipelining());
  client.ChangeDir("/A");
  const auto replies = client.Pipeline({{"SIZE", "a.mp3"}, {"SIZE", "b.mp3"}, {"SIZE", "c.mp3"}});
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].text, "213 2");
  EXPECT_EQ(replies[1].text, "213 3");
  EXPECT_EQ(replies[2].code, 550);
  EXPECT_FALSE(client.ServerNote().Pipelining());
  EXPECT_EQ(client.Size("a.mp3"), 2);

  const std::size_t mark = server.Commands().size();
  FtpClient other(context.RunState<FtpServerNotes>());
  Aim(other, server);
  other.Connect();
  EXPECT_FALSE(other.ServerNote().Pipelining());
  EXPECT_TRUE(other.ServerNote().features.mfmt);
  EXPECT_EQ(WithoutPort(CommandsSince(server, mark)),
            (std::vector<std::string>{"USER kestrel", "PASS secret", "TYPE I", "SYST"}));
}

TEST_F(FtpClientTest, ServerWithoutSizeMakesEveryFileLookMissing) {
  tree.write("there.mp3", "12345");
  FtpTestServer server(tree.str(), {"--no-size"});
  ConnectTo(server);
  EXPECT_EQ(client.Size("there.mp3"), -1);
  EXPECT_TRUE(Contains(server.Commands(), "SIZE there.mp3"));
  EXPECT_TRUE(client.Connected());
}

TEST_F(FtpClientTest, EnsureConnectedReadsTheSettingsOnlyWhenNotConnected) {
  FtpTestServer server(tree.str());
  WriteIniFor(server);
  std::string why;
  ASSERT_TRUE(EnsureConnected(client, context, &why));
  EXPECT_EQ(client.Account().port, server.port());
  EXPECT_EQ(client.Account().userName, "kestrel");
  const std::size_t sent = server.Commands().size();

  // Connected: neither the file (now unusable) nor the server is consulted.
  WriteIni("", "not a port");
  EXPECT_TRUE(EnsureConnected(client, context, &why));
  EXPECT_TRUE(EnsureConnected(client, context, &why));
  EXPECT_EQ(server.Commands().size(), sent);
  EXPECT_TRUE(prompts.Shown().empty());
  EXPECT_FALSE(context.TerminationRequested());

  // Once the server has hung up, the next call reads the file again.
  server.Stop();
  EXPECT_FALSE(client.Connected());
  EXPECT_FALSE(EnsureConnected(client, context, &why));
  EXPECT_NE(why.find("not a port"), std::string::npos);
}

TEST_F(FtpClientTest, EveryConnectionFailureShowsTheMessageAndAsksToTerminate) {
  FtpTestServer server(tree.str());
  const std::string port = std::to_string(server.port());
  struct Case {
    const char* what;
    std::function<void()> prepare;
    const char* inError;
  };
  const std::vector<Case> cases = {
      {"no settings file", [&] { std::filesystem::remove(settings.file("ftpServer.ini")); },
       "no FTP server address"},
      {"port not a number", [&] { WriteIni("127.0.0.1", "21a"); }, "\"21a\""},
      {"no address", [&] { WriteIni("", port); }, "no FTP server address"},
      {"wrong password", [&] { WriteIni("127.0.0.1", port, "kestrel", "wrong"); }, "530"},
      {"nobody listening", [&] { server.Stop(); WriteIni("127.0.0.1", port); }, "refused"},
  };
  int terminations = 0;
  context.SetTerminationHandler([&] { ++terminations; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prompts.Clear();
    context.ClearTerminationRequest();
    c.prepare();
    FtpClient client(context.RunState<FtpServerNotes>());
    std::string why;
    EXPECT_FALSE(EnsureConnected(client, context, &why));
    EXPECT_FALSE(client.Connected());
    ASSERT_EQ(prompts.Shown().size(), 1u);
    EXPECT_EQ(prompts.Shown()[0].first, PromptKind::ErrorYes);
    EXPECT_EQ(prompts.Shown()[0].second,
              "Connect Fail!\r\n\r\n1.Be sure ftp-server is in service.\r\n\r\n"
              "2.Please check your settings!\r\n\r\n" + why);
    EXPECT_TRUE(context.TerminationRequested());
    EXPECT_NE(why.find(c.inError), std::string::npos) << why;
  }
  EXPECT_EQ(terminations, static_cast<int>(cases.size()));
  EXPECT_FALSE(std::filesystem::exists(settings.file("ftpServer.ini.tmp")));
}

TEST_F(FtpClientTest, SilentServerFailsWithinTheReplyTimeOut) {
  FtpTestServer server(tree.str(), {"--silent"});
  Aim(client, server);
  const double took = Fails(FtpError::Kind::Connection, "within 10 s", [&] { client.Connect(); });
  EXPECT_GE(took, 9.0);
  EXPECT_LT(took, 15.0);
  EXPECT_FALSE(client.Connected());
}

TEST_F(FtpClientTest, ServerHangingUpInsideAMultiLineReplyFailsAtOnce) {
  FtpTestServer server(tree.str(), {"--hang-up-in-greeting"});
  Aim(client, server);
  EXPECT_LT(Fails(FtpError::Kind::Connection, "closed the connection", [&] { client.Connect(); }),
            5.0);
}

TEST_F(FtpClientTest, ServerThatNeverOpensTheDataConnectionFailsAndDropsTheConnection) {
  FtpTestServer server(tree.str(), {"--no-data-connection"});
  client.SetTimeouts({1000, 1000});
  ConnectTo(server);
  EXPECT_LT(Fails(FtpError::Kind::Connection, "data connection", [&] { client.List(); }), 5.0);
  EXPECT_FALSE(client.Connected());
  // The next use connects afresh.
  client.SetTimeouts({});
  client.Connect();
  EXPECT_NO_THROW(client.ChangeDir("/"));
}
