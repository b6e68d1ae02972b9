// Play lists and songs read from a real server: numbering, the server sequence, row lookups,
// retries, reconnection and the names servers allow.
#include <filesystem>
#include <string>
#include <vector>

#include "FtpFixture.h"
#include "playlists/PlayListStore.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct RecordingListener : PlayListStoreListener {
  explicit RecordingListener(const PlayListStore& s) : store(s) {}
  void PlayListsCleared() override {
    clearedWith.push_back(store.Count());
    notices += "cleared ";
  }
  void PlayListsFound(int row) override { notices += "found " + std::to_string(store.Count()) + ":" + std::to_string(row) + " "; }
  void PlayListsRead(int first, int count) override {
    notices += "read " + std::to_string(first) + "+" + std::to_string(count) + " ";
    for (int row = first; row < first + count; ++row) EXPECT_TRUE(store.At(row)->GotSong);
  }
  void PlayListsListed(int row) override {
    listed.push_back(row);
    notices += "listed ";
  }
  const PlayListStore& store;
  std::vector<int> clearedWith;  // rows still held when told
  std::vector<int> listed;
  std::string notices;  // in order
};

int Count(const std::vector<std::string>& commands, const std::string& command) {
  int n = 0;
  for (const auto& c : commands) n += c == command ? 1 : 0;
  return n;
}

std::vector<std::string> RowNames(const PlayListStore& store) {
  std::vector<std::string> names;
  for (int i = 0; i < store.Count(); ++i) names.push_back(store.At(i)->Name);
  return names;
}

std::vector<int> DeviceNumbers(const PlayListStore& store) {
  std::vector<int> numbers;
  for (int i = 0; i < store.Count(); ++i) numbers.push_back(store.At(i)->SeqInVeltra);
  return numbers;
}

std::vector<std::string> SongNames(const TPlayListObj& playList) {
  std::vector<std::string> names;
  for (const TSongObj* song : playList.VisibleSongs()) names.push_back(song->Name);
  return names;
}

class PlayListStoreTest : public FtpFixture {
 protected:
  // Serves the tree with `options` and writes the settings for that server.
  void Serve(const std::vector<std::string>& options = {}) {
    server = std::make_unique<FtpTestServer>(tree.str(), options);
    WriteIniFor(*server);
  }
  void ListAll() {
    ASSERT_EQ(store.ListPlayLists("").outcome, ListOutcome::Listed) << store.LastError();
  }

  std::unique_ptr<FtpTestServer> server;
  FtpClient client{context.RunState<FtpServerNotes>()};
  PlayListStore store{client, context};
  RecordingListener listener{store};

  // A: one file; B: only a sub-folder; C: two files; at the root also a file and a link.
  void MakeNumberingTree() {
    tree.write("A/a1.mp3", "a");
    tree.write("B/inner/deep.mp3", "b");
    tree.write("C/c1.mp3", "c");
    tree.write("C/c2.mp3", "c");
    tree.write("stray.mp3", "s");
    std::filesystem::create_directory_symlink(tree.path() / "A", tree.path() / "Linked");
  }
};

}  // namespace

