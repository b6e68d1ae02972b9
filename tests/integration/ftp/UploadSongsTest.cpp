// Song upload and copy against a real server: counting, the replace question, refused and
// broken transfers, cancel, and copying between play lists.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FtpFixture.h"
#include "support/ScopedEnv.h"
#include "playlists/PlayListStore.h"
#include "playlists/UploadSongs.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

struct RecordingListener : UploadListener {
  void FileStarting(int index, int count) override {
    counts.push_back(std::to_string(index) + " of " + std::to_string(count));
  }
  void TransferStarting() override { ++transfers; }
  void ftpWork(const TransferFigures& now) override {
    if (now.mode == FtpWorkMode::Write && cancelAfter >= 0 && now.bytes > cancelAfter) cancel = true;
  }
  void FileDone(int index, int) override { whole = index; }
  std::vector<std::string> counts;
  int transfers = 0;
  int whole = 0;
  std::int64_t cancelAfter = -1;  // sets `cancel` once this many bytes went out
  std::atomic<bool> cancel{false};
};

// The names in a served folder, sorted.
std::vector<std::string> Files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class UploadSongsTest : public FtpFixture {
 protected:
  void Serve(const std::vector<std::string>& options = {}) {
    tree.write("Rock/old.mp3", "the old song");
    fs::create_directories(tree.path() / "Pop");
    server = std::make_unique<FtpTestServer>(tree.str(), options);
    Aim(client, *server);
    client.Connect();
    target.Name = "Rock";
    target.GotSong = true;
  }
  UploadResult Upload(const std::vector<std::string>& paths) {
    SongUploader uploader(client, prompts, InstallationId(context), &listener, &listener.cancel);
    const UploadResult result = uploader.UploadSongs(target, paths);
    if (result.uploaded) changed = true;  // what the owner of PlayListsChanged does
    return result;
  }
  std::string Served(const std::string& file) const { return tree.read("Rock/" + file); }
  std::string Message() const { return prompts.Shown().empty() ? "" : prompts.Shown().back().second; }

  TempDir local;
  std::unique_ptr<FtpTestServer> server;
  FtpClient client{context.RunState<FtpServerNotes>()};
  TPlayListObj target;
  std::atomic<bool> changed{false};
  RecordingListener listener;
};

TEST_F(UploadSongsTest, ThreeNewFilesAreCountedStoredAndReadAgain) {
  Serve();
  const auto result = Upload({local.write("a.mp3", "AAA"), local.write("b.mp3", std::string(300000, 'b')),
                              local.write("c d.mp3", "")});
  EXPECT_TRUE(result.uploaded);
  EXPECT_EQ(listener.counts, (std::vector<std::string>{"1 of 3", "2 of 3", "3 of 3"}));
  EXPECT_EQ(listener.whole, 3);
  EXPECT_EQ(Files(tree.path() / "Rock"), (std::vector<std::string>{"a.mp3", "b.mp3", "c d.mp3", "old.mp3"}));
  EXPECT_TRUE(Served("b.mp3") == std::string(300000, 'b'));
  EXPECT_TRUE(changed);
  EXPECT_TRUE(prompts.Shown().empty());
  ASSERT_FALSE(target.GotSong);
  PlayListStore store(client, context);
  ASSERT_TRUE(store.LoadSongs(target));
  EXPECT_EQ(target.SongList.size(), 4u);
}

// A server that takes one command at a time is found at login and sent one at a time.
TEST_F(UploadSongsTest, ServerTakingOneCommandAtATimeGetsOneAtATime) {
  Serve({"--one-command-a-read"});
  EXPECT_FALSE(client.ServerNote().Pipelining());
  prompts.AnswerYes(true);
  const auto result = Upload({local.write("a.mp3", "AAA"), local.write("old.mp3", "new")});
  EXPECT_TRUE(result.failures.empty()) << Message();
  EXPECT_EQ(Served("a.mp3"), "AAA");
  EXPECT_EQ(Served("old.mp3"), "new");
}

TEST_F(UploadSongsTest, ExistingNameIsReplacedOnlyOnYes) {
  Serve();
  const std::string path = local.write("old.mp3", "the new song");
  for (bool yes : {false, true}) {
    SCOPED_TRACE(yes);
    prompts.AnswerYes(yes);
    const auto result = Upload({path});
    EXPECT_EQ(prompts.Asked().back(), "\"old.mp3\" exists. Replace it?");
    EXPECT_EQ(result.uploaded, yes);
    EXPECT_EQ(changed, yes);
    EXPECT_EQ(listener.transfers, yes ? 1 : 0);
    EXPECT_EQ(Served("old.mp3"), yes ? "the new song" : "the old song");
    EXPECT_EQ(Files(tree.path() / "Rock"), std::vector<std::string>{"old.mp3"});
    EXPECT_TRUE(prompts.Shown().empty());
  }
}

