// Reading a play list's songs with the window in use: the program's session runs the reading
// off the window thread, against a real FTP server whose listing of "Slow" comes a second late.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/Session.h"
#include "core/AppContext.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "UiTestSupport.h"

using namespace kestrel;

namespace {

class SongReading : public ::testing::Test {
 protected:
  void SetUp() override {
    // Rows: 1 Jazz, 2 Rock, 3 Slow; device numbers the same.
    tree.write("Jazz/j1.mp3", "x");
    tree.write("Rock/r1.mp3", "x");
    tree.write("Slow/s1.mp3", "x");
    tree.write("Slow/s2.mp3", "x");
    server = std::make_unique<test::FtpTestServer>(tree.str(), std::vector<std::string>{"--delay-list", "Slow=1"});
    settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server->port()) +
                                        "\r\nUserName=kestrel\r\nPassword=secret\r\n");
    settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=1\r\n[Zone1]\r\nZoneName=Lobby\r\n"
                               "SubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n");
    // The window as the session makes it, with its runners; the bus is not opened.
    session = std::make_unique<app::TSession>(context, &prompts);
    frm().LoadZones();
    frm().AttachStore(ftp, store);
    store.AddListener(&found);
    frm().resize(1280, 800);
    frm().show();  // lists the play lists, and the first one's songs
    ASSERT_TRUE(test::WaitHandlingEvents([this] { return SongRows() == QStringList{"1 j1.mp3"}; }));
  }
  void TearDown() override {
    session.reset();
    store.RemoveListener(&found);
  }

  ui::TMainFrm& frm() { return session->Window(); }
  ui::TListView* List(const char* name) { return test::List(frm(), name); }
  QStringList SongRows() {
    QStringList rows;
    for (int r = 0; r < List("lvSongList")->rowCount(); ++r)
      rows << List("lvSongList")->CellText(r, 0) + " " + List("lvSongList")->CellText(r, 1);
    return rows;
  }
  bool Loading() { return test::Part<QWidget>(frm(), "pnlSongsLoading")->isVisible(); }
  // Refreshes the play lists in the background and returns once their rows are there again
  // while the songs are still being read (the server holds back the listing of "Slow"): the
  // first row is selected and waits for its songs. Nothing is read yet of the new objects.
  void RefreshUntilRowsComeBeforeSongs() {
    test::ClickCell(List("lvPlayList"), 0, 1);
    const int before = found.count;
    test::Button(frm(), "btnRefreshPL")->click();
    ASSERT_TRUE(test::WaitHandlingEvents([&] { return found.count > before; }));
    EXPECT_EQ(List("lvPlayList")->rowCount(), 3);
    EXPECT_FALSE(store.At(2)->GotSong);
    EXPECT_EQ(test::Label(frm(), "lblCurList")->text(), "Jazz");
  }
  // Does `select` on the window thread and returns when a timer due 50 ms later has fired:
  // how late it fired, in ms.
  qint64 TimerLatenessAround(const std::function<void()>& select) {
    QElapsedTimer clock;
    qint64 fired = -1;
    clock.start();
    QTimer::singleShot(50, [&] { fired = clock.elapsed(); });
    select();
    EXPECT_TRUE(test::WaitHandlingEvents([&] { return fired >= 0; }));
    return fired - 50;
  }

  test::RecordingPrompts prompts;
  test::TempDir tree, settings;
  AppContext context{settings.str(), &prompts};
  std::unique_ptr<test::FtpTestServer> server;
  FtpClient ftp{context.RunState<FtpServerNotes>()};
  PlayListStore store{ftp, context};
  // Counts the listings that have shown their rows (told on the window thread).
  struct FoundCounter : PlayListStoreListener {
    void PlayListsCleared() override {}
    void PlayListsFound(int) override { ++count; }
    void PlayListsListed(int) override {}
    int count = 0;
  } found;
  std::unique_ptr<app::TSession> session;
};

}  // namespace