TEST_F(PlayListStoreTest, NumbersPlayListsInListingOrderAndCountsOnlyThoseWithAFile) {
  MakeNumberingTree();
  Serve();
  store.AddListener(&listener);

  const ListResult result = store.ListPlayLists("");
  EXPECT_EQ(result.outcome, ListOutcome::Listed);
  EXPECT_EQ(result.selectRow, 0);
  EXPECT_EQ(RowNames(store), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(DeviceNumbers(store), (std::vector<int>{1, 0, 2}));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(store.At(row)->Seq, row + 1);
  // The root comes first, a round trip after the login; then the extras, CWD / and the LIST that
  // tells whether STAT lists as LIST does; then every play list at once, with SYST to close.
  EXPECT_EQ(Folded(server->Commands()),
            (std::vector<std::string>{"USER kestrel", "PASS secret", "TYPE I", "SYST", "STAT /", "FEAT", "NOOP x199",
                                      "SYST", "CWD /", "LIST", "STAT /A", "STAT /B", "STAT /C", "SYST"}));
  EXPECT_EQ(listener.notices, "cleared found 3:0 read 0+3 listed ");

  // SelectPlayList's row: by device number, by exact name, the first row, or none.
  EXPECT_EQ(store.FindPlayListRow("", 2), 2);
  EXPECT_EQ(store.FindPlayListRow("B", 0), 1);
  EXPECT_EQ(store.FindPlayListRow("", 0), 0);
  EXPECT_EQ(store.FindPlayListRow("c", 0), -1);
  EXPECT_EQ(store.FindPlayListRow("", 3), -1);

  // Reselecting by name finds C although B, with number 0, comes first; the listeners are told
  // before the old objects go and after the new ones are there.
  const std::size_t sent = server->Commands().size();
  EXPECT_EQ(store.ListPlayLists("C").selectRow, 2);
  // On the same connection a refresh takes three round trips.
  EXPECT_EQ(CommandsSince(*server, sent),
            (std::vector<std::string>{"STAT /", "SYST", "CWD /", "STAT /A", "STAT /B", "STAT /C", "SYST"}));
  EXPECT_EQ(listener.clearedWith, (std::vector<int>{0, 3}));
  EXPECT_EQ(listener.listed, (std::vector<int>{0, 2}));
  EXPECT_EQ(store.ListPlayLists("Gone").selectRow, -1);

  TPlayListObj& onlySub = *store.At(1);
  EXPECT_TRUE(store.LoadSongs(onlySub));
  EXPECT_TRUE(onlySub.GotSong);
  EXPECT_TRUE(onlySub.SongList.empty());
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(PlayListStoreTest, NamesWithBlanksUtf8AndCaseTwinsComeBackExactly) {
  const std::string cafe = "Caf\xC3\xA9 \xCE\xA9";
  const std::string unicode = "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9.mp3";
  tree.write("  leading blanks/01 Intro.mp3", "1");
  tree.write(cafe + "/02  Two  Spaces.mp3", "2");
  tree.write(cafe + "/" + unicode, "3");
  tree.write("Lobby Music/upper.mp3", "u");
  tree.write("lobby music/lower.mp3", "l");
  SetModified(tree.path() / cafe / unicode, kMarch4th2019Noon);
  Serve();

  ASSERT_EQ(store.ListPlayLists("lobby music").outcome, ListOutcome::Listed);
  EXPECT_EQ(RowNames(store),
            (std::vector<std::string>{"  leading blanks", cafe, "Lobby Music", "lobby music"}));
  EXPECT_EQ(DeviceNumbers(store), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(store.FindPlayListRow("lobby music", 0), 3);
  EXPECT_EQ(store.FindPlayListRow("Lobby Music", 0), 2);

  TPlayListObj& upper = *store.At(2);
  TPlayListObj& lower = *store.At(3);
  ASSERT_TRUE(store.LoadSongs(upper));
  ASSERT_TRUE(store.LoadSongs(lower));
  EXPECT_EQ(SongNames(upper), std::vector<std::string>{"upper.mp3"});
  EXPECT_EQ(SongNames(lower), std::vector<std::string>{"lower.mp3"});

  TPlayListObj& cafeList = *store.At(1);
  ASSERT_TRUE(store.LoadSongs(cafeList));
  ASSERT_EQ(SongNames(cafeList), (std::vector<std::string>{"02  Two  Spaces.mp3", unicode}));
  const TSongObj& song = *cafeList.SongList[1];
  EXPECT_EQ(song.Seq, 2);
  EXPECT_EQ(song.ParentName, cafe);
  EXPECT_EQ(song.ModTime, (platform::CalendarTime{2019, 3, 4, 0, 0, 0}));
  EXPECT_EQ(song.DateTime, platform::LocaleDateTimeText(song.ModTime));
  EXPECT_FALSE(song.Checked || song.Selected || song.Deleting || song.Deleted);
  EXPECT_TRUE(server->Log().find("STAT /" + cafe + "\n") != std::string::npos);
}

// Over the control connection (STAT) and over data connections (a server refusing STAT with a
// path), the same tree gives the same play lists, songs and numbers.
TEST_F(PlayListStoreTest, ListsTheSameTreeBothWays) {
  MakeNumberingTree();
  tree.write("1 Live/b side.mp3", "1");
  tree.write("1 Live/new\nline.mp3", "2");
  tree.write("1 Live/a side.mp3", "3");
  tree.write("\xC3\x9C" "ber Caf\xC3\xA9/\xCE\xA9.mp3", "4");
  tree.write("Best*Of/x.mp3", "5");
  tree.write("Empty/.keep", "");
  std::filesystem::remove(tree.path() / "Empty" / ".keep");
  struct Way {
    std::vector<std::string> options;
    FtpListingWay way;
    int stats;  // STAT commands the server saw
  };
  std::string first;
  for (const Way& way : {Way{{}, FtpListingWay::Stat, 7},
                         Way{{"--no-stat-path"}, FtpListingWay::DataConnection, 1}}) {
    SCOPED_TRACE(way.options.empty() ? "STAT" : "LIST");
    Serve(way.options);
    ListAll();
    std::string seen;
    for (int row = 0; row < store.Count(); ++row) {
      TPlayListObj& playList = *store.At(row);
      ASSERT_TRUE(store.LoadSongs(playList)) << store.LastError();
      seen += std::to_string(playList.Seq) + " " + std::to_string(playList.SeqInVeltra) + " " +
              playList.Name + ":";
      for (const TSongObj* song : playList.VisibleSongs())
        seen += " " + std::to_string(song->Seq) + " " + song->Name;
      seen += "\n";
    }
    EXPECT_EQ(client.ListingWay(), way.way);
    int stats = 0;
    for (const auto& c : server->Commands()) stats += c.rfind("STAT", 0) == 0 ? 1 : 0;
    EXPECT_EQ(stats, way.stats);  // the way is found once; wildcards go by LIST
    if (first.empty()) {
      first = seen;
      EXPECT_NE(server->Log().find("STAT /1 Live\n"), std::string::npos);
    } else {
      EXPECT_EQ(seen, first);
    }
    client.Disconnect();
  }
  EXPECT_NE(first.find("new\nline.mp3"), std::string::npos) << first;
}

TEST_F(PlayListStoreTest, SongsAreReadOnceUntilGotSongIsCleared) {
  tree.write("A/one.mp3", "1");
  Serve();
  ListAll();
  TPlayListObj& a = *store.At(0);
  ASSERT_TRUE(store.LoadSongs(a));
  tree.write("A/two.mp3", "2");
  const std::size_t sent = server->Commands().size();
  ASSERT_TRUE(store.LoadSongs(a));
  EXPECT_EQ(server->Commands().size(), sent);
  EXPECT_EQ(SongNames(a), std::vector<std::string>{"one.mp3"});

  a.GotSong = false;  // as after an upload into it
  ASSERT_TRUE(store.LoadSongs(a));
  EXPECT_EQ(SongNames(a), (std::vector<std::string>{"one.mp3", "two.mp3"}));
  EXPECT_EQ(a.SongList[1]->Seq, 2);
}

TEST_F(PlayListStoreTest, ReadingSongsReconnectsSilentlyWithTheSettingsHeld) {
  tree.write("A/one.mp3", "1");
  auto first = std::make_unique<FtpTestServer>(tree.str());
  const std::string port = std::to_string(first->port());
  Aim(client, *first);  // no settings file: reconnecting must not need one
  client.Connect();
  TPlayListObj a;
  a.Name = "A";
  first.reset();  // the server goes away and comes back on the same port
  FtpTestServer second(tree.str(), {"--port", port});

  ASSERT_TRUE(store.LoadSongs(a));
  EXPECT_EQ(SongNames(a), std::vector<std::string>{"one.mp3"});
  EXPECT_TRUE(prompts.Shown().empty());
  EXPECT_FALSE(context.TerminationRequested());
  // The server at that address was probed at the first login already.
  EXPECT_EQ(WithoutPort(second.Commands()),
            (std::vector<std::string>{"USER kestrel", "PASS secret", "TYPE I", "SYST", "CWD /A", "STAT /A", "SYST",
                                      "LIST"}));
}

TEST_F(PlayListStoreTest, ReadingSongsGivesUpAtOnceOnARefusalAndTellsTheUser) {
  tree.write("A/one.mp3", "1");
  Serve();
  ListAll();
  std::filesystem::remove_all(tree.path() / "A");
  const std::size_t sent = server->Commands().size();

  TPlayListObj& a = *store.At(0);
  a.GotSong = false;  // as after an upload into it
  EXPECT_FALSE(store.LoadSongs(a));
  EXPECT_FALSE(a.GotSong);
  EXPECT_TRUE(a.SongList.empty());
  EXPECT_EQ(CommandsSince(*server, sent), std::vector<std::string>{"CWD /A"});
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0].first, PromptKind::ErrorOk);
  EXPECT_EQ(prompts.Shown()[0].second.rfind("Can not read the songs of play list \"A\".", 0), 0u);
  EXPECT_NE(prompts.Shown()[0].second.find("550"), std::string::npos);

  // With no server at all, one reconnection attempt ends it.
  server->Stop();
  prompts.Clear();
  EXPECT_FALSE(store.LoadSongs(a));
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("refused"), std::string::npos);
}

