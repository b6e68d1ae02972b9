// The name dialog driven by keys, and the main window's play list and song operations, the
// chooser and the settings dialog against a real FTP server.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/AppContext.h"
#include "core/SharedState.h"
#include "playlists/FtpServerConnect.h"
#include "playlists/FtpServerSettings.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/ActionList.h"
#include "ui/Main.h"
#include "ui/UnitServerList.h"
#include "ui/UnitServerSetting.h"
#include "ui/UnitUserInput.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::ui;
namespace fs = std::filesystem;

namespace {

// Runs `script` on the modal dialog of type D once it is shown; the dialog stays open unless the
// script closes it.
template <typename D>
void WhenModal(std::function<void(D*)> script) {
  auto* timer = new QTimer;
  const QDeadlineTimer deadline(5000);
  QObject::connect(timer, &QTimer::timeout, [timer, deadline, script] {
    auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
    if (dialog == nullptr && !deadline.hasExpired()) return;
    timer->stop();
    timer->deleteLater();
    ASSERT_NE(dialog, nullptr) << "no dialog came up";
    script(dialog);
  });
  timer->start(5);
}

void TypeName(TUnitUserInputFrm* d, const QString& text) {
  QTest::keyClick(d->edtInput, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(d->edtInput, text);
}

// The name dialog answers by pressing Enter after typing `text` (none: the proposal as it is).
void AnswerName(std::optional<QString> text) {
  WhenModal<TUnitUserInputFrm>([text](TUnitUserInputFrm* d) {
    if (text) TypeName(d, *text);
    QTest::keyClick(d->edtInput, Qt::Key_Return);
  });
}

struct NameCase {
  int mode;
  std::string start;
  std::optional<QString> typed;
  Qt::Key key;
  bool confirmed;
  std::string name;
  QString refusal;  // the red tip shown before Esc closes the dialog
};

}  // namespace

TEST(NameDialog, KeysAndRules) {
  const std::vector<std::string> items = {"Bar", "Spa"};
  const NameCase cases[] = {
      {1, "New Play List", std::nullopt, Qt::Key_Return, true, "New Play List", {}},
      {1, "New Play List", "  Lounge  ", Qt::Key_Enter, true, "Lounge", {}},
      {1, "New Play List", "   ", Qt::Key_Return, true, "", {}},
      {1, "New Play List", "Lounge", Qt::Key_Escape, false, "New Play List", {}},
      {2, "Bar", " Bar ", Qt::Key_Return, false, "Bar", {}},
      {2, "Bar", "bar", Qt::Key_Return, true, "bar", {}},
      {1, "x", "Spa", Qt::Key_Return, false, "x", TUnitUserInputFrm::kExistsText},
      {2, "Bar", "Jazz/Blues", Qt::Key_Return, false, "Bar", TUnitUserInputFrm::kNotPlainText},
      {1, "x", "Back\\slash", Qt::Key_Return, false, "x", TUnitUserInputFrm::kNotPlainText},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.typed.value_or("(as proposed)").toStdString());
    QString refusal;
    QColor tipColour;
    WhenModal<TUnitUserInputFrm>([&](TUnitUserInputFrm* d) {
      EXPECT_EQ(d->focusWidget(), d->edtInput);
      if (c.typed) TypeName(d, *c.typed);
      QTest::keyClick(d->edtInput, c.key);
      if (!d->isVisible()) return;
      refusal = d->lblTips->text();
      tipColour = d->lblTips->palette().color(QPalette::WindowText);
      QTest::keyClick(d->btnOK, Qt::Key_Escape);  // the dialog sees Esc wherever the focus is
    });
    std::string name = c.start;
    EXPECT_EQ(InputName(nullptr, "Add play list", "Please enter name", name, items, c.mode), c.confirmed);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(refusal, c.refusal);
    if (!c.refusal.isEmpty()) {
      EXPECT_EQ(tipColour, QColor(Qt::red));
    }
  }
}

