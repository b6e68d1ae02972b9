// The play list and song views filled from a real FTP server.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "core/AppContext.h"
#include "core/SharedState.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "UiTestSupport.h"

using namespace kestrel;
using kestrel::ui::TMainFrm;

namespace {

class PlayListViews : public ::testing::Test {
 protected:
  void SetUp() override {
    // A, B (a sub-folder only) and C: device numbers 1, 0 and 2.
    tree.write("A/a1.mp3", "x");
    tree.write("A/a2.mp3", "x");
    tree.write("B/inner/deep.mp3", "x");
    for (int i = 1; i <= 6; ++i) tree.write("C/c" + std::to_string(i) + ".mp3", "x");
    server = std::make_unique<test::FtpTestServer>(tree.str());
    settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server->port()) +
                                        "\r\nUserName=kestrel\r\nPassword=secret\r\n");
    settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=1\r\n[Zone1]\r\nZoneName=Lobby\r\n"
                               "SubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n");
    frm = test::OpenMainWindow(context, /*ftp=*/true);
  }
  void TearDown() override { frm.reset(); }

  QStringList Rows(ui::TListView* view) const {
    QStringList rows;
    for (int r = 0; r < view->rowCount(); ++r) rows << view->CellText(r, 0) + " " + view->CellText(r, 1);
    return rows;
  }
  QString CurrentList() const { return frm->List("lvPlayList")->CellText(frm->List("lvPlayList")->SelectedRow(), 1); }

  test::RecordingPrompts prompts;
  test::TempDir tree, settings;
  AppContext context{settings.str(), &prompts};
  std::unique_ptr<test::FtpTestServer> server;
  std::unique_ptr<test::TestMainFrm> frm;
};

}  // namespace

TEST_F(PlayListViews, ListingShowsNumberedRowsAndReselectsByName) {
  frm->ListPlayLists("");
  EXPECT_EQ(Rows(frm->List("lvPlayList")), (QStringList{"1 A", "2 B", "3 C"}));
  EXPECT_EQ(CurrentList(), "A");
  EXPECT_EQ(frm->Label("lblCurList")->text(), "A");
  EXPECT_EQ(Rows(frm->List("lvSongList")), (QStringList{"1 a1.mp3", "2 a2.mp3"}));

  test::ClickCell(frm->List("lvPlayList"), 1, 1);
  EXPECT_EQ(frm->Label("lblCurList")->text(), "B");
  EXPECT_EQ(frm->List("lvSongList")->rowCount(), 0);  // only a sub-folder: no song

  frm->ListPlayLists("C");  // B, numbered 0, comes first and must not get in the way
  EXPECT_EQ(CurrentList(), "C");
  EXPECT_EQ(frm->List("lvSongList")->rowCount(), 6);
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(PlayListViews, ZoneClickShowsWhatTheZonePlays) {
  frm->ListPlayLists("");
  frm->Zones().SetZoneListNo(2);  // as reported over the bus: the second play list with songs
  frm->Zones().SetZoneSong("", 5);
  test::ClickCell(frm->List("lvPlayZones"), 0, 0);
  EXPECT_EQ(CurrentList(), "C");
  EXPECT_EQ(frm->List("lvSongList")->CellText(frm->List("lvSongList")->SelectedRow(), 1), "c5.mp3");
  EXPECT_EQ(frm->Label("lblSelectedSong")->text(), "c5.mp3");
  EXPECT_TRUE(frm->List("lvPlayZones")->hasFocus());

  // Toggling the zone's check box selects nothing.
  frm->List("lvPlayList")->SelectRow(0, true);
  test::ClickCheckBox(frm->List("lvPlayZones"), 0);
  EXPECT_EQ(frm->Label("lblZoneSelectedCount")->text(), "1");
  EXPECT_EQ(CurrentList(), "A");
}

TEST_F(PlayListViews, CheckMarksSurviveSwitchingAndAreCounted) {
  frm->ListPlayLists("");
  test::ClickCheckBox(frm->List("lvSongList"), 1);
  EXPECT_EQ(frm->Label("lblTotalCheckedSongs")->text(), "1");
  frm->PlayLists().SelectPlayList("C", 0, true);
  test::ClickCheckBox(frm->List("lvSongList"), 0);
  test::ClickCheckBox(frm->List("lvSongList"), 3);
  test::ClickCheckBox(frm->List("lvSongList"), 3);
  EXPECT_EQ(frm->Label("lblTotalCheckedSongs")->text(), "2");

  frm->PlayLists().SelectPlayList("A", 0, true);
  EXPECT_FALSE(frm->List("lvSongList")->IsChecked(0));
  EXPECT_TRUE(frm->List("lvSongList")->IsChecked(1));
  frm->UpdateActions();
  EXPECT_TRUE(frm->Button("btnSongDelete")->isEnabled());

  // The checked row is red on green.
  test::ProcessEvents();
  const QImage image = frm->List("lvSongList")->viewport()->grab().toImage();
  const QRect cell = frm->List("lvSongList")->visualRect(frm->List("lvSongList")->model()->index(1, 1));
  EXPECT_EQ(image.pixelColor(cell.center() + QPoint(cell.width() / 3, 0)), QColor(0, 128, 0));

  // A refresh makes new objects without marks; the count follows them.
  frm->Button("btnRefreshPL")->click();
  EXPECT_EQ(CurrentList(), "A");
  EXPECT_EQ(frm->Label("lblTotalCheckedSongs")->text(), "0");
  EXPECT_FALSE(frm->List("lvSongList")->IsChecked(1));
}

TEST_F(PlayListViews, NoServerSettingsEndsTheProgramWithTheMessage) {
  settings.write("ftpServer.ini", "");
  frm->ListPlayLists("");
  const auto shown = prompts.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].first, PromptKind::ErrorYes);
  EXPECT_EQ(shown[0].second,
            "Connect Fail!\r\n\r\n1.Be sure ftp-server is in service.\r\n\r\n2.Please check your settings!"
            "\r\n\r\nno FTP server address is set");
  EXPECT_TRUE(context.TerminationRequested());
  EXPECT_EQ(frm->List("lvPlayList")->rowCount(), 0);
}