TEST_F(PlayListStoreTest, ReadingSongsNeverRetriesATimeOut) {
  tree.write("A/one.mp3", "1");
  Serve({"--stall-list"});
  Aim(client, *server);
  client.SetTimeouts({1000, 1000});
  client.Connect();
  TPlayListObj a;
  a.Name = "A";
  EXPECT_FALSE(store.LoadSongs(a));
  EXPECT_EQ(Count(server->Commands(), "STAT /A") + Count(server->Commands(), "LIST"), 1);
  EXPECT_TRUE(store.LastErrorWasConnection());
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("no answer within 1 s"), std::string::npos);
}

TEST_F(PlayListStoreTest, RefusedListingsAreRetriedFiveTimesInARunThenReported) {
  MakeNumberingTree();
  Serve({"--deny-cwd", "B"});
  store.AddListener(&listener);

  const ListResult result = store.ListPlayLists("C");
  EXPECT_EQ(result.outcome, ListOutcome::Refused);
  EXPECT_EQ(result.selectRow, -1);
  EXPECT_EQ(Count(server->Commands(), "CWD /"), 6);
  EXPECT_EQ(Count(server->Commands(), "STAT /B"), 6);
  EXPECT_EQ(store.ListingRetryCounter(), 6);
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0].first, PromptKind::ErrorYes);
  EXPECT_EQ(prompts.Shown()[0].second,
            "Sorry, you are not allowed to change directory.Please check server user rights"
            "\r\n\r\n" + store.LastError());
  // What was built before the failure stays.
  EXPECT_EQ(RowNames(store), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(DeviceNumbers(store), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(listener.listed, std::vector<int>{-1});
  EXPECT_NE(store.LastError().find("550"), std::string::npos);

  // The counter is never reset: the next failure is reported without retrying.
  const std::size_t sent = server->Commands().size();
  EXPECT_EQ(store.ListPlayLists("").outcome, ListOutcome::Refused);
  EXPECT_EQ(Count(CommandsSince(*server, sent), "CWD /"), 1);
  EXPECT_EQ(prompts.Shown().size(), 2u);
}

TEST_F(PlayListStoreTest, NamesWithLineBreaksAreKeptButNeverSent) {
  tree.write("bad\nname/song.mp3", "b");
  tree.write("ok/new\nline.mp3", "n");
  tree.write("ok/plain.mp3", "p");
  Serve();

  ListAll();
  EXPECT_EQ(RowNames(store), (std::vector<std::string>{"bad\nname", "ok"}));
  // The first cannot be entered, so it cannot be numbered; the others are numbered as usual.
  EXPECT_EQ(DeviceNumbers(store), (std::vector<int>{0, 1}));

  TPlayListObj& ok = *store.At(1);
  ASSERT_TRUE(store.LoadSongs(ok));
  EXPECT_EQ(SongNames(ok), (std::vector<std::string>{"new\nline.mp3", "plain.mp3"}));
  EXPECT_EQ(ok.SongList[1]->Seq, 2);

  EXPECT_FALSE(store.LoadSongs(*store.At(0)));
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("line break"), std::string::npos);
  EXPECT_EQ(server->Log().find("bad"), std::string::npos);
  EXPECT_TRUE(client.Connected());
}

