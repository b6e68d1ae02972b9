// The main window's play list and song operations: add, rename and delete a play list, delete
// checked songs, move songs by the chooser or by dragging a song row onto a play list row, and
// the FTP server settings.
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolButton>

#include "core/Prompts.h"
#include "core/SharedState.h"
#include "core/TextEscape.h"
#include "playlists/PlayListOperations.h"
#include "ui/Main.h"
#include "ui/UnitServerList.h"
#include "ui/UnitServerSetting.h"
#include "ui/UnitUserInput.h"

namespace kestrel::ui {

void TMainFrm::BindPlayListOperations() {
  connect(acAddList, &QAction::triggered, this, &TMainFrm::acAddListExecute);
  connect(acEditList, &QAction::triggered, this, &TMainFrm::acEditListExecute);
  connect(acDeleteList, &QAction::triggered, this, &TMainFrm::acDeleteListExecute);
  connect(acDeleteSong, &QAction::triggered, this, &TMainFrm::acDeleteSongExecute);
  connect(acMoveTo, &QAction::triggered, this, &TMainFrm::acMoveToExecute);

  // "Settings..." at the right end of the status bar, and Ctrl+Alt+S from anywhere in the window.
  acSettings = actlstMain->Add("acSettings", "Settings...", 0, nullptr, [this](QAction*) { btnSettingsClick(); });
  acSettings->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  acSettings->setShortcutContext(Qt::WindowShortcut);
  acSettings->setIconText("Settings...");  // a tool button shows the icon text, which drops "..."
  acSettings->setToolTip("FTP server settings (Ctrl+Alt+S)");
  addAction(acSettings);
  btnSettings = new QToolButton(statBar);
  btnSettings->setObjectName("btnSettings");
  btnSettings->setAutoRaise(true);
  btnSettings->setDefaultAction(acSettings);
  statBar->addPermanentWidget(btnSettings);

  // A song row can be dragged onto a play list row; the play list view takes the drop itself.
  lvSongList->setDragEnabled(true);
  lvSongList->setDragDropMode(QAbstractItemView::DragOnly);
  lvPlayList->setAcceptDrops(true);
  lvPlayList->viewport()->setAcceptDrops(true);
  lvPlayList->viewport()->installEventFilter(this);
}

PlayListOperations TMainFrm::Ops() { return PlayListOperations(*ftp_, context_.CurrentPrompts(), state_.PlayListsChanged); }

bool TMainFrm::Reconnected() {
  if (!ftp_) return false;
  bool connected = false;
  RunOperation([&] { connected = Ops().Reconnect(); });
  return connected;
}

std::vector<std::string> TMainFrm::PlayListNames() const {
  std::vector<std::string> names;
  for (int row = 0; row < lvPlayList->rowCount(); ++row) names.push_back(lvPlayList->CellText(row, 1).toStdString());
  return names;
}

void TMainFrm::acAddListExecute() {
  if (!Reconnected()) return;
  const std::vector<std::string> names = PlayListNames();
  std::string name = NextFreePlayListName(kNewPlayListBase, names);
  if (!InputName(this, "Add play list", "Please enter name", name, names, 1)) return;
  TPlayListObj playList;
  playList.Name = name;
  playList.Seq = lvPlayList->rowCount() + 1;
  RunOperation([&] {
    if (Ops().CreateOnServer(playList)) ListPlayLists(name);
  });
}

void TMainFrm::acEditListExecute() {
  const int row = lvPlayList->SelectedRow();
  TPlayListObj* playList = CurrentPlayList();
  if (playList == nullptr || !Reconnected()) return;
  std::string name = lvPlayList->CellText(row, 1).toStdString();
  if (!InputName(this, "Edit play list", "Please enter name", name, PlayListNames(), 2)) return;
  RunOperation([&] {
    if (Ops().RenamePlayList(*playList, name)) ListPlayLists(name);  // reselected by its new name
  });
}

void TMainFrm::acDeleteListExecute() {
  TPlayListObj* playList = CurrentPlayList();
  if (playList == nullptr || !Reconnected()) return;
  const std::string name = playList->Name;
  RunOperation([&] {
    // Also after a deletion that stopped half way: show what the server now holds.
    if (Ops().DeletePlayList(*playList) != DeleteOutcome::NotDone) ListPlayLists(name);
  });
}

void TMainFrm::acDeleteSongExecute() {
  TPlayListObj* playList = CurrentPlayList();
  if (playList == nullptr || !Reconnected()) return;
  const std::vector<TSongObj*> rows = songRows_;
  int deleted = 0;
  RunOperation([&] { deleted = Ops().DeleteCheckedSongs(*playList, rows); });
  if (deleted == 0) return;
  ShowSongs(playList->Name);  // the songs in memory, renumbered; the server is not read again
  UpdateCheckedSongCount();
}

bool TMainFrm::RunChooser(ChooserMode mode, CopyHandler copy) {
  if (!ftp_) return false;
  std::vector<TSongObj*> songs;
  for (int row = 0; row < lvSongList->rowCount(); ++row)
    if (TSongObj* song = SongAt(row); song != nullptr && song->Checked) songs.push_back(song);
  PlayListOperations ops = Ops();
  ChooserContext context;
  context.ops = &ops;
  context.run = [this](const std::function<void()>& op) { RunOperation(op); };
  context.copy = std::move(copy);
  return ChoosePlayList(this, *store_, songs, mode, std::move(context));
}

void TMainFrm::RelistAfterChooser() {
  state_.PlayListsChanged = true;
  const TPlayListObj* current = CurrentPlayList();
  const std::string reselect = current != nullptr ? current->Name : std::string();
  RunOperation([&] { ListPlayLists(reselect); });
}

void TMainFrm::acMoveToExecute() {
  if (RunChooser(ChooserMode::Move, nullptr)) RelistAfterChooser();
}

bool TMainFrm::lvPlayListDragEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      const int row = lvPlayList->rowAt(e->position().toPoint().y());
      // Offered as a copy, so the song view never removes the dragged row by itself: the move
      // happens on the server and the rows follow the server.
      if (lvPlayListDragOver(e->source(), row)) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
      } else
        e->ignore();
      return true;
    }
    case QEvent::DragLeave:
      lvSongListEndDrag();
      return true;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      e->setDropAction(Qt::CopyAction);
      e->accept();
      lvPlayListDragDrop(e->source(), lvPlayList->rowAt(e->position().toPoint().y()));
      return true;
    }
    default:
      return false;
  }
}