namespace {

class PlayListOps : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 5; ++i) tree.write("A/a" + std::to_string(i) + ".mp3", "a");
    tree.write("B/b1.mp3", "b");
    tree.write("C/c1.mp3", "c");
    tree.write("C/locked/c2.mp3", "c");
    tree.write("D/d1.mp3", "d");
    fs::create_directory(tree.path() / "New Play List");
    std::vector<std::string> options = {"--deny-change", "C/locked"};
    options.insert(options.end(), extraServerOptions.begin(), extraServerOptions.end());
    server = std::make_unique<test::FtpTestServer>(tree.str(), options);
    settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server->port()) +
                                        "\r\nUserName=kestrel\r\nPassword=secret\r\n");
    settings.write("Zone.ini", "[TotalZones]\r\nTotalZones=0\r\n");
    frm = test::OpenMainWindow(context, /*ftp=*/true);
    frm->ListPlayLists("A");
    prompts.AnswerYes(true);
  }
  void TearDown() override { frm.reset(); }

  QStringList Rows(TListView* view) const {
    QStringList rows;
    for (int r = 0; r < view->rowCount(); ++r) rows << view->CellText(r, 0) + " " + view->CellText(r, 1);
    return rows;
  }
  QString CurrentList() const { return frm->List("lvPlayList")->CellText(frm->List("lvPlayList")->SelectedRow(), 1); }
  int PlayListRow(const std::string& name) const { return frm->PlayLists().Store()->FindPlayListRow(name, 0); }
  bool Exists(const std::string& path) const { return fs::exists(tree.path() / path); }
  // The commands the server saw since the last call.
  std::vector<std::string> Sent() {
    auto all = server->Commands();
    std::vector<std::string> sent(all.begin() + static_cast<long>(mark_), all.end());
    mark_ = all.size();
    return sent;
  }
  static bool Holds(const std::vector<std::string>& commands, const std::string& prefix) {
    for (const auto& c : commands)
      if (c.rfind(prefix, 0) == 0) return true;
    return false;
  }

  test::RecordingPrompts prompts;
  test::TempDir tree, settings;
  AppContext context{settings.str(), &prompts};
  std::vector<std::string> extraServerOptions;  // set before SetUp runs
  std::unique_ptr<test::FtpTestServer> server;
  std::unique_ptr<test::TestMainFrm> frm;
  std::size_t mark_ = 0;
};

}  // namespace

TEST_F(PlayListOps, AddRenameAndDeleteFromTheWindow) {
  // Add: the next free name is proposed; the new play list is created and selected.
  AnswerName(std::nullopt);
  frm->Button("btnListAdd")->click();
  EXPECT_TRUE(fs::is_directory(tree.path() / "New Play List1"));
  EXPECT_EQ(CurrentList(), "New Play List1");
  EXPECT_FALSE(frm->state.PlayListsChanged);

  // Rename to the same name sends nothing; a new name with blanks around is taken without them.
  Sent();
  AnswerName(std::nullopt);
  frm->Button("btnListEdit")->click();
  EXPECT_TRUE(Sent().empty());
  AnswerName("  Lounge ");
  frm->Button("btnListEdit")->click();
  EXPECT_TRUE(Exists("Lounge"));
  EXPECT_EQ(CurrentList(), "Lounge");
  EXPECT_TRUE(frm->state.PlayListsChanged.exchange(false));

  // Delete: gone on the server and from the rows; nothing selected, no songs shown.
  frm->PlayLists().SelectPlayList("A", 0, true);
  frm->Button("btnListDelete")->click();
  EXPECT_FALSE(Exists("A"));
  EXPECT_EQ(PlayListRow("A"), -1);
  EXPECT_EQ(frm->List("lvPlayList")->SelectedRow(), -1);
  EXPECT_EQ(frm->List("lvSongList")->rowCount(), 0);
  EXPECT_TRUE(frm->state.PlayListsChanged.exchange(false));

  // Refused half way: the user is told why, and the rows show what the server still holds.
  frm->PlayLists().SelectPlayList("C", 0, true);
  frm->Button("btnListDelete")->click();
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("550"), std::string::npos);
  EXPECT_EQ(CurrentList(), "C");
  EXPECT_EQ(frm->List("lvSongList")->rowCount(), 0);  // c1.mp3 went; the locked folder holds no song of C
  EXPECT_TRUE(Exists("C/locked/c2.mp3"));
}

TEST_F(PlayListOps, DeleteCheckedSongsAsksEachAndRenumbers) {
  test::ClickCheckBox(frm->List("lvSongList"), 1);
  test::ClickCheckBox(frm->List("lvSongList"), 3);
  EXPECT_EQ(frm->Label("lblTotalCheckedSongs")->text(), "2");
  Sent();
  frm->UpdateActions();
  frm->Button("btnSongDelete")->click();
  EXPECT_EQ(prompts.Asked(), (std::vector<std::string>{"Delete \"a2.mp3\" ?", "Delete \"a4.mp3\" ?"}));
  // Renumbered in memory, without reading the server again.
  EXPECT_EQ(Rows(frm->List("lvSongList")), (QStringList{"1 a1.mp3", "2 a3.mp3", "3 a5.mp3"}));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CWD /A", "DELE a2.mp3", "CWD /A", "DELE a4.mp3"}));
  EXPECT_FALSE(Exists("A/a2.mp3") || Exists("A/a4.mp3"));
  EXPECT_EQ(frm->Label("lblTotalCheckedSongs")->text(), "0");
  EXPECT_TRUE(frm->state.PlayListsChanged);
}

