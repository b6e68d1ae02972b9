// Adding, renaming and deleting play lists and moving songs: what the server holds afterwards,
// the commands it saw, and what the user was asked. (Deleting songs and connecting from the
// settings dialog are tested through the window.)
#include <filesystem>
#include <string>
#include <vector>

#include "FtpFixture.h"
#include "core/SharedState.h"
#include "playlists/FtpServerConnect.h"  // RemoveBlanks
#include "playlists/PlayListOperations.h"
#include "playlists/PlayListStore.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

class PlayListOperationsTest : public FtpFixture {
 protected:
  void Serve(const std::vector<std::string>& options = {}) {
    server = std::make_unique<FtpTestServer>(tree.str(), options);
    Aim(client, *server);
    client.Connect();
    mark = server->Commands().size();
  }
  // The commands since Serve (or the last call), without PORT.
  std::vector<std::string> Sent() {
    auto sent = WithoutPort(CommandsSince(*server, mark));
    mark = server->Commands().size();
    return sent;
  }
  bool Exists(const std::string& name) const { return fs::exists(tree.path() / name); }
  TPlayListObj& Listed(const std::string& name) {
    store.ListPlayLists(name);
    TPlayListObj* playList = store.At(store.FindPlayListRow(name, 0));
    store.LoadSongs(*playList);
    mark = server->Commands().size();
    return *playList;
  }

  std::unique_ptr<FtpTestServer> server;
  std::size_t mark = 0;
  FtpClient client{context.RunState<FtpServerNotes>()};
  PlayListStore store{client, context};
  // The operations as the window runs them: the flag is the shared state's, raised from each
  // operation's result.
  SharedState state;
  std::atomic<bool>& changed = state.PlayListsChanged;
  struct Noted {
    PlayListOperations ops;
    SharedState& state;
    bool CreateOnServer(const TPlayListObj& playList) { return ops.CreateOnServer(playList); }
    bool RenamePlayList(TPlayListObj& playList, const std::string& name) {
      return Note(ops.RenamePlayList(playList, name));
    }
    DeleteOutcome DeletePlayList(TPlayListObj& playList) {
      const DeleteResult result = ops.DeletePlayList(playList);
      state.NotePlayListsChanged(result.playListsChanged);
      return result.outcome;
    }
    bool MoveSongs(const std::string& target, const std::vector<TSongObj*>& songs) {
      return Note(ops.MoveSongs(target, songs));
    }
    bool Note(bool changedThem) {
      state.NotePlayListsChanged(changedThem);
      return changedThem;
    }
  } ops{PlayListOperations{client, prompts}, state};
};

std::unique_ptr<TPlayListObj> Named(const std::string& name) {
  auto playList = std::make_unique<TPlayListObj>();
  playList->Name = name;
  return playList;
}

}  // namespace

TEST(PlayListNames, ProposalAndPlainNames) {
  const std::vector<std::string> taken = {"New Play List", "New Play List1", "new play list2"};
  EXPECT_EQ(NextFreePlayListName(kNewPlayListBase, {}), "New Play List");
  EXPECT_EQ(NextFreePlayListName(kNewPlayListBase, taken), "New Play List2");
  for (const char* bad : {"a/b", "a\\b", "/", "a\rb", "a\nb"}) EXPECT_FALSE(IsPlainPlayListName(bad)) << bad;
  for (const char* good : {"Lobby", " blanks ", "Caf\xC3\xA9", "a.b"}) EXPECT_TRUE(IsPlainPlayListName(good)) << good;
  EXPECT_EQ(RemoveBlanks("192.168.  1. 20"), "192.168.1.20");
  EXPECT_EQ(RemoveBlanks("   "), "   ");
}

