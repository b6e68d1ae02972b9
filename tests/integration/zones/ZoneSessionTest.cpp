// The running program against the player stand-in: polling, commands, reloads with the
// progress window, and closing, with the session, its threads and the window as a user has
// them (Qt's offscreen platform). Run by run_zone_test.sh inside network namespaces.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <regex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/Session.h"
#include "core/AppContext.h"
#include "core/mGetLocalIP.h"
#include "support/FtpTestServer.h"
#include "support/PrivateNetns.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "ui/UnitSinglePgBar.h"
#include "../../ui/UiTestSupport.h"

using namespace kestrel;
using app::TSession;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// The stand-in's log from a given point on: one line per frame it took ("1:21 NEXT: ...").
class PlayerLog {
 public:
  PlayerLog() : path_(Env("KESTREL_PLAYER_LOG")), start_(test::TempDir::ReadFile(path_).size()) {}
  std::vector<std::string> Lines(const std::string& pattern = "") const {
    std::istringstream in(test::TempDir::ReadFile(path_).substr(start_));
    std::vector<std::string> lines;
    const std::regex re(pattern);
    for (std::string line; std::getline(in, line);)
      if (std::regex_search(line, re)) lines.push_back(line);
    return lines;
  }
  void Skip() { start_ = test::TempDir::ReadFile(path_).size(); }

 private:
  std::string path_;
  std::size_t start_;
};

class ZoneSession : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<test::FtpTestServer>(Env("KESTREL_PLAY_FOLDER"));
    settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=3\r\n"
                               "[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n"
                               "[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=21\r\n"
                               "[Zone3]\r\nZoneName=Spa\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=22\r\n");
    settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server->port()) +
                                        "\r\nUserName=kestrel\r\nPassword=secret\r\n");
  }
  void TearDown() override { session.reset(); }

  // Starts the program as its entry does and waits until the play lists are listed and the
  // first one's songs are shown.
  void Open(Prompts* with) {
    session = std::make_unique<TSession>(context, with);
    ASSERT_TRUE(session->Start());
    frm().resize(1280, 800);
    frm().show();
    ASSERT_TRUE(test::WaitHandlingEvents([this] {
      return test::List(frm(), "lvPlayList")->rowCount() == 2 && test::List(frm(), "lvSongList")->rowCount() > 0 &&
             frm().isEnabled();
    }));
  }
  ui::TMainFrm& frm() { return session->Window(); }
  QString Status(int row) { return test::List(frm(), "lvPlayZones")->CellText(row, 1); }
  void Check(int row) {
    test::ClickCheckBox(test::List(frm(), "lvPlayZones"), row);
    frm().UpdateActions();
  }
  // Closes the window as the user does; returns how long the close took.
  qint64 Close() {
    QElapsedTimer t;
    t.start();
    frm().close();
    return t.elapsed();
  }

  test::RecordingPrompts prompts;
  test::TempDir settings;
  AppContext context{settings.str()};
  std::unique_ptr<test::FtpTestServer> server;
  std::unique_ptr<TSession> session;
  PlayerLog log;
};

using SilentReload = ZoneSession;
using StartAndClose = ZoneSession;

}  // namespace