TEST_F(UploadSongsTest, RefusedStoreAndUnreadableFileAreNamedAtTheEnd) {
  Serve({"--refuse-stor"});
  const auto result = Upload({local.write("new.mp3", "x"), local.file("missing.mp3")});
  EXPECT_FALSE(result.uploaded);
  EXPECT_FALSE(changed);
  ASSERT_EQ(result.failures.size(), 2u);
  EXPECT_NE(Message().find("new.mp3: store file: 553 Storage refused"), std::string::npos) << Message();
  EXPECT_NE(Message().find("missing.mp3: cannot open"), std::string::npos) << Message();
  EXPECT_EQ(Files(tree.path() / "Rock"), std::vector<std::string>{"old.mp3"});
}

TEST_F(UploadSongsTest, BrokenTransferLeavesNoPartAndKeepsTheOldSong) {
  Serve({"--drop-stor-after", "200000"});
  prompts.AnswerYes(true);
  const std::string big(2 * 1024 * 1024, 'n');
  const auto result = Upload({local.write("new.mp3", big), local.write("old.mp3", big),
                              local.write("small.mp3", "fits")});
  // The loop goes on after each break, on a fresh connection when the old one went.
  EXPECT_EQ(Files(tree.path() / "Rock"), (std::vector<std::string>{"old.mp3", "small.mp3"}));
  EXPECT_TRUE(Served("old.mp3") == "the old song");
  ASSERT_EQ(result.failures.size(), 2u);
  EXPECT_EQ(result.failures[0].file, "new.mp3");
  EXPECT_EQ(result.failures[1].file, "old.mp3");
  EXPECT_NE(Message().find("old.mp3: store file"), std::string::npos) << Message();
  EXPECT_TRUE(result.uploaded);
}

TEST_F(UploadSongsTest, CancelEndsTheTransferRemovesThePartAndSkipsTheRest) {
  Serve();
  listener.cancelAfter = 1024 * 1024;
  const auto result = Upload({local.write("big.mp3", std::string(64 * 1024 * 1024, 'b')),
                              local.write("next.mp3", "n")});
  EXPECT_TRUE(result.cancelled);
  EXPECT_FALSE(result.uploaded);
  EXPECT_FALSE(changed);
  EXPECT_EQ(listener.counts, std::vector<std::string>{"1 of 2"});
  EXPECT_EQ(Files(tree.path() / "Rock"), std::vector<std::string>{"old.mp3"});
  EXPECT_TRUE(prompts.Shown().empty()) << Message();
  EXPECT_TRUE(client.Connected());
}

TEST_F(UploadSongsTest, CopyGoesThroughTemporaryFilesThatAreAlwaysRemoved) {
  tree.write("Pop/one.mp3", "song one");
  tree.write("Pop/old.mp3", "pop's old");
  Serve();
  TempDir temp;
  const ScopedEnv tmpdir("TMPDIR", temp.str());
  prompts.AnswerYes(true);
  TSongObj one, old, gone, here;
  one.Name = "one.mp3", old.Name = "old.mp3", gone.Name = "gone.mp3", here.Name = "old.mp3";
  one.ParentName = old.ParentName = gone.ParentName = "Pop";
  here.ParentName = "Rock";
  SongUploader uploader(client, prompts, InstallationId(context), &listener, &listener.cancel);
  const auto result = uploader.CopySongs(target, {&one, &old, &gone, &here});
  EXPECT_EQ(listener.counts, (std::vector<std::string>{"1 of 3", "2 of 3", "3 of 3"}));
  EXPECT_EQ(Served("one.mp3"), "song one");
  EXPECT_EQ(Served("old.mp3"), "pop's old");
  EXPECT_EQ(Files(tree.path() / "Rock"), (std::vector<std::string>{"old.mp3", "one.mp3"}));
  EXPECT_EQ(Files(tree.path() / "Pop"), (std::vector<std::string>{"old.mp3", "one.mp3"}));
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].file, "gone.mp3");
  EXPECT_TRUE(Files(temp.path()).empty());
}

}  // namespace
