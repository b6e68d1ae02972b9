// Songs added from the main window (the file dialog and drops) with the progress window, run off
// the window thread as the session runs them, and cancelled with the window's button.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/AppSettings.h"
#include "core/SharedState.h"
#include "core/Termination.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "ui/UnitProgressBar.h"
#include "UiTestSupport.h"

using namespace kestrel;
using kestrel::ui::TMainFrm;
namespace fs = std::filesystem;

namespace {

class UploadWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSharedState();
    ClearTerminationRequest();
    tree.write("Rock/old.mp3", "x");
    server = std::make_unique<test::FtpTestServer>(tree.str());
    SetSettingsDir(settings.str());
    settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server->port()) +
                                        "\r\nUserName=kestrel\r\nPassword=secret\r\n");
    settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=0\r\n");
    frm = test::OpenMainWindow(/*ftp=*/true);
    // As the session does: the operation runs on a thread of its own.
    frm->SetOperationRunner([this](const std::function<void()>& op) { worker = std::thread(op); });
    frm->ListPlayLists("Rock");
  }
  void TearDown() override {
    if (worker.joinable()) worker.join();
    frm.reset();
    SetSettingsDir("");
  }

  // Waits, handling events, until the upload has ended and the window is usable again.
  bool WaitForEnd() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!frm->isEnabled() && std::chrono::steady_clock::now() < deadline)
      test::ProcessEvents(5);
    if (worker.joinable()) worker.join();
    test::ProcessEvents();
    return frm->isEnabled();
  }
  std::string SongRows() const {
    QStringList rows;
    for (int r = 0; r < frm->lvSongList->rowCount(); ++r) rows << frm->lvSongList->CellText(r, 1);
    rows.sort();  // in the server's listing order, which is not ours to fix
    return rows.join(",").toStdString();
  }
  ui::TUnitProgressBarFrm& Progress() { return *frm->UnitProgressBarFrm(); }

  test::RecordingPrompts prompts;
  test::TempDir tree, settings, local;
  std::unique_ptr<test::FtpTestServer> server;
  std::unique_ptr<TMainFrm> frm;
  std::thread worker;
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
  frm->acAddSong->trigger();
  EXPECT_FALSE(frm->isEnabled());
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(SongRows(), "old.mp3,picked.mp3");

  // Any file is taken, a folder is skipped.
  fs::create_directories(local.path() / "folder");
  frm->DropFiles({QUrl::fromLocalFile(QString::fromStdString(local.write("notes.txt", "t"))),
                  QUrl::fromLocalFile(QString::fromStdString(local.file("folder"))),
                  QUrl::fromLocalFile(QString::fromStdString(local.write("dropped.mp3", "d")))});
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Progress().lblCount->text(), "2 of 2");
  EXPECT_EQ(Progress().gWholeProgress->value(), 2);
  // The last figures of a transfer always arrive, however the updates are thinned out.
  EXPECT_EQ(Progress().gCurrentProgress->value(), Progress().gCurrentProgress->maximum());
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_EQ(SongRows(), "dropped.mp3,notes.txt,old.mp3,picked.mp3");
  EXPECT_TRUE(PlayListsChanged);

  // With no play list selected a drop does nothing.
  frm->lvPlayList->clearSelection();
  const auto commands = server->Commands().size();
  frm->DropFiles({QUrl::fromLocalFile(QString::fromStdString(local.write("late.mp3", "l")))});
  EXPECT_TRUE(frm->isEnabled());
  EXPECT_EQ(server->Commands().size(), commands);
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(UploadWindow, CancelStopsTheTransferAndTheRowsAreReadAgain) {
  const std::string big = local.file("big.mp3");
  fs::resize_file(local.write("big.mp3", ""), 256LL * 1024 * 1024);
  frm->DropFiles({QUrl::fromLocalFile(QString::fromStdString(big)),
                  QUrl::fromLocalFile(QString::fromStdString(local.write("next.mp3", "n")))});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!(Progress().isVisible() && Progress().gCurrentProgress->value() > 0) &&
         std::chrono::steady_clock::now() < deadline)
    test::ProcessEvents(5);
  ASSERT_TRUE(Progress().btnCancel->isVisible());
  EXPECT_TRUE(Progress().lblSpeed->text().endsWith(" KB/s")) << Progress().lblSpeed->text().toStdString();
  QTest::mouseClick(Progress().btnCancel, Qt::LeftButton);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Progress().lblCount->text(), "1 of 2");
  EXPECT_EQ(SongRows(), "old.mp3");
  std::vector<std::string> served;
  for (const auto& e : fs::directory_iterator(tree.path() / "Rock")) served.push_back(e.path().filename().string());
  EXPECT_EQ(served, std::vector<std::string>{"old.mp3"});
  EXPECT_TRUE(prompts.Shown().empty());
}
