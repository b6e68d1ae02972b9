#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QGroupBox>
#include <QMimeData>
#include <QUrl>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <thread>

#include "core/AppContext.h"
#include "core/mPublicFunction.h"
#include "core/SharedState.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "UiTestSupport.h"

using namespace kestrel;
using kestrel::ui::TMainFrm;

namespace {

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("Zone.ini",
              "[TotalZones]\r\nTotalZones=3\r\n"
              "[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n"
              "[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=21\r\n"
              "[Zone3]\r\nZoneName=Lobby Annex\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n");
    frm = test::OpenMainWindow(context);
  }
  void TearDown() override { frm.reset(); }
  QString Count() const { return frm->Label("lblZoneSelectedCount")->text(); }

  test::TempDir dir;
  AppContext context{dir.str()};
  std::unique_ptr<test::TestMainFrm> frm;
};

}  // namespace

TEST_F(MainWindow, LayoutTextsAndHiddenControls) {
  EXPECT_EQ(frm->List("lvPlayZones")->rowCount(), 3);
  EXPECT_EQ(frm->List("lvPlayZones")->horizontalHeaderItem(1)->text(), "Play Status");
  EXPECT_EQ(frm->List("lvPlayZones")->columnWidth(0), 150);
  EXPECT_EQ(frm->List("lvSongList")->columnWidth(1), 500);
  EXPECT_EQ(frm->Button("btnPreAll")->text(), "PREV Song");
  EXPECT_EQ(frm->Button("btnUpdateList")->text(), "Update Play List");
  EXPECT_EQ(frm->Part<QGroupBox>("grpZoneOperations")->title(), "Zone Control");
  EXPECT_FALSE(frm->Button("btnUpdateList")->isVisible());
  EXPECT_FALSE(frm->Button("btnPlaySelected")->isVisible());
  EXPECT_TRUE(frm->Button("btnCopyTo")->isVisible());  // copying works, so it is shown
  EXPECT_EQ(frm->Part<QSlider>("tkBarVol")->maximum(), 79);
  EXPECT_EQ(Count(), "0");
  EXPECT_EQ(frm->Label("lblCurList")->text(), "");

  // Column limits hold when the user drags a column.
  frm->List("lvSongList")->setColumnWidth(0, 10);
  EXPECT_EQ(frm->List("lvSongList")->columnWidth(0), 31);
  frm->List("lvPlayList")->setColumnWidth(1, 5000);
  EXPECT_EQ(frm->List("lvPlayList")->columnWidth(1), 1000);

  // Anchors: the zone list grows with the window, the play mode button keeps to the right.
  const QGroupBox* group = frm->Part<QGroupBox>("grpZoneOperations");
  const QPushButton* mode = frm->Button("btnPlayModeAll");
  const int listWidth = frm->List("lvPlayZones")->width();
  const int modeRight = group->width() - mode->geometry().right();
  frm->resize(1600, 900);
  test::ProcessEvents();
  EXPECT_EQ(frm->List("lvPlayZones")->width(), listWidth + 320);
  EXPECT_EQ(group->width() - mode->geometry().right(), modeRight);

  // Ctrl+Alt+Shift+L toggles the hidden button; fewer modifiers do nothing.
  QTest::keyClick(frm->List("lvPlayZones"), Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(frm->Button("btnUpdateList")->isVisible());
  QTest::keyClick(frm->List("lvPlayZones"), Qt::Key_L, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
  EXPECT_TRUE(frm->Button("btnUpdateList")->isVisible());
  QTest::keyClick(frm->List("lvPlayZones"), Qt::Key_L, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
  EXPECT_FALSE(frm->Button("btnUpdateList")->isVisible());
}

TEST_F(MainWindow, EnablingRulesFollowChecksAndSelection) {
  std::vector<QWidget*> zoneControls;
  for (const char* name : {"btnPreAll", "btnNextAll", "btnPlayAll", "btnStopAll", "btnMute", "btnPlayModeAll", "tkBarVol"})
    zoneControls.push_back(frm->Part<QWidget>(name));
  frm->UpdateActions();
  for (QWidget* w : zoneControls)
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_FALSE(frm->Button("btnListEdit")->isEnabled());
  EXPECT_FALSE(frm->Button("btnListDelete")->isEnabled());
  EXPECT_FALSE(frm->Button("btnSongAdd")->isEnabled());
  EXPECT_FALSE(frm->Button("btnSongDelete")->isEnabled());
  EXPECT_FALSE(frm->Button("btnMoveto")->isEnabled());
  EXPECT_TRUE(frm->Button("btnListAdd")->isEnabled());
  EXPECT_TRUE(frm->Button("btnRefreshPL")->isEnabled());

  test::ClickCheckBox(frm->List("lvPlayZones"), 1);
  test::ProcessEvents();  // the idle hook runs the update handlers
  for (QWidget* w : zoneControls)
    EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(frm->Action("acListCycle")->isEnabled());
  EXPECT_FALSE(frm->Action("acPlaySelectedSong")->isEnabled());

  frm->List("lvPlayList")->AddRow({"1", "Lobby Music"});
  frm->List("lvPlayList")->SelectRow(0, true);
  frm->List("lvSongList")->AddRow({"1", "01 Intro.mp3"});
  frm->UpdateActions();
  EXPECT_TRUE(frm->Button("btnListEdit")->isEnabled());
  EXPECT_TRUE(frm->Button("btnListDelete")->isEnabled());
  EXPECT_TRUE(frm->Button("btnSongAdd")->isEnabled());
  EXPECT_FALSE(frm->Button("btnSongDelete")->isEnabled());
  frm->List("lvSongList")->SetChecked(0, true);
  frm->List("lvSongList")->SelectRow(0, true);
  frm->UpdateActions();
  EXPECT_TRUE(frm->Button("btnSongDelete")->isEnabled());
  EXPECT_TRUE(frm->Button("btnMoveto")->isEnabled());
  EXPECT_TRUE(frm->Action("acPlaySelectedSong")->isEnabled());
}

TEST_F(MainWindow, CheckedZonesAreCountedAndDrawnWhiteOnBlue) {
  test::ClickCheckBox(frm->List("lvPlayZones"), 0);
  test::ClickCheckBox(frm->List("lvPlayZones"), 2);
  EXPECT_EQ(Count(), "2");
  test::ClickCheckBox(frm->List("lvPlayZones"), 0);
  EXPECT_EQ(Count(), "1");
  test::ClickCell(frm->List("lvPlayZones"), 1, 1);  // a selection change counts nothing
  EXPECT_EQ(Count(), "1");
  EXPECT_EQ(frm->List("lvPlayZones")->SelectedRow(), 1);
  EXPECT_TRUE(frm->Zones().Snapshot(2).Checked);

  // The checked, unselected row is white on blue in its status column.
  test::ProcessEvents();
  const QImage image = frm->List("lvPlayZones")->viewport()->grab().toImage();
  const QRect cell = frm->List("lvPlayZones")->visualRect(frm->List("lvPlayZones")->model()->index(2, 1));
  EXPECT_EQ(image.pixelColor(cell.center()), QColor(0, 0, 255));
  const QRect unchecked = frm->List("lvPlayZones")->visualRect(frm->List("lvPlayZones")->model()->index(0, 1));
  EXPECT_NE(image.pixelColor(unchecked.center()), QColor(0, 0, 255));
}

TEST_F(MainWindow, StatusTextsFromAnotherThreadReachTheFirstRowOfTheAddress) {
  // Reports arrive on the receive thread; the rows change on the window thread.
  std::thread receiver([this] {
    auto& zones = frm->Zones();
    zones.SetZoneVolume(60);
    zones.SetZonePlayMode(2);
  });
  receiver.join();
  test::ProcessEvents();
  EXPECT_EQ(frm->List("lvPlayZones")->CellText(0, 1), "Volume: 76%.  Play Mode: Repeat One");
  EXPECT_EQ(frm->List("lvPlayZones")->CellText(1, 1), "");
  EXPECT_EQ(frm->List("lvPlayZones")->CellText(2, 1), "");  // same address, lower row: never updated
}

TEST_F(MainWindow, PlayModeMenuOpensBelowItsButton) {
  test::ClickCheckBox(frm->List("lvPlayZones"), 0);
  test::ProcessEvents();
  QMenu* menu = frm->Part<QMenu>("pmPlayMode");
  QPushButton* button = frm->Button("btnPlayModeAll");
  QStringList captions;
  for (QAction* a : menu->actions()) captions << a->text();
  EXPECT_EQ(captions, (QStringList{"Play One", "Repeat One", "Continued", "Repeat All"}));
  QTest::mouseClick(button, Qt::LeftButton);
  test::ProcessEvents();
  ASSERT_TRUE(menu->isVisible());
  EXPECT_EQ(menu->pos(), button->mapToGlobal(QPoint(0, button->height())));
  menu->hide();
}

TEST(MainWindowZones, BadZoneFileKeepsTheZonesBeforeTheFault) {
  test::TempDir dir;
  AppContext context(dir.str());
  dir.write("Zone.ini",
            "[TotalZones]\nTotalZones=2\n[Zone1]\nZoneName=Lobby\nSubnetIDOfVeltra=3\nDeviceIDOfVeltra=20\n"
            "[Zone2]\nZoneName=Bar\nSubnetIDOfVeltra=1\nDeviceIDOfVeltra=x\n");
  test::TestMainFrm frm(context);
  EXPECT_THROW(frm.LoadZones(), EConvertError);
  EXPECT_EQ(frm.List("lvPlayZones")->rowCount(), 1);
  EXPECT_EQ(frm.Zones().SubnetID(0), 3);
}

TEST_F(MainWindow, FilesDroppedOnTheSongListReachTheDropHandler) {
  EXPECT_FALSE(frm->List("lvSongList")->viewport()->acceptDrops());
  std::vector<std::string> dropped;
  frm->Uploads().SetDropHandler([&](const std::vector<std::string>& paths) { dropped = paths; });
  frm->AcceptFileDrops();
  ASSERT_TRUE(frm->List("lvSongList")->viewport()->acceptDrops());
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/music/a b.mp3"), QUrl("http://example.invalid/x.mp3"),
                QUrl::fromLocalFile("/music/c.mp3")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frm->List("lvSongList")->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frm->List("lvSongList")->viewport(), &drop);
  EXPECT_EQ(dropped, (std::vector<std::string>{"/music/a b.mp3", "/music/c.mp3"}));
}