TEST_F(ZoneSession, EveryZoneIsPolledEveryThreeSecondsInRowOrder) {
  Open(&prompts);
  log.Skip();
  // When each status query showed up: the same zone comes round again after about 3 s.
  std::vector<qint64> seen;
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(test::WaitHandlingEvents([&] {
    const std::size_t n = log.Lines("STATUS\\?").size();
    while (seen.size() < n) seen.push_back(clock.elapsed());
    return n >= 7;
  }, 10000));
  for (std::size_t i = 3; i < seen.size(); ++i) {
    EXPECT_GT(seen[i] - seen[i - 3], 2000);
    EXPECT_LT(seen[i] - seen[i - 3], 4500);
  }
  const auto polls = log.Lines("^1:2[0-2] (STATUS|PLAYMODE)\\?");
  // Each zone: the status query, then the play mode query; zones in turn.
  std::string previous;
  for (std::size_t i = 0; i + 1 < polls.size(); i += 2) {
    const std::string zone = polls[i].substr(0, 4);
    EXPECT_EQ(polls[i].substr(5, 8), "STATUS?:") << polls[i];
    EXPECT_EQ(polls[i + 1].substr(0, 14), zone + " PLAYMODE?") << polls[i + 1];
    if (!previous.empty()) {
      EXPECT_EQ(zone.back(), previous.back() == '2' ? '0' : previous.back() + 1);
    }
    previous = zone;
  }
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(Status(row).contains("Play Mode:")) << Status(row).toStdString();
  // The caption alone: a display name set on the application would be appended to it.
  EXPECT_EQ(frm().windowTitle(), "Coral Winds Veltra Play List Management (V1.10)");
  EXPECT_EQ(QApplication::applicationDisplayName(), QApplication::applicationName());
  EXPECT_LT(Close(), 1000);
}

TEST_F(ZoneSession, NextSongReachesOnlyTheCheckedZoneAndItsLineFollows) {
  Open(&prompts);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return Status(1).contains("Song Name:"); }));
  Check(1);
  log.Skip();
  QTest::mouseClick(test::Button(frm(), "btnNextAll"), Qt::LeftButton);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return !log.Lines("NEXT").empty(); }));
  const auto next = log.Lines("NEXT");
  ASSERT_EQ(next.size(), 1u);
  ASSERT_EQ(next[0].substr(0, 9), "1:21 NEXT");
  std::smatch song;
  ASSERT_TRUE(std::regex_search(next[0], song, std::regex("\"([^\"]+)\"")));
  const QString name = QString::fromStdString("Song Name: " + song[1].str() + ".");
  EXPECT_TRUE(test::WaitHandlingEvents([&] { return Status(1).contains(name); }, 5000)) << Status(1).toStdString();
}

TEST_F(ZoneSession, PlayPlaysTheSelectedSongWhenASongIsSelected) {
  Open(&prompts);
  Check(0);
  ui::TListView* songs = test::List(frm(), "lvSongList");
  ASSERT_GE(songs->rowCount(), 1);
  test::ClickCell(songs, 0, 1);
  const std::string chosen = "LIST " + std::to_string(frm().PlayLists().CurrentPlayList()->SeqInVeltra) + " SONG 1";
  const std::string play = "^1:20 (LIST [0-9]+ SONG [0-9]+|PLAY):";
  for (const std::string& expected : {chosen, std::string("PLAY")}) {
    SCOPED_TRACE(expected);
    log.Skip();
    QTest::mouseClick(test::Button(frm(), "btnPlayAll"), Qt::LeftButton);
    ASSERT_TRUE(test::WaitHandlingEvents([&] { return !log.Lines(play).empty(); }));
    EXPECT_EQ(log.Lines(play)[0].substr(5, expected.size() + 1), expected + ":");
    songs->clearSelection();  // no song selected: the plain play command
  }
  EXPECT_TRUE(log.Lines("^1:2[12] (LIST|PLAY:)").empty());
}

TEST_F(ZoneSession, VolumeAndMuteRoundTrip) {
  Open(&prompts);
  Check(0);
  log.Skip();
  test::Part<QSlider>(frm(), "tkBarVol")->setValue(60);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return !log.Lines("^1:20 VOL: attenuation 19").empty(); }));
  EXPECT_TRUE(log.Lines("^1:2[12] VOL").empty());
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return Status(0).contains("Volume: 76%"); }));
  QTest::mouseClick(test::Button(frm(), "btnMute"), Qt::LeftButton);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return !log.Lines("^1:20 VOL: attenuation 79").empty(); }));
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return Status(0).contains("Volume: 0%"); }));
  // Unmuted: the zone reports silence, so the volume saved at the mute comes back.
  log.Skip();
  QTest::mouseClick(test::Button(frm(), "btnMute"), Qt::LeftButton);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return !log.Lines("^1:20 VOL: attenuation 19").empty(); }));
  EXPECT_TRUE(test::WaitHandlingEvents([this] { return Status(0).contains("Volume: 76%"); }));
}

