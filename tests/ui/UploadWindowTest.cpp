// Songs added from the main window (the file dialog and drops) with the progress window, run off
// the window thread as the session runs them, and cancelled with the window's button. The songs
// are real MP3 files, made here with lame from a noise WAV written by the test; the upload
// checks every file before it is sent.
#include <Poco/Process.h>
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/AppContext.h"
#include "core/SharedState.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "ui/UnitProgressBar.h"
#include "ui/UnitServerList.h"
#include "playlists/UploadLoudnessSetting.h"
#include "UiTestSupport.h"

using namespace kestrel;
using kestrel::ui::TMainFrm;
namespace fs = std::filesystem;

namespace {

// A 44.1 kHz 16-bit stereo WAV of `seconds` of white noise peaking at `amplitude` of full scale.
std::string NoiseWav(int seconds, double amplitude) {
  const std::uint32_t frames = 44100u * static_cast<std::uint32_t>(seconds), bytes = frames * 4;
  std::string wav;
  const auto put = [&wav](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) wav.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  };
  wav += "RIFF";
  put(36 + bytes, 4);
  wav += "WAVEfmt ";
  put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2);
  wav += "data";
  put(bytes, 4);
  std::uint32_t seed = 12345;
  for (std::uint32_t i = 0; i < frames * 2; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double unit = static_cast<double>(seed >> 8) / (1u << 24) * 2 - 1;
    put(static_cast<std::uint16_t>(static_cast<std::int16_t>(unit * amplitude * 32767)), 2);
  }
  return wav;
}

class UploadWindow : public ::testing::Test {
 protected:
  // Made once for all tests: a quiet noise WAV and an MP3 of it.
  static void SetUpTestSuite() {
    songs_ = new test::TempDir("kestrel-ui-songs-");
    const std::string wav = songs_->write("short.wav", NoiseWav(2, 0.03));
    Poco::ProcessHandle lame = Poco::Process::launch("/usr/bin/lame", {"--quiet", "-b", "128", wav, songs_->file("short.mp3")});
    ASSERT_EQ(lame.wait(), 0) << "lame failed";
  }
  static void TearDownTestSuite() {
    delete songs_;
    songs_ = nullptr;
  }
  // The bytes of a made file ("short.mp3", "short.wav").
  static std::string Song(const std::string& name) { return test::TempDir::ReadFile(songs_->file(name)); }

  void SetUp() override {
    tree.write("Rock/old.mp3", Song("short.mp3"));
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

  static test::TempDir* songs_;
  test::RecordingPrompts prompts;
  test::TempDir tree, settings, local;
  AppContext context{settings.str(), &prompts};
  std::unique_ptr<test::FtpTestServer> server;
  std::unique_ptr<test::TestMainFrm> frm;
};

test::TempDir* UploadWindow::songs_ = nullptr;

// Writes at `path` a song led by an ID3v2 tag of `tagBytes` (its padding a hole in the file, as
// large pictures would fill it): a file that is checked at once and takes a while to send.
void WriteSongWithLargeTag(const std::string& path, const std::string& song, std::uint32_t tagBytes) {
  std::ofstream out(path, std::ios::binary);
  out << "ID3" << '\3' << '\0' << '\0';
  for (int shift : {21, 14, 7, 0}) out << static_cast<char>((tagBytes >> shift) & 0x7f);
  out.seekp(10 + static_cast<std::streamoff>(tagBytes));
  out << song;
}

}  // namespace