TEST_F(PlayListStoreTest, CheckedSongsAreCountedOverEveryLivePlayList) {
  tree.write("A/1.mp3", "1");
  tree.write("A/2.mp3", "2");
  tree.write("A/3.mp3", "3");
  tree.write("B/4.mp3", "4");
  Serve();
  ListAll();
  TPlayListObj& a = *store.At(0);
  TPlayListObj& b = *store.At(1);
  ASSERT_TRUE(store.LoadSongs(a));
  a.SongList[0]->Checked = true;
  a.SongList[2]->Checked = true;
  ASSERT_TRUE(store.LoadSongs(b));  // switching to B and back keeps A's marks
  b.SongList[0]->Checked = true;
  ASSERT_TRUE(store.LoadSongs(a));
  EXPECT_EQ(store.CheckedSongCount(), 3);

  a.SongList[0]->Deleted = true;
  EXPECT_EQ(store.CheckedSongCount(), 2);
  EXPECT_EQ(SongNames(a), (std::vector<std::string>{"2.mp3", "3.mp3"}));
  EXPECT_EQ(FindSongRowByName(a.VisibleSongs(), "3.mp3"), 1);
  EXPECT_EQ(FindSongRowBySeq(a.VisibleSongs(), 2), 0);

  // A refresh makes new objects, without marks.
  ListAll();
  EXPECT_EQ(store.CheckedSongCount(), 0);
  store.ClearPlayLists();
  EXPECT_EQ(store.Count(), 0);
}