bool TMainFrm::lvPlayListDragOver(QObject* source, int row) {
  if (source != lvSongList) return false;
  state_.DraggingFlag = true;
  // The row under the mouse shows where the song would go; the song rows stay.
  if (row >= 0) lvPlayList->SelectRow(row, false);
  return true;
}

void TMainFrm::lvPlayListDragDrop(QObject* source, int row) {
  if (source != lvSongList) return;
  const TPlayListObj* target = store_ ? store_->At(row) : nullptr;
  TSongObj* song = SongAt(lvSongList->SelectedRow());
  const std::string songName = song != nullptr ? song->Name : std::string();
  state_.DraggingFlag = false;
  if (target == nullptr || song == nullptr || song->ParentName == target->Name) {
    ReselectAfterDrag(songName);
    return;
  }
  const std::string targetName = target->Name;
  bool moved = false;
  std::string failure;
  RunOperation([&] {
    try {
      moved = Ops().MoveSongs(targetName, {song});
    } catch (const FtpError& e) {
      failure = e.what();
    }
    if (moved) ListPlayLists(targetName);
  });
  if (moved) {
    SelectSongByName(songName);
    return;
  }
  ReselectAfterDrag(songName);
  if (!failure.empty())
    context_.CurrentPrompts().Show(PromptKind::ErrorOk, "Can not move " + QuotedName(songName) + " into play list " +
                                                   QuotedName(targetName) + ".\r\n\r\n" + failure);
}

void TMainFrm::ReselectAfterDrag(const std::string& songName) {
  SelectPlayList(lblCurList->text().toStdString(), 0, true);
  SelectSongByName(songName);
}

void TMainFrm::lvSongListEndDrag() {
  if (!state_.DraggingFlag.exchange(false)) return;
  // The drag left without a drop: the selection goes back to the play list whose songs are shown.
  const QSignalBlocker quiet(lvPlayList);
  const int shown = store_ ? store_->FindPlayListRow(lblCurList->text().toStdString(), 0) : -1;
  if (shown >= 0 && !lblCurList->text().isEmpty()) lvPlayList->SelectRow(shown, true);
  lvSongList->viewport()->update();
}

void TMainFrm::btnSettingsClick() {
  if (!ftp_) return;
  if (serverSettingFrm_ == nullptr)
    serverSettingFrm_ = new TUnitServerSettingFrm(context_, *ftp_, [this](const std::function<void()>& op) { RunOperation(op); }, this);
  serverSettingFrm_->exec();
  RunOperation([this] { ListPlayLists(""); });
}

}  // namespace kestrel::ui