TEST_F(PlayListOperationsTest, AddCreatesTheDirectoryAndTellsWhyWhenRefused) {
  tree.write("Old/x.mp3", "x");
  Serve();
  EXPECT_TRUE(ops.CreateOnServer(*Named("New Play List")));
  EXPECT_TRUE(fs::is_directory(tree.path() / "New Play List"));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /", "MKD New Play List"}));

  EXPECT_FALSE(ops.CreateOnServer(*Named("")));
  EXPECT_FALSE(ops.CreateOnServer(*Named("Old")));  // taken on the server
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /", "MKD Old"}));
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("\"Old\""), std::string::npos);
  EXPECT_NE(prompts.Shown()[0].second.find("550"), std::string::npos);  // the server's reply
  EXPECT_FALSE(changed);

  // A connection that is gone is opened again silently.
  client.Disconnect();
  EXPECT_TRUE(ops.CreateOnServer(*Named("Reconnected")));
  EXPECT_TRUE(Exists("Reconnected"));
  EXPECT_EQ(prompts.Shown().size(), 1u);
}

TEST_F(PlayListOperationsTest, RenameRefusedAndEmpty) {
  tree.write("A/a.mp3", "a");
  tree.write("Locked/l.mp3", "l");
  Serve({"--deny-change", "Locked"});
  auto a = Named("A"), locked = Named("Locked");

  EXPECT_TRUE(ops.RenamePlayList(*a, "B c"));
  EXPECT_EQ(a->Name, "B c");
  EXPECT_TRUE(Exists("B c/a.mp3"));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /", "RNFR A", "RNTO B c"}));
  EXPECT_TRUE(changed.exchange(false));

  EXPECT_FALSE(ops.RenamePlayList(*locked, "Open"));
  EXPECT_FALSE(ops.RenamePlayList(*a, ""));
  EXPECT_EQ(locked->Name, "Locked");
  EXPECT_TRUE(Exists("Locked/l.mp3"));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /", "RNFR Locked"}));
  EXPECT_EQ(prompts.Shown(), (std::vector<std::pair<PromptKind, std::string>>{
                                 {PromptKind::ErrorYes, PlayListOperations::kRenameFailedText},
                                 {PromptKind::ErrorYes, PlayListOperations::kEmptyNameText}}));
  EXPECT_FALSE(changed);
}

TEST_F(PlayListOperationsTest, DeleteWorksThroughEachLevelAndLeavesNothing) {
  for (const char* song : {"P/1.mp3", "P/2.mp3", "P/3.mp3", "Q/sub/x.mp3", "Q/sub/y.mp3", "Empty/.keep"})
    tree.write(song, "s");
  fs::create_directory_symlink(tree.path() / "P", tree.path() / "Q/link");
  Serve();

  // Answered No: nothing is sent.
  auto p = Named("P");
  EXPECT_EQ(ops.DeletePlayList(*p), DeleteOutcome::NotDone);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(prompts.Asked(), (std::vector<std::string>{PlayListOperations::kDeletePlayListQuestion}));

  prompts.AnswerYes(true);
  TPlayListObj& listed = Listed("P");  // its songs were read: the zones must reload
  EXPECT_EQ(ops.DeletePlayList(listed), DeleteOutcome::Deleted);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /P", "LIST", "DELE 1.mp3", "DELE 2.mp3",
                                              "DELE 3.mp3", "CWD /", "RMD P"}));
  EXPECT_TRUE(changed.exchange(false));

  // A sub-folder is emptied and removed before the play list; the link is left to RMD.
  auto q = Named("Q");
  fs::remove(tree.path() / "Q/link");
  EXPECT_EQ(ops.DeletePlayList(*q), DeleteOutcome::Deleted);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /Q", "LIST", "CWD /Q/sub", "LIST", "DELE x.mp3",
                                              "DELE y.mp3", "CWD /Q", "RMD sub", "CWD /", "RMD Q"}));
  EXPECT_TRUE(changed.exchange(false));

  // Songs never read and no file among them: the zones' play lists stay as they are.
  auto empty = Named("Empty");
  fs::remove(tree.path() / "Empty/.keep");
  EXPECT_EQ(ops.DeletePlayList(*empty), DeleteOutcome::Deleted);
  EXPECT_FALSE(changed);
  EXPECT_TRUE(fs::is_empty(tree.path()));
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(PlayListOperationsTest, DeleteRefusedHalfWayTellsWhyAndKeepsWhatWasDeleted) {
  for (const char* song : {"P/1.mp3", "P/2.mp3", "P/locked/3.mp3"}) tree.write(song, "s");
  fs::create_directory_symlink(tree.path() / "P/1.mp3", tree.path() / "P/link.mp3");
  Serve({"--deny-change", "P/locked"});
  prompts.AnswerYes(true);
  auto p = Named("P");
  EXPECT_EQ(ops.DeletePlayList(*p), DeleteOutcome::Partial);
  EXPECT_FALSE(Exists("P/1.mp3"));
  EXPECT_FALSE(Exists("P/2.mp3"));
  EXPECT_TRUE(Exists("P/locked/3.mp3"));
  EXPECT_TRUE(fs::is_symlink(tree.path() / "P/link.mp3"));
  const auto sent = Sent();
  EXPECT_EQ(sent.back(), "DELE 3.mp3");
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("\"P\""), std::string::npos);
  EXPECT_NE(prompts.Shown()[0].second.find("550"), std::string::npos);
  EXPECT_TRUE(changed);

  // Refused before anything went: the server is as the window shows it.
  prompts.Clear();
  auto locked = Named("P/locked");
  EXPECT_EQ(ops.DeletePlayList(*locked), DeleteOutcome::NotDone);
  EXPECT_EQ(prompts.Shown().size(), 1u);
}