TEST_F(PlayListStoreTest, MsdosStyleServerIsReadLikeAUnixOne) {
  MakeNumberingTree();
  Serve({"--msdos"});
  ListAll();
  // The link lists as a folder here, as it would on a server that follows links.
  EXPECT_EQ(RowNames(store), (std::vector<std::string>{"A", "B", "C", "Linked"}));
  EXPECT_EQ(DeviceNumbers(store), (std::vector<int>{1, 0, 2, 3}));
  TPlayListObj& c = *store.At(2);
  ASSERT_TRUE(store.LoadSongs(c));
  EXPECT_EQ(SongNames(c), (std::vector<std::string>{"c1.mp3", "c2.mp3"}));
}

TEST_F(PlayListStoreTest, NoConnectionEndsTheListingAndLeavesTheRows) {
  tree.write("A/1.mp3", "1");
  Serve();
  ListAll();
  server.reset();
  const ListResult result = store.ListPlayLists("");
  EXPECT_EQ(result.outcome, ListOutcome::Terminating);
  EXPECT_TRUE(context.TerminationRequested());
  EXPECT_EQ(RowNames(store), std::vector<std::string>{"A"});
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0].second.rfind("Connect Fail!", 0), 0u);
  EXPECT_EQ(store.ListingRetryCounter(), 0);
}

// Play lists read in flight together give what one at a time gives: the same rows, device
// numbers and songs, over STAT in groups, over LIST, and when a group meets a server that loses
// a line of it or a name that ends a listing early (the reading then goes on one at a time and
// sends nothing at once any more). One at a time is what a server gets that takes one command a
// read.
TEST_F(PlayListStoreTest, ListingsInFlightGiveWhatOneAtATimeGives) {
  // 150 play lists (a few groups): every fourth holds nothing, one holds only a folder, one has
  // a wildcard in its name; a folder with "\" holds a file and so takes a device number.
  for (int i = 1; i <= 150; ++i) {
    const std::string name = "Play List " + std::to_string(1000 + i).substr(1);
    if (i % 4 == 0)
      std::filesystem::create_directories(tree.path() / name);
    else
      for (int s = 1; s <= i % 3 + 1; ++s) tree.write(name + "/song " + std::to_string(s) + ".mp3", "x");
  }
  tree.write("Only Sub/inner/deep.mp3", "d");
  tree.write("Best*Of/x.mp3", "b");
  tree.write("back\\slash/y.mp3", "y");
  const auto read = [this](const std::vector<std::string>& options) {
    Serve(options);
    ListAll();
    std::string seen;
    for (int row = 0; row < store.Count(); ++row) {
      const TPlayListObj& playList = *store.At(row);
      seen += std::to_string(playList.Seq) + " " + std::to_string(playList.SeqInVeltra) + " " + playList.Name + ":";
      for (const TSongObj* song : playList.VisibleSongs()) seen += " " + std::to_string(song->Seq) + " " + song->Name;
      seen += "\n";
    }
    client.Disconnect();
    return seen;
  };
  struct Row {
    const char* what;
    std::vector<std::string> options;
    bool hostileName;     // a song named so that it ends a STAT listing early, and what follows
                          // reads as the next reply
    bool groupsAtTheEnd;  // the server still gets commands at once after the listing
  };
  const Row rows[] = {
      {"STAT in groups", {}, false, true},
      {"LIST", {"--no-stat-path"}, false, true},
      {"a group that loses a line", {"--lose-line", "STAT /Play List 07"}, false, false},
      {"a name that ends a listing in a group", {}, true, false},
  };
  std::string plain = read({"--one-command-a-read"});
  EXPECT_NE(plain.find(" 1 song 1.mp3"), std::string::npos);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.hostileName) {
      tree.write("Play List 148/b\r\n213 End", "h");  // its only file: the listing's last line
      plain = read({"--one-command-a-read"});
    }
    EXPECT_EQ(read(row.options), plain) << server->Log().substr(server->Log().size() > 3000 ? server->Log().size() - 3000 : 0);
    int groups = 0;  // SYST closes each group, after the login's and the probe's
    for (const std::string& c : server->Commands()) groups += c == "SYST" ? 1 : 0;
    if (row.groupsAtTheEnd) {
      EXPECT_LE(groups - 2, 4);
    }
    // (Each server has a port, and so a note, of its own.)
    EXPECT_EQ(context.RunState<FtpServerNotes>().Get("127.0.0.1:" + std::to_string(server->port())).Pipelining(),
              row.groupsAtTheEnd);
  }
  // Nothing but the folder with "\" in the root, each time.
  for (const auto& [kind, text] : prompts.Shown()) EXPECT_NE(text.find("listing of \"/\" holds 1 name"), std::string::npos) << text;
}