TEST_F(UploadWindow, DialogAndDropsUploadIntoTheSelectedPlayList) {
  const std::string picked = local.write("picked.mp3", Song("short.mp3"));
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

  // Any song is taken whatever its name, a folder is skipped.
  fs::create_directories(local.path() / "folder");
  Drop({local.write("notes.txt", Song("short.mp3")), local.file("folder"), local.write("dropped.mp3", Song("short.mp3"))});
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
  Drop({local.write("late.mp3", Song("short.mp3"))});
  EXPECT_EQ(server->Commands().size(), commands);
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(UploadWindow, CancelStopsTheTransferAndTheRowsAreReadAgain) {
  settings.write("Kestrel.ini", "[Upload]\r\nConnections=1\r\n");  // the songs one after the other
  const std::string big = local.file("big.mp3");
  WriteSongWithLargeTag(big, Song("short.mp3"), 200u << 20);
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
  Drop({big, local.write("next.mp3", Song("short.mp3"))});
  EXPECT_TRUE(sawSpeed);
  EXPECT_EQ(Progress().lblCount->text(), "1 of 2");
  EXPECT_EQ(SongRows(), "old.mp3");
  std::vector<std::string> served;
  for (const auto& e : fs::directory_iterator(tree.path() / "Rock")) served.push_back(e.path().filename().string());
  EXPECT_EQ(served, std::vector<std::string>{"old.mp3"});
  for (const auto& [kind, text] : prompts.Shown()) ADD_FAILURE() << text;
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

// With "Even Out Loudness" checked (and kept for the next start), a drop of a WAV named .mp3 and
// a quiet song: the WAV stays here and is named with the files not stored, the song is stored
// louder in a copy of its size, and the summary says by how much.
TEST_F(UploadWindow, EvenOutLoudnessIsKeptAndTheSummaryNamesTheChange) {
  QAction* normalize = frm->Action("acNormalize");
  EXPECT_FALSE(normalize->isChecked());
  normalize->trigger();
  EXPECT_TRUE(test::OpenMainWindow(context)->Action("acNormalize")->isChecked());

  const std::string song = Song("short.mp3");
  Drop({local.write("wav.mp3", Song("short.wav")), local.write("quiet.mp3", song)});
  const auto shown = prompts.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, PromptKind::ErrorOk);
  EXPECT_NE(shown[0].second.find("wav.mp3"), std::string::npos) << shown[0].second;
  EXPECT_EQ(shown[1].first, PromptKind::InfoOk);
  EXPECT_NE(shown[1].second.find("quiet.mp3: +"), std::string::npos) << shown[1].second;
  EXPECT_NE(shown[1].second.find(" dB"), std::string::npos) << shown[1].second;
  EXPECT_EQ(shown[1].second.find("wav.mp3"), std::string::npos) << shown[1].second;
  EXPECT_EQ(SongRows(), "old.mp3,quiet.mp3");
  const std::string stored = tree.read("Rock/quiet.mp3");
  EXPECT_EQ(stored.size(), song.size());
  EXPECT_NE(stored, song);
  EXPECT_EQ(local.read("quiet.mp3"), song);
}

// What the settings file holds, hand-edited or not: a target outside the range or not a number
// gives the default; writing keeps the file's other keys.
TEST(UploadLoudnessSetting, ReadsWhatIsKeptAndWritesItBack) {
  const struct {
    const char* ini;
    bool normalize;
    double target;
  } cases[] = {{"", false, -18},
               {"[upload]\r\nnormalize=1\r\ntargetlufs=-16.5\r\n", true, -16.5},
               {"[Upload]\r\nNormalize=yes\r\nTargetLufs=-41\r\n", false, -18},
               {"[Upload]\r\nNormalize=1\r\nTargetLufs=-20 LUFS\r\n", true, -18}};
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string file = dir.write("Kestrel.ini", c.ini);
    const UploadLoudnessSetting read = ReadUploadLoudness(file);
    EXPECT_EQ(read.normalize, c.normalize) << c.ini;
    EXPECT_EQ(read.targetLufs, c.target) << c.ini;
  }
  const std::string file = dir.write("Kestrel.ini", "[Upload]\r\nConnections=5\r\n");
  std::string error;
  ASSERT_TRUE(WriteUploadLoudness(file, {true, -23.5}, error)) << error;
  const UploadLoudnessSetting read = ReadUploadLoudness(file);
  EXPECT_TRUE(read.normalize);
  EXPECT_EQ(read.targetLufs, -23.5);
  EXPECT_EQ(UploadConnectionsSetting(file), 5);
}