TEST_F(PlayListOps, DragASongRowOntoAPlayListRow) {
  auto dragSong = [&](int songRow, const std::string& target) {
    frm->PlayLists().SelectPlayList("A", 0, true);
    test::ClickCell(frm->List("lvSongList"), songRow, 1);
    ASSERT_TRUE(frm->PlayListOps().lvPlayListDragOver(frm->List("lvSongList"), PlayListRow(target)));
    EXPECT_EQ(frm->Label("lblCurList")->text(), "A");  // the songs stay while the selection follows the mouse
    frm->PlayListOps().lvPlayListDragDrop(frm->List("lvSongList"), PlayListRow(target));
  };
  EXPECT_FALSE(frm->PlayListOps().lvPlayListDragOver(frm->List("lvPlayList"), 0));

  dragSong(1, "B");
  EXPECT_TRUE(Exists("B/a2.mp3"));
  EXPECT_EQ(CurrentList(), "B");
  EXPECT_EQ(frm->Label("lblSelectedSong")->text(), "a2.mp3");
  EXPECT_TRUE(frm->state.PlayListsChanged.exchange(false));

  // Onto its own play list, and onto one that cannot be entered: nothing moves, A and the song
  // are selected again; the failure is told.
  fs::remove_all(tree.path() / "D");
  for (const std::string target : {"A", "D"}) {
    Sent();
    dragSong(0, target);
    EXPECT_FALSE(Holds(Sent(), "RNFR"));
    EXPECT_EQ(CurrentList(), "A");
    EXPECT_EQ(frm->Label("lblSelectedSong")->text(), "a1.mp3");
  }
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_NE(prompts.Shown()[0].second.find("\"D\""), std::string::npos);
  EXPECT_FALSE(frm->state.PlayListsChanged);
}

TEST_F(PlayListOps, ChooserMovesCheckedSongsAndAddsPlayLists) {
  test::ClickCheckBox(frm->List("lvSongList"), 0);
  test::ClickCheckBox(frm->List("lvSongList"), 2);
  frm->UpdateActions();

  // OK without a row does nothing; "Add List..." creates the play list and offers it at once.
  WhenModal<TfrmServerList>([&](TfrmServerList* d) {
    EXPECT_EQ(d->lvPlayList->rowCount(), frm->List("lvPlayList")->rowCount());
    d->btnOK->click();
    EXPECT_TRUE(d->isVisible());
    AnswerName(std::nullopt);
    d->btnListAdd->click();
    EXPECT_EQ(d->lvPlayList->CellText(d->lvPlayList->rowCount() - 1, 1), "New Play List1");
    EXPECT_TRUE(fs::is_directory(tree.path() / "New Play List1"));
    const QPoint newRow =
        d->lvPlayList->visualRect(d->lvPlayList->model()->index(d->lvPlayList->SelectedRow(), 1)).center();
    QTest::mouseClick(d->lvPlayList->viewport(), Qt::LeftButton, {}, newRow);
    QTest::mouseDClick(d->lvPlayList->viewport(), Qt::LeftButton, {}, newRow);
    if (d->isVisible()) {
      ADD_FAILURE() << "the chooser stayed open";
      d->reject();
    }
  });
  frm->Button("btnMoveto")->click();
  EXPECT_TRUE(Exists("New Play List1/a1.mp3") && Exists("New Play List1/a3.mp3"));
  EXPECT_EQ(CurrentList(), "A");
  EXPECT_EQ(Rows(frm->List("lvSongList")), (QStringList{"1 a2.mp3", "2 a4.mp3", "3 a5.mp3"}));
  EXPECT_TRUE(frm->state.PlayListsChanged.exchange(false));

  // Cancel after a rename inside still reports the change, and the window lists again.
  test::ClickCheckBox(frm->List("lvSongList"), 0);
  frm->UpdateActions();
  WhenModal<TfrmServerList>([&](TfrmServerList* d) {
    d->lvPlayList->SelectRow(PlayListRow("B"), true);
    d->actServerList->UpdateAll();
    AnswerName("B2");
    d->btnListEdit->click();
    d->btnCancel->click();
  });
  frm->Button("btnMoveto")->click();
  EXPECT_NE(PlayListRow("B2"), -1);
  EXPECT_TRUE(Exists("A/a2.mp3"));
  EXPECT_TRUE(frm->state.PlayListsChanged);
}