TEST_F(PlayListOperationsTest, MoveRenamesOnTheServerAndAsksBeforeReplacing) {
  for (const char* song : {"A/one.mp3", "A/two.mp3", "A/three.mp3", "B/two.mp3", "B/three.mp3"})
    tree.write(song, song);
  Serve();
  TPlayListObj& a = Listed("A");
  std::vector<TSongObj*> songs = a.VisibleSongs();  // one, two, three (listing order)
  ASSERT_EQ(songs.size(), 3u);
  std::sort(songs.begin(), songs.end(), [](auto* x, auto* y) { return x->Name < y->Name; });  // one, three, two

  // Into its own play list: nothing but the CWD.
  EXPECT_FALSE(ops.MoveSongs("A", songs));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /A"}));

  // "three" and "two" exist in B: answered No, only "one" moves.
  prompts.AnswerYes(false);
  EXPECT_TRUE(ops.MoveSongs("B", songs));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /B", "SIZE one.mp3", "RNFR /A/one.mp3", "RNTO /B/one.mp3",
                                              "SIZE three.mp3", "SIZE two.mp3"}));
  EXPECT_EQ(prompts.Asked(), (std::vector<std::string>{"\"three.mp3\" exists. Replace it?",
                                                       "\"two.mp3\" exists. Replace it?"}));
  EXPECT_EQ(tree.read("B/two.mp3"), "B/two.mp3");
  EXPECT_TRUE(changed.exchange(false));

  // Answered Yes: the target's file goes first, then the rename.
  prompts.AnswerYes(true);
  EXPECT_TRUE(ops.MoveSongs("B", {songs[1], songs[2]}));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /B", "SIZE three.mp3", "DELE three.mp3", "RNFR /A/three.mp3",
                                              "RNTO /B/three.mp3", "SIZE two.mp3", "DELE two.mp3",
                                              "RNFR /A/two.mp3", "RNTO /B/two.mp3"}));
  EXPECT_EQ(tree.read("B/two.mp3"), "A/two.mp3");
  EXPECT_TRUE(fs::is_empty(tree.path() / "A"));

  // The target cannot be entered: passed on to the caller, nothing moved.
  EXPECT_THROW(ops.MoveSongs("Gone", songs), FtpError);
  EXPECT_FALSE(ops.MoveSongs("B", {}));
}
