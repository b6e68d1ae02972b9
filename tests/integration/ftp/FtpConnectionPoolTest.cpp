// Several connections to one server at once: work handed out over them, and a server that takes
// fewer logins than asked for lowering their number without a failure.
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "CliRun.h"
#include "FtpFixture.h"
#include "playlists/FtpConnectionPool.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

using FtpConnectionPoolTest = FtpFixture;

// The clients that have taken an item; an item waits (at most a few seconds) until `expected`
// of them have, so that every connection the server takes gets work.
struct Takers {
  void Took(const FtpClient* client, std::size_t expected) {
    std::unique_lock<std::mutex> lock(mutex);
    clients.insert(client);
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return clients.size() >= expected; });
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::set<const FtpClient*> clients;
};

}  // namespace

TEST_F(FtpConnectionPoolTest, WorkGoesOverTheConnectionsTheServerTakes) {
  const struct {
    const char* what;
    std::vector<std::string> options;
    int connections;  // the server takes
  } rows[] = {
      {"any number", {}, 3},
      {"two logins, then 530", {"--max-logins", "2"}, 2},
      {"one login, then 530", {"--max-logins", "1"}, 1},
      {"one session, then 421 and a hang-up", {"--max-sessions", "1"}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    tree.write("A/one.mp3", "1");
    FtpTestServer server(tree.str(), row.options);
    FtpServerNotes notes;
    FtpClient first(notes);
    Aim(first, server);
    first.Connect();
    Takers takers;
    std::vector<int> sizes(9, -2);
    {
      FtpConnectionPool pool(first, notes, 3);
      pool.ForEach(sizes.size(), [&](FtpClient& client, std::size_t i) {
        takers.Took(&client, static_cast<std::size_t>(row.connections));
        sizes[i] = static_cast<int>(client.Size("/A/one.mp3"));
      });
      EXPECT_EQ(pool.Limit(), row.connections);
      EXPECT_EQ(pool.LoweredBecause().empty(), row.connections == 3) << pool.LoweredBecause();
      EXPECT_EQ(sizes, std::vector<int>(9, 1));
      EXPECT_EQ(takers.clients.size(), static_cast<std::size_t>(row.connections));
      EXPECT_EQ(notes.Get("127.0.0.1:" + std::to_string(server.port())).connectionLimit,
                row.connections == 3 ? 0 : row.connections);
    }
    // The lowered limit holds for the rest of the run: no login is tried beyond it.
    const std::size_t logins = static_cast<std::size_t>(Count(server.Commands(), "USER "));
    FtpConnectionPool again(first, notes, 3);
    again.ForEach(6, [&](FtpClient& client, std::size_t) { client.Size("/A/one.mp3"); });
    EXPECT_EQ(again.Limit(), row.connections);
    EXPECT_LE(static_cast<std::size_t>(Count(server.Commands(), "USER ")) - logins,
              static_cast<std::size_t>(row.connections - 1));
    EXPECT_TRUE(first.Connected());
  }
}

// An exception that escapes an item stops the handing out and reaches the caller once every
// worker is done.
TEST_F(FtpConnectionPoolTest, AFailedItemStopsTheRestAndIsThrownToTheCaller) {
  FtpTestServer server(tree.str());
  FtpServerNotes notes;
  FtpClient first(notes);
  Aim(first, server);
  first.Connect();
  FtpConnectionPool pool(first, notes, 3);
  std::mutex mutex;
  std::vector<std::size_t> done;
  EXPECT_THROW(pool.ForEach(50,
                            [&](FtpClient& client, std::size_t i) {
                              if (i == 2) throw std::runtime_error("item 2 failed");
                              client.Size("x");
                              std::lock_guard<std::mutex> lock(mutex);
                              done.push_back(i);
                            }),
               std::runtime_error);
  EXPECT_LT(done.size(), 49u);
}