TEST_F(PlayListOps, SettingsDialogSavesOnlyAfterAGoodConnection) {
  const std::string ini = context.SettingsFile(kFtpServerIniName);
  settings.write("ftpServer.ini", "[ftpServer]\r\nIP=0.0.0.0\r\n");  // the connection is open already
  const std::string port = std::to_string(server->port());
  WhenModal<TUnitServerSettingFrm>([&](TUnitServerSettingFrm* d) {
    // It starts with the settings of the running connection.
    EXPECT_EQ(d->medtServerIP->displayText(), "127.  0.  0.  1");
    d->edtPort->setText("2x1");
    prompts.AnswerYes(false);  // not now: the connection stays, nothing is sent or saved
    d->btnConnect->click();
    EXPECT_TRUE(frm->PlayLists().Ftp()->Connected());
    EXPECT_TRUE(prompts.Shown().empty());
    prompts.AnswerYes(true);
    d->btnConnect->click();
    EXPECT_EQ(prompts.Asked(), (std::vector<std::string>{"Reconnect?", "Reconnect?"}));
    EXPECT_EQ(prompts.Shown().back().second, "Connect Fail!");
    EXPECT_EQ(ReadFtpServerSettings(ini).ip, "0.0.0.0");
    EXPECT_FALSE(frm->PlayLists().Ftp()->Connected());

    d->medtServerIP->clear();
    QTest::keyClicks(d->medtServerIP, "127  0  0  1");
    d->edtPort->setText(QString::fromStdString(port));
    d->btnConnect->click();
    EXPECT_EQ(d->StatusPanel(1).left(3), "230");
    d->close();
  });
  frm->PlayLists().Store()->ClearPlayLists();
  QTest::keyClick(frm->List("lvPlayList"), Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  const FtpServerSettings saved = ReadFtpServerSettings(ini);
  EXPECT_EQ(saved.ip, "127.0.0.1");
  EXPECT_EQ(saved.port, port);
  EXPECT_EQ(PlayListRow("B"), 1);  // listed again after the dialog closed
  EXPECT_EQ(frm->PlayListOps().ServerSettingFrm()->medtServerIP->displayText(), "127.  0.  0.  1");
}

namespace {

// A server that closes a control connection after half a second without a command.
class IdleClosingServer : public PlayListOps {
 protected:
  IdleClosingServer() { extraServerOptions = {"--idle-timeout", "0.5"}; }
  // Waits until the window's connection is one the server has closed.
  bool ClosedByServer() {
    return test::WaitHandlingEvents([this] { return !frm->PlayLists().Ftp()->Connected(); });
  }
};

}  // namespace

TEST_F(IdleClosingServer, EveryOperationReconnectsSilently) {
  struct Row {
    const char* what;
    std::function<void()> prepare;  // before the server closes the connection
    std::function<void()> act;
    std::string sent;
  };
  const std::vector<Row> rows = {
      {"Add List...", [] {}, [&] { AnswerName(std::nullopt); frm->Button("btnListAdd")->click(); },
       "MKD New Play List1"},
      {"Edit List...", [&] { frm->PlayLists().SelectPlayList("B", 0, true); },
       [&] { AnswerName("B2"); frm->Button("btnListEdit")->click(); }, "RNTO B2"},
      {"Delete Checked Songs",
       [&] {
         frm->PlayLists().SelectPlayList("A", 0, true);
         test::ClickCheckBox(frm->List("lvSongList"), 0);
         frm->UpdateActions();
       },
       [&] { frm->Button("btnSongDelete")->click(); }, "DELE a1.mp3"},
      {"Delete List", [&] { frm->PlayLists().SelectPlayList("D", 0, true); },
       [&] { frm->Button("btnListDelete")->click(); }, "RMD D"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.prepare();
    ASSERT_TRUE(ClosedByServer());
    Sent();
    row.act();
    EXPECT_TRUE(Holds(Sent(), row.sent));
  }
  EXPECT_TRUE(prompts.Shown().empty());

  // When the server cannot be reached, the user is told, and no dialog comes up.
  server->Stop();
  auto dialogShown = std::make_shared<bool>(false);
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [dialogShown] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      *dialogShown = true;
      dialog->close();
    }
  });
  guard.start(5);
  frm->Button("btnListAdd")->click();
  guard.stop();
  EXPECT_FALSE(*dialogShown);
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0].second.rfind(kConnectFailText, 0), 0u);
}
