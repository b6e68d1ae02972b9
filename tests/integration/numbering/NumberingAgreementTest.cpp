// The numbers on the bus must mean the same play list and song to the player as to the
// program: the stand-in numbers its folder, the program numbers the FTP server's listing of
// the same folder, and every number must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/AppContext.h"
#include "playlists/PlayListStore.h"
#include "playlists/ServerNames.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"

using namespace kestrel;

namespace {

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  pclose(pipe);
  return out;
}

// The program's side of a served tree: an FTP server on it and the store that lists it, in a
// context of its own.
struct ProgramSide {
  explicit ProgramSide(const test::TempDir& tree) : server(tree.str()) {
    settings.write("ftpServer.ini", "[ftpServer]\nIP=127.0.0.1\nPort=" + std::to_string(server.port()) +
                                        "\nUserName=kestrel\nPassword=secret\n");
  }
  test::RecordingPrompts prompts;
  test::TempDir settings;
  test::FtpTestServer server;
  AppContext context{settings.str(), &prompts};
  FtpClient client{context.RunState<FtpServerNotes>()};
  PlayListStore store{client, context};
};

}  // namespace

TEST(NumberingAgreement, StandInAndProgramGiveEveryPlayListAndSongTheSameNumber) {
  test::TempDir tree;
  namespace fs = std::filesystem;
  for (const char* file : {"Lobby Music/02  Two  Spaces.mp3", "Lobby Music/01 Intro.mp3", "Lobby Music/Ünïcödé.mp3",
                           "Lobby Music/a lower.mp3", "Lobby Music/Zed.mp3", "lobby music/case twin.mp3",
                           "Only Sub/inner/deep.mp3", "  leading blanks/x.mp3", "Café Ω/b.mp3", "Café Ω/a.mp3",
                           "Bar/10.mp3", "Bar/9.mp3", "Bar/.hidden.mp3", "stray.mp3"})
    tree.write(file, "0123456789");
  fs::create_directories(tree.path() / "Empty");
  fs::create_symlink("01 Intro.mp3", tree.path() / "Lobby Music" / "link.mp3");
  fs::create_symlink("Bar", tree.path() / "Bar link");

  ProgramSide side(tree);
  PlayListStore& store = side.store;
  ASSERT_EQ(store.ListPlayLists("").outcome, ListOutcome::Listed);

  // The program's numbers, written the way the stand-in prints its own.
  std::string lists, songs;
  for (int row = 0; row < store.Count(); ++row) {
    TPlayListObj& playList = *store.At(row);
    lists += "list\t" + std::to_string(playList.Seq) + "\t" + std::to_string(playList.SeqInVeltra) + "\t" +
             playList.Name + "\n";
    if (playList.SeqInVeltra == 0) continue;
    ASSERT_TRUE(store.LoadSongs(playList));
    for (const TSongObj* song : playList.VisibleSongs())
      songs += "song\t" + std::to_string(playList.SeqInVeltra) + "\t" + std::to_string(song->Seq) + "\t" +
               song->Name + "\n";
  }

  const std::string player = RunCommand(std::string("'") + KESTREL_PLAYER_PATH + "' --folder '" + tree.str() +
                                 "' --print-numbering");
  EXPECT_EQ(player, lists + songs);
  EXPECT_NE(lists.find("list\t2\t2\tBar\n"), std::string::npos) << lists;  // the tree is read at all
  EXPECT_TRUE(side.prompts.Shown().empty());
}

// Files and folders the program does not show (a name holding "\\", the unfinished upload of a
// transfer that still runs) keep their place in the numbering: a folder whose name holds "\\" is
// no play list to the program, but the player numbers it when it holds a file.
TEST(NumberingAgreement, FilesAndFoldersTheProgramDoesNotShowKeepTheirNumbers) {
  test::TempDir tree;
  char running[16];
  std::snprintf(running, sizeof running, "%08x", static_cast<unsigned>(getppid()));  // a process that runs
  const std::string unfinished = TransferName::New(0).replace(17, 8, running);
  for (const std::string& file : {std::string("Bar/1.mp3"), std::string("Bar/a\\b.mp3"), std::string("Bar/z.mp3"),
                                  "Bar/" + unfinished, std::string("Back\\slash/s.mp3"),
                                  std::string("Bare\\sub/inner/deep.mp3"), std::string("Lobby/x.mp3")})
    tree.write(file, "0123456789");
  ProgramSide side(tree);
  PlayListStore& store = side.store;
  ASSERT_EQ(store.ListPlayLists("").outcome, ListOutcome::Listed);
  std::string program;
  for (int row = 0; row < store.Count(); ++row) {
    TPlayListObj& playList = *store.At(row);
    program += "list\t" + std::to_string(playList.Seq) + "\t" + std::to_string(playList.SeqInVeltra) + "\t" +
               playList.Name + "\n";
  }
  for (int row = 0; row < store.Count(); ++row) {
    TPlayListObj& playList = *store.At(row);
    ASSERT_TRUE(store.LoadSongs(playList));
    for (const TSongObj* song : playList.VisibleSongs())
      program += "song\t" + std::to_string(playList.SeqInVeltra) + "\t" + std::to_string(song->Seq) + "\t" +
                 song->Name + "\n";
  }
  // "Back\\slash" is number 1, "Bare\\sub" holds no file of its own.
  EXPECT_EQ(program, "list\t1\t2\tBar\nlist\t2\t3\tLobby\nsong\t2\t1\t1.mp3\nsong\t2\t4\tz.mp3\nsong\t3\t1\tx.mp3\n");

  // The stand-in's numbers of the play lists and songs the program shows (a play list without a
  // row has Seq 0).
  std::istringstream player(RunCommand(std::string("'") + KESTREL_PLAYER_PATH + "' --folder '" + tree.str() +
                                       "' --print-numbering"));
  std::string shown;
  std::set<std::string> withoutRow;  // their device numbers
  for (std::string line; std::getline(player, line);) {
    std::vector<std::string> fields;
    for (std::size_t at = 0, tab; at <= line.size(); at = tab + 1) {
      tab = std::min(line.find('\t', at), line.size());
      fields.push_back(line.substr(at, tab - at));
    }
    ASSERT_EQ(fields.size(), 4u) << line;
    if (fields[0] == "list" && fields[1] == "0") {
      withoutRow.insert(fields[2]);
      continue;
    }
    if (fields[0] == "song" && (withoutRow.count(fields[1]) != 0 || fields[3].find('\\') != std::string::npos ||
                                TransferName::Is(fields[3])))
      continue;
    shown += line + "\n";
  }
  EXPECT_EQ(shown, program);
}