TEST_F(ZoneSession, ChangedPlayListsAreReloadedWithTheProgressWindowFirst) {
  Open(&prompts);
  Check(0);
  session->State().PlayListsChanged = true;
  log.Skip();
  // While the command waits, watch the progress window and the main window.
  bool barShown = false, mainDisabledWithBar = true;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!session->SinglePgBar().isVisible()) return;
    barShown = true;
    mainDisabledWithBar = mainDisabledWithBar && !frm().isEnabled();
    EXPECT_EQ(session->SinglePgBar().lblTips->text(), "Updating Veltra's Play List...  Please waite...");
  });
  watch.start(50);
  QTest::mouseClick(test::Button(frm(), "btnPreAll"), Qt::LeftButton);
  watch.stop();
  EXPECT_TRUE(barShown);
  EXPECT_TRUE(mainDisabledWithBar);
  EXPECT_FALSE(session->SinglePgBar().isVisible());
  EXPECT_TRUE(frm().isEnabled());
  EXPECT_FALSE(session->State().PlayListsChanged);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return !log.Lines("PREV").empty(); }));
  const auto frames = log.Lines("^1:2[0-2] (UPDATELIST: reloading|PREV)");
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].substr(0, 15), "1:20 UPDATELIST");
  EXPECT_EQ(frames[1].substr(0, 15), "1:21 UPDATELIST");
  EXPECT_EQ(frames[2].substr(0, 15), "1:22 UPDATELIST");
  EXPECT_EQ(frames[3].substr(0, 9), "1:20 PREV");
  // One "Updated!" for each zone waited for (the two unchecked ones).
  int updated = 0;
  for (const auto& [kind, text] : prompts.Shown()) updated += kind == PromptKind::InfoYes && text == "Updated!";
  EXPECT_EQ(updated, 2);
}

// A zone whose player stops answering greys after three polling rounds without an answer, and
// shows the time of its last answer before the status it last reported; its next answer takes
// the mark off.
TEST_F(ZoneSession, AZoneThatStopsAnsweringIsMarkedUntilItAnswersAgain) {
  settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=2\r\n"
                             "[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n"
                             "[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=21\r\n");
  Open(&prompts);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return Status(1).contains("Play Mode:"); }));
  const auto colours = test::List(frm(), "lvPlayZones")->RowColourRule();
  EXPECT_FALSE(colours(1).has_value());
  log.Skip();
  // The stand-in's devices named in this file are switched off.
  const auto switchOff = [](const std::string& devices) { std::ofstream(Env("KESTREL_PLAYER_OFF")) << devices; };
  switchOff("1:21\n");
  const QString report = Status(1);
  std::size_t unansweredPolls = 0;
  ASSERT_TRUE(test::WaitHandlingEvents([&] {
    unansweredPolls = log.Lines("^1:21 off").size() / 2;  // the status and the play mode query
    return Status(1).startsWith("No answer");
  }, 20000)) << Status(1).toStdString();
  EXPECT_GE(unansweredPolls, 3u);
  const std::int64_t lastAnswer = frm().Zones().Snapshot(1).LastAnswer;
  const QString time = QLocale().toString(QDateTime::fromSecsSinceEpoch(lastAnswer).time(), QLocale::ShortFormat);
  EXPECT_EQ(Status(1), "No answer since " + time + ".  " + report);
  ASSERT_TRUE(colours(1).has_value());
  EXPECT_EQ(colours(1)->first, test::List(frm(), "lvPlayZones")->palette().color(QPalette::Disabled, QPalette::Text));
  EXPECT_EQ(Status(0).left(9), "Song Name");  // the other zone answers on
  EXPECT_FALSE(colours(0).has_value());

  switchOff("");
  ASSERT_TRUE(test::WaitHandlingEvents([&] { return !Status(1).startsWith("No answer"); }, 10000));
  EXPECT_TRUE(Status(1).contains("Play Mode:"));
  EXPECT_FALSE(colours(1).has_value());
  EXPECT_GT(frm().Zones().Snapshot(1).LastAnswer, lastAnswer);
  EXPECT_TRUE(prompts.Shown().empty());
}

