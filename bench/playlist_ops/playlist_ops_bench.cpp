// Deleting a play list of 500 songs and moving 200 songs (also with every name taken in the
// target, answered Yes), against pyftpdlib on loopback. Each is set against the protocol bound:
// the commands the server received times the round trip of one command (CWD, measured on the
// same connection). Best of a few rounds; printed as a table, never judged.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "playlists/PlayListOperations.h"
#include "playlists/PlayListStore.h"
#include "support/FtpTestServer.h"
#include "support/TempDir.h"

using namespace kestrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 3;
constexpr int kDeleteSongs = 500;
constexpr int kMoveSongs = 200;
constexpr int kPings = 300;

class YesPrompts : public Prompts {
 public:
  void Show(PromptKind, const std::string&) override {}
  bool Confirm(const std::string&) override { return true; }
};

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string SongName(int i) {
  char name[48];
  std::snprintf(name, sizeof name, "%03d Song number %d.mp3", i, i);
  return name;
}

struct Row {
  const char* what;
  double seconds = 1e9;
  std::size_t commands = 0;
  double rtt = 0;
};

using Step = std::function<void(PlayListOperations&, PlayListStore&)>;

// Prepares the tree, connects, measures the round trip, runs `setUp` (not timed), then times
// `operation` (best of kRounds).
Row Measure(const char* what, const std::function<void(const test::TempDir&)>& prepare, const Step& setUp,
            const Step& operation) {
  Row row{what};
  std::vector<double> rtts;
  for (int round = 0; round < kRounds; ++round) {
    test::TempDir tree;
    prepare(tree);
    test::FtpTestServer server(tree.str());
    YesPrompts yes;
    AppContext context({}, &yes);
    FtpClient client(context.RunState<FtpServerNotes>());
    client.SetAccount({"127.0.0.1", static_cast<std::uint16_t>(server.port()), test::FtpTestServer::kUser,
                       test::FtpTestServer::kPassword});
    client.Connect();
    PlayListStore store(client, context);
    PlayListOperations ops(client, yes);

    auto start = Clock::now();
    for (int i = 0; i < kPings; ++i) client.ChangeDir("/");
    rtts.push_back(Since(start) / kPings);

    setUp(ops, store);
    const std::size_t before = server.Commands().size();
    start = Clock::now();
    operation(ops, store);
    const double seconds = Since(start);
    if (seconds < row.seconds) {
      row.seconds = seconds;
      row.commands = server.Commands().size() - before;
    }
  }
  row.rtt = *std::min_element(rtts.begin(), rtts.end());
  return row;
}

// The songs of play list `name` as the window holds them after showing it.
std::vector<TSongObj*> ReadSongs(PlayListStore& store, const std::string& name) {
  store.ListPlayLists(name);
  TPlayListObj* from = store.At(store.FindPlayListRow(name, 0));
  store.LoadSongs(*from);
  return from->VisibleSongs();
}

}  // namespace

int main() {
  try {
    std::vector<Row> rows;
    rows.push_back(Measure(
        "delete a play list of 500 songs",
        [](const test::TempDir& tree) {
          for (int i = 1; i <= kDeleteSongs; ++i) tree.write("Big/" + SongName(i), "x");
        },
        [](PlayListOperations&, PlayListStore&) {},
        [](PlayListOperations& ops, PlayListStore&) {
          TPlayListObj big;
          big.Name = "Big";
          if (ops.DeletePlayList(big).outcome != DeleteOutcome::Deleted) std::printf("delete failed!\n");
        }));
    for (bool taken : {false, true}) {
      std::vector<TSongObj*> songs;
      rows.push_back(Measure(
          taken ? "move 200 songs, all names taken (Yes)" : "move 200 songs",
          [taken](const test::TempDir& tree) {
            for (int i = 1; i <= kMoveSongs; ++i) {
              tree.write("From/" + SongName(i), "x");
              tree.write(taken ? "To/" + SongName(i) : "To/.keep", "y");
            }
          },
          [&songs](PlayListOperations&, PlayListStore& store) { songs = ReadSongs(store, "From"); },
          [&songs](PlayListOperations& ops, PlayListStore&) {
            if (!ops.MoveSongs("To", songs)) std::printf("move failed!\n");
          }));
    }
    std::printf("| operation | commands | measured | round trip | commands x round trip | measured / bound |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& r : rows) {
      const double bound = static_cast<double>(r.commands) * r.rtt;
      std::printf("| %s | %zu | %.1f ms | %.3f ms | %.1f ms | %.2f |\n", r.what, r.commands, r.seconds * 1000,
                  r.rtt * 1000, bound * 1000, r.seconds / bound);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "playlist_ops_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
