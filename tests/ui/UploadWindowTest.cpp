// Songs added from the main window (the file dialog and drops) with the progress window, run off
// the window thread as the session runs them, and cancelled with the window's button.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/AppContext.h"
#include "core/SharedState.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "ui/UnitProgressBar.h"
#include "ui/UnitServerList.h"
#include "UiTestSupport.h"

using namespace kestrel;
using kestrel::ui::TMainFrm;
namespace fs = std::filesystem;

namespace {

class UploadWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.write("Rock/old.mp3", "x");
    server = std::make_unique<test::FtpTestServer>(tree.str());
    settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server->port()) +
                                        "\r\nUserName=kestrel\r\nPassword=secret\r\n");
    settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=0\r\n");
    frm = test::OpenMainWindow(context, /*ftp=*/true);
    frm->AcceptFileDrops();
    // As the session does: the operation runs on a thread of its own while the window, disabled,
    // goes on handling events; the call returns when the operation has ended.
    frm->SetOperationRunner([this](const std::function<void()>& op) {
      frm->setEnabled(false);
      std::atomic<bool> done{false};
      std::thread worker([&] { op(); done = true; });
      while (!done) test::ProcessEvents(5);
      worker.join();
      test::ProcessEvents();
      frm->setEnabled(true);
    });
    frm->ListPlayLists("Rock");
  }
  void TearDown() override { frm.reset(); }

  std::string SongRows() const {
    QStringList rows;
    for (int r = 0; r < frm->List("lvSongList")->rowCount(); ++r) rows << frm->List("lvSongList")->CellText(r, 1);
    rows.sort();  // in the server's listing order, which is not ours to fix
    return rows.join(",").toStdString();
  }
  ui::TUnitProgressBarFrm& Progress() { return *frm->Uploads().UnitProgressBarFrm(); }
  // A drop on the song list, as a file manager makes it.
  void Drop(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    QMimeData data;
    data.setUrls(urls);
    QWidget* viewport = frm->List("lvSongList")->viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    test::ProcessEvents();  // the upload starts once the drop is over
  }

  test::RecordingPrompts prompts;
  test::TempDir tree, settings, local;
  AppContext context{settings.str(), &prompts};
  std::unique_ptr<test::FtpTestServer> server;
  std::unique_ptr<test::TestMainFrm> frm;
};

}  // namespace

TEST_F(UploadWindow, DialogAndDropsUploadIntoTheSelectedPlayList) {
  const std::string picked = local.write("picked.mp3", "p");
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"mp3 (*.mp3)"});
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    dialog->selectFile(QString::fromStdString(picked));
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  frm->UpdateActions();
  frm->Action("acAddSong")->trigger();
  EXPECT_EQ(SongRows(), "old.mp3,picked.mp3");

  // Any file is taken, a folder is skipped.
  fs::create_directories(local.path() / "folder");
  Drop({local.write("notes.txt", "t"), local.file("folder"), local.write("dropped.mp3", "d")});
  EXPECT_EQ(Progress().lblCount->text(), "2 of 2");
  EXPECT_EQ(Progress().gWholeProgress->value(), 2);
  // The last figures of a transfer always arrive, however the updates are thinned out.
  EXPECT_EQ(Progress().gCurrentProgress->value(), Progress().gCurrentProgress->maximum());
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_EQ(SongRows(), "dropped.mp3,notes.txt,old.mp3,picked.mp3");
  EXPECT_TRUE(frm->State().PlayListsChanged);

  // With no play list selected a drop does nothing.
  frm->List("lvPlayList")->clearSelection();
  const auto commands = server->Commands().size();
  Drop({local.write("late.mp3", "l")});
  EXPECT_EQ(server->Commands().size(), commands);
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(UploadWindow, CancelStopsTheTransferAndTheRowsAreReadAgain) {
  const std::string big = local.file("big.mp3");
  fs::resize_file(local.write("big.mp3", ""), 256LL * 1024 * 1024);
  // While the transfer runs: the window shows, with the speed, and its Cancel button is pressed.
  bool sawSpeed = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!Progress().isVisible() || Progress().gCurrentProgress->value() == 0) return;
    watch.stop();
    sawSpeed = Progress().lblSpeed->text().endsWith(" KB/s");
    QTest::mouseClick(Progress().btnCancel, Qt::LeftButton);
  });
  watch.start(5);
  Drop({big, local.write("next.mp3", "n")});
  EXPECT_TRUE(sawSpeed);
  EXPECT_EQ(Progress().lblCount->text(), "1 of 2");
  EXPECT_EQ(SongRows(), "old.mp3");
  std::vector<std::string> served;
  for (const auto& e : fs::directory_iterator(tree.path() / "Rock")) served.push_back(e.path().filename().string());
  EXPECT_EQ(served, std::vector<std::string>{"old.mp3"});
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(UploadWindow, CopyToCopiesTheCheckedSongsIntoThePickedPlayList) {
  tree.write("Pop/old.mp3", "pop's old");
  tree.write("Pop/new.mp3", "new");
  frm->ListPlayLists("Pop");
  for (int row = 0; row < frm->List("lvSongList")->rowCount(); ++row) test::ClickCheckBox(frm->List("lvSongList"), row);
  frm->UpdateActions();
  ASSERT_TRUE(frm->Button("btnCopyTo")->isVisible());
  prompts.AnswerYes(true);
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<ui::TfrmServerList*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    for (int row = 0; row < chooser->lvPlayList->rowCount(); ++row)
      if (chooser->lvPlayList->CellText(row, 1) == "Rock") chooser->lvPlayList->SelectRow(row, true);
    chooser->btnOK->click();
  });
  frm->Button("btnCopyTo")->click();
  EXPECT_EQ(prompts.Asked(), std::vector<std::string>{"\"old.mp3\" exists. Replace it?"});
  EXPECT_EQ(test::TempDir::ReadFile((tree.path() / "Rock/old.mp3").string()), "pop's old");
  EXPECT_EQ(test::TempDir::ReadFile((tree.path() / "Rock/new.mp3").string()), "new");
  EXPECT_TRUE(fs::exists(tree.path() / "Pop/old.mp3"));
  EXPECT_EQ(frm->Label("lblCurList")->text(), "Pop");
  EXPECT_TRUE(frm->State().PlayListsChanged);
  EXPECT_TRUE(prompts.Shown().empty());
}