TEST_F(ZoneSession, ClosingWhileAnOperationWaitsForAnAnswerEndsAtOnce) {
  Open(nullptr);  // message boxes, as the user has them
  bool answered = true;
  qint64 closeMs = -1;
  QTimer::singleShot(0, [&] { frm().RunOperation([&] { answered = context.CurrentPrompts().Confirm("Go on?"); }); });
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr || closeMs >= 0) return;
    closeMs = Close();
    box->close();
  });
  watch.start(20);
  ASSERT_TRUE(test::WaitHandlingEvents([&] { return closeMs >= 0 && QApplication::activeModalWidget() == nullptr; }));
  EXPECT_LT(closeMs, 1000);
  EXPECT_FALSE(answered);
}

TEST_F(ZoneSession, ClosingWhileTheProgressWindowIsUpEndsAtOnce) {
  Open(&prompts);
  qint64 closeMs = -1;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (closeMs < 0 && session->SinglePgBar().isVisible()) closeMs = Close();
  });
  watch.start(20);
  session->State().ZoneUpdating = true;  // as when a zone reports that it reloads
  ASSERT_TRUE(test::WaitHandlingEvents([&] { return closeMs >= 0 && !session->SinglePgBar().isVisible(); }));
  EXPECT_LT(closeMs, 1000);
  EXPECT_TRUE(session->State().ShutdownFlag);
}

TEST_F(ZoneSession, ABadZoneFileLeavesTheWindowRunningWithoutThreadsOrDrops) {
  settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=2\r\n"
                             "[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n"
                             "[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=x\r\n");
  Open(&prompts);
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0], std::make_pair(PromptKind::ErrorOk, std::string("'x' is not a valid integer value")));
  EXPECT_EQ(test::List(frm(), "lvPlayZones")->rowCount(), 1);
  EXPECT_FALSE(session->ThreadsRunning());
  EXPECT_FALSE(frm().AcceptsFileDrops());
  // The commands still work, and a reload wait ends by itself.
  session->State().UpdateWaitLimit = 50;
  test::Action(frm(), "acUpdateZonePlayList")->trigger();
  EXPECT_FALSE(session->State().ZoneUpdating);
  EXPECT_LT(Close(), 1000);
}

// 277 would wrap to the stand-in's 1:21: the zone is left out with its message, and the others
// are polled by the threads, which run.
TEST_F(ZoneSession, AZoneWithAnIdOutOfRangeIsLeftOutAndTheOthersRun) {
  settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=3\r\n"
                             "[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n"
                             "[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=277\r\n"
                             "[Zone3]\r\nZoneName=Spa\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=22\r\n");
  Open(&prompts);
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0],
            std::make_pair(PromptKind::ErrorOk,
                           std::string("Zone2 (Bar): '277' is not a valid DeviceIDOfVeltra value (0 to 255); the zone is left out")));
  EXPECT_EQ(test::List(frm(), "lvPlayZones")->rowCount(), 2);
  EXPECT_TRUE(session->ThreadsRunning());
  EXPECT_TRUE(frm().AcceptsFileDrops());
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return Status(1).contains("Play Mode:"); }, 10000));
  EXPECT_TRUE(log.Lines("^1:21 ").empty());
  EXPECT_LT(Close(), 1000);
}

TEST_F(ZoneSession, AHeldBusPortEndsTheStartUpWithItsMessage) {
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(holder, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kBusPort);
  ASSERT_EQ(inet_pton(AF_INET, GetLocalIP("").c_str(), &addr.sin_addr), 1);
  ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  session = std::make_unique<TSession>(context, &prompts);
  EXPECT_FALSE(session->Start());
  ::close(holder);
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0].first, PromptKind::InfoOk);
  EXPECT_EQ(prompts.Shown()[0].second.rfind("Unsuccessfully initialize Winsock!", 0), 0u);
  EXPECT_FALSE(session->ThreadsRunning());
}

