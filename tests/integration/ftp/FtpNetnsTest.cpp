// FTP cases that need a network of their own: port 21, and an address that swallows every
// packet. run_in_netns.sh makes the namespace; outside it these tests fail, never touching the
// machine's real network.
#include <chrono>
#include <cstdlib>
#include <string>

#include "FtpFixture.h"
#include "playlists/FtpServerConnect.h"
#include "playlists/PlayListStore.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

class FtpNetnsTest : public FtpFixture {
 protected:
  void SetUp() override {
    FtpFixture::SetUp();
    const char* ns = std::getenv("KESTREL_NETNS");
    const char* silent = std::getenv("KESTREL_NETNS_SILENT_HOST");
    ASSERT_TRUE(ns != nullptr && silent != nullptr)
        << "run these tests through run_in_netns.sh, which makes their network namespace";
    silentHost = silent;
  }
  std::string silentHost;
};

}  // namespace

TEST_F(FtpNetnsTest, AbsentPortConnectsToPort21) {
  tree.write("A/x.mp3", "x");
  FtpTestServer server(tree.str(), {"--port", "21"});
  ASSERT_EQ(server.port(), 21);
  WriteIni("127.0.0.1", "");
  FtpClient client(context.RunState<FtpServerNotes>());
  PlayListStore store(client, context);
  ASSERT_EQ(store.ListPlayLists("").outcome, ListOutcome::Listed) << store.LastError();
  EXPECT_EQ(client.Account().port, 21);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(FtpNetnsTest, UnreachableServerFailsWithinTheConnectTimeOut) {
  WriteIni(silentHost, "21");
  FtpClient client(context.RunState<FtpServerNotes>());
  const auto start = std::chrono::steady_clock::now();
  std::string why;
  EXPECT_FALSE(EnsureConnected(client, context, &why));
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(took, 4.0);
  EXPECT_LT(took, 10.0);
  EXPECT_NE(why.find("within 5 s"), std::string::npos) << why;
  EXPECT_TRUE(context.TerminationRequested());
}