TEST_F(SongReading, SelectingAPlayListNeverHoldsUpTheWindow) {
  struct Case {
    const char* how;
    std::function<void()> select;
    int selectedSong;  // row; -1: none
  };
  const Case cases[] = {
      {"a click on its row", [this] { test::ClickCell(List("lvPlayList"), 2, 1); }, -1},
      {"a click on a zone that plays its second song",
       [this] {
         session->Poll().PolledSubnetID = 1;
         session->Poll().PolledDeviceID = 20;
         frm().Zones().SetZoneListNo(3);
         frm().Zones().SetZoneSong("", 2);
         test::ClickCell(List("lvPlayZones"), 0, 0);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    RefreshUntilRowsComeBeforeSongs();
    EXPECT_LT(TimerLatenessAround(c.select), 150);
    // A row is shown waiting at once; a zone's play list is selected once its device number is
    // known, which comes with its songs.
    if (c.selectedSong == -1) {
      EXPECT_EQ(test::Label(frm(), "lblCurList")->text(), "Slow");
      EXPECT_TRUE(Loading());
      EXPECT_TRUE(SongRows().isEmpty());
      EXPECT_TRUE(test::Label(frm(), "lblSongsLoading")->text().contains("\"Slow\""));
    }
    ASSERT_TRUE(test::WaitHandlingEvents([this] { return !Loading() && SongRows().size() == 2; }));
    EXPECT_EQ(test::Label(frm(), "lblCurList")->text(), "Slow");
    EXPECT_EQ(SongRows(), (QStringList{"1 s1.mp3", "2 s2.mp3"}));
    EXPECT_EQ(List("lvSongList")->SelectedRow(), c.selectedSong);
  }
  EXPECT_TRUE(List("lvPlayZones")->hasFocus());  // where the zone click leaves it
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(SongReading, ThePlayListClickedLastIsShownNeverAStaleOne) {
  RefreshUntilRowsComeBeforeSongs();
  test::ClickCell(List("lvPlayList"), 2, 1);  // Slow
  ASSERT_TRUE(Loading());
  test::ClickCell(List("lvPlayList"), 1, 1);  // then Rock, not read yet either
  bool sawSlow = false;
  ASSERT_TRUE(test::WaitHandlingEvents([&] {
    sawSlow = sawSlow || SongRows().contains("1 s1.mp3");
    return !Loading() && SongRows() == QStringList{"1 r1.mp3"};
  }));
  EXPECT_FALSE(sawSlow);
  EXPECT_EQ(test::Label(frm(), "lblCurList")->text(), "Rock");
  // Slow was read all the same, and shows at once.
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return store.At(2)->GotSong; }));
  test::ClickCell(List("lvPlayList"), 2, 1);
  EXPECT_FALSE(Loading());
  EXPECT_EQ(SongRows(), (QStringList{"1 s1.mp3", "2 s2.mp3"}));
}

TEST_F(SongReading, CancelStopsWaitingAndSelectsNothing) {
  RefreshUntilRowsComeBeforeSongs();
  test::ClickCell(List("lvPlayList"), 2, 1);
  ASSERT_TRUE(Loading());
  test::ProcessEvents();  // the button shows as the user sees it
  QTest::mouseClick(test::Button(frm(), "btnCancelLoading"), Qt::LeftButton);
  EXPECT_FALSE(Loading());
  EXPECT_EQ(List("lvPlayList")->SelectedRow(), -1);
  EXPECT_EQ(test::Label(frm(), "lblCurList")->text(), "");
  EXPECT_TRUE(SongRows().isEmpty());
  // Selected again, it shows once read.
  test::ClickCell(List("lvPlayList"), 2, 1);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return !Loading(); }));
  EXPECT_EQ(SongRows(), (QStringList{"1 s1.mp3", "2 s2.mp3"}));
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(SongReading, AShownPlayListIsReadAgainBehindAndKeepsItsMarks) {
  // Rock's songs came with the listing; the user checks one, and another song reaches the player.
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return store.At(2)->GotSong; }));  // the listing ended
  test::ClickCell(List("lvPlayList"), 1, 1);
  test::ClickCheckBox(List("lvSongList"), 0);
  tree.write("Rock/r2.mp3", "x");
  // Each click shows what is in memory at once; a click after the songs got old reads them again.
  ASSERT_TRUE(test::WaitHandlingEvents([this] {
    test::ClickCell(List("lvPlayList"), 0, 1);
    test::ClickCell(List("lvPlayList"), 1, 1);
    EXPECT_FALSE(Loading());
    return SongRows().size() == 2;
  }));
  EXPECT_EQ(SongRows(), (QStringList{"1 r1.mp3", "2 r2.mp3"}));
  EXPECT_TRUE(List("lvSongList")->IsChecked(0));
  EXPECT_FALSE(List("lvSongList")->IsChecked(1));
  EXPECT_EQ(test::Label(frm(), "lblTotalCheckedSongs")->text(), "1");
  EXPECT_TRUE(prompts.Shown().empty());
}