TEST_F(SilentReload, AReloadThatNeverEndsTimesOutAndPollingResumes) {
  Open(&prompts);
  session->State().UpdateWaitLimit = 200;  // about 2 s without a reload report
  Check(0);
  Check(1);
  log.Skip();
  QElapsedTimer t;
  t.start();
  test::Action(frm(), "acUpdateZonePlayList")->trigger();  // the hidden "Update Play List"
  EXPECT_GT(t.elapsed(), 1500);
  EXPECT_EQ(log.Lines("UPDATELIST").size(), 3u);
  EXPECT_FALSE(session->State().ZoneUpdating);
  EXPECT_EQ(session->State().UpdateWaitCounter, 0);
  EXPECT_TRUE(prompts.Shown().empty()) << "no \"Updated!\" after a time-out";
  log.Skip();
  EXPECT_TRUE(test::WaitHandlingEvents([this] { return !log.Lines("STATUS\\?").empty(); }, 4000));
}

TEST_F(StartAndClose, FiftyTimesInARow) {
  for (int i = 0; i < 50; ++i) {
    SCOPED_TRACE(i);
    Open(&prompts);
    ASSERT_TRUE(test::WaitHandlingEvents([this] { return !Status(0).isEmpty(); }));
    EXPECT_LT(Close(), 1000);
    session.reset();
  }
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (!test::InPrivateNetworkNamespace()) {
    std::cerr << "These tests start the program on the device bus: they run only through run_zone_test.sh,\n"
                 "inside the network namespaces it makes.\n";
    return 1;
  }
  return RUN_ALL_TESTS();
}

// "Zones...": the dialog finds the stand-in's three devices while the zone already polled keeps
// its line; OK writes Zone.ini (the file as it was kept beside it) and the window polls the
// zones found, without a restart.
TEST_F(ZoneSession, ZonesDialogFindsTheDevicesAndTheWindowTakesThemAtOnce) {
  const std::string before = "[TotalZones]\r\nTotalZones=1\r\n[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n";
  settings.write("Zone.ini", before);
  Open(&prompts);
  ASSERT_TRUE(test::WaitHandlingEvents([this] { return Status(0).contains("Song Name:"); }));

  QTest::keyClick(&frm(), Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
  QDialog* dialog = nullptr;
  ASSERT_TRUE(test::WaitHandlingEvents([&] { return (dialog = frm().findChild<QDialog*>("UnitZoneListFrm")) != nullptr && dialog->isVisible(); }));
  ui::TListView* rows = test::List(*dialog, "lvZones");
  ASSERT_EQ(rows->rowCount(), 1);
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
  QTest::keyClick(dialog->windowHandle(), Qt::Key_F, Qt::AltModifier);
  bool lobbyKeptItsLine = true;
  ASSERT_TRUE(test::WaitHandlingEvents([&] {
    lobbyKeptItsLine = lobbyKeptItsLine && Status(0).contains("Song Name:");
    return rows->rowCount() == 3 && test::Button(*dialog, "btnOK")->isEnabled();
  }, 10000)) << test::Label(*dialog, "lblFound")->text().toStdString() << " rows " << rows->rowCount();
  EXPECT_TRUE(lobbyKeptItsLine);
  const std::vector<std::array<QString, 4>> expected = {{"Lobby", "1", "20", "Yes"},
                                                        {"Zone 1:21", "1", "21", "Yes (found now)"},
                                                        {"Zone 1:22", "1", "22", "Yes (found now)"}};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      EXPECT_EQ(rows->CellText(row, column), expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);

  QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
  ui::TListView* zones = test::List(frm(), "lvPlayZones");
  ASSERT_TRUE(test::WaitHandlingEvents([&] { return zones->rowCount() == 3; }));
  EXPECT_EQ(zones->CellText(2, 0), "Zone 1:22");
  EXPECT_EQ(test::TempDir::ReadFile(settings.file("Zone.ini.bak")), before);
  EXPECT_TRUE(test::WaitHandlingEvents([this] { return Status(2).contains("Play Mode:"); }, 10000));
  EXPECT_TRUE(prompts.Shown().empty());
}
