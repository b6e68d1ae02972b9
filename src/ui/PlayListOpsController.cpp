#include "ui/PlayListOpsController.h"

#include <QAction>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QSignalBlocker>

#include "core/Prompts.h"
#include "core/TextEscape.h"
#include "ui/ListView.h"
#include "ui/PlayListController.h"
#include "ui/UnitServerList.h"
#include "ui/UnitServerSetting.h"
#include "ui/UnitUserInput.h"
#include "ui/UploadController.h"

namespace kestrel::ui {

PlayListOpsController::PlayListOpsController(WindowServices& services, const MainView& view,
                                             PlayListController& views, UploadController& uploads)
    : services_(services), playLists_(view.playLists), songs_(view.songs), views_(views), uploads_(uploads) {
  const MainActions& actions = view.actions;
  const std::pair<QAction*, void (PlayListOpsController::*)()> handlers[] = {
      {actions.acAddList, &PlayListOpsController::acAddListExecute},
      {actions.acEditList, &PlayListOpsController::acEditListExecute},
      {actions.acDeleteList, &PlayListOpsController::acDeleteListExecute},
      {actions.acDeleteSong, &PlayListOpsController::acDeleteSongExecute},
      {actions.acMoveTo, &PlayListOpsController::acMoveToExecute},
      {actions.acCopyTo, &PlayListOpsController::acCopyToExecute},
      {actions.acSettings, &PlayListOpsController::btnSettingsClick}};
  for (const auto& [action, handler] : handlers) connect(action, &QAction::triggered, this, handler);

  // A song row can be dragged onto a play list row; the play list view takes the drop itself.
  songs_.lvSongList->setDragEnabled(true);
  songs_.lvSongList->setDragDropMode(QAbstractItemView::DragOnly);
  playLists_.lvPlayList->setAcceptDrops(true);
  playLists_.lvPlayList->viewport()->setAcceptDrops(true);
  playLists_.lvPlayList->viewport()->installEventFilter(this);
}

PlayListOperations PlayListOpsController::Ops() { return PlayListOperations(*services_.ftp, services_.CurrentPrompts()); }

bool PlayListOpsController::Reconnected() {
  if (!services_.ftp) return false;
  bool connected = false;
  services_.Run([&] { connected = Ops().Reconnect(); });
  return connected;
}

void PlayListOpsController::acAddListExecute() {
  if (!Reconnected()) return;
  const std::vector<std::string> names = views_.PlayListNames();
  std::string name = NextFreePlayListName(kNewPlayListBase, names);
  if (!InputName(services_.window, "Add play list", "Please enter name", name, names, 1)) return;
  TPlayListObj playList;
  playList.Name = name;
  playList.Seq = views_.PlayListCount() + 1;
  services_.Run([&] {
    if (Ops().CreateOnServer(playList)) views_.ListPlayLists(name);
  });
}

void PlayListOpsController::acEditListExecute() {
  TPlayListObj* playList = views_.CurrentPlayList();
  if (playList == nullptr || !Reconnected()) return;
  std::string name = playList->Name;
  if (!InputName(services_.window, "Edit play list", "Please enter name", name, views_.PlayListNames(), 2)) return;
  services_.Run([&] {
    const bool renamed = Ops().RenamePlayList(*playList, name);
    services_.state.NotePlayListsChanged(renamed);
    if (renamed) views_.ListPlayLists(name);  // reselected by its new name
  });
}

void PlayListOpsController::acDeleteListExecute() {
  TPlayListObj* playList = views_.CurrentPlayList();
  if (playList == nullptr || !Reconnected()) return;
  const std::string name = playList->Name;
  services_.Run([&] {
    const DeleteResult deleted = Ops().DeletePlayList(*playList);
    services_.state.NotePlayListsChanged(deleted.playListsChanged);
    // Also after a deletion that stopped half way: show what the server now holds.
    if (deleted.outcome != DeleteOutcome::NotDone) views_.ListPlayLists(name);
  });
}

void PlayListOpsController::acDeleteSongExecute() {
  TPlayListObj* playList = views_.CurrentPlayList();
  if (playList == nullptr || !Reconnected()) return;
  const std::vector<TSongObj*> rows = views_.SongRows();
  int deleted = 0;
  services_.Run([&] { deleted = Ops().DeleteCheckedSongs(*playList, rows); });
  services_.state.NotePlayListsChanged(deleted > 0);
  if (deleted == 0) return;
  views_.ShowSongs(playList->Name);  // the songs in memory, renumbered; the server is not read again
  views_.UpdateCheckedSongCount();
}

ChooserResult PlayListOpsController::RunChooser(ChooserMode mode, CopyHandler copy) {
  if (!services_.ftp) return {};
  PlayListOperations ops = Ops();
  ChooserContext context;
  context.ops = &ops;
  context.run = services_.Runner();
  context.copy = std::move(copy);
  return ChoosePlayList(services_.window, *services_.store, views_.CheckedSongs(), mode, std::move(context));
}

void PlayListOpsController::AfterChooser(const ChooserResult& result) {
  services_.state.NotePlayListsChanged(result.playListsChanged);
  if (!result.relist) return;
  const TPlayListObj* current = views_.CurrentPlayList();
  const std::string reselect = current != nullptr ? current->Name : std::string();
  services_.Run([&] { views_.ListPlayLists(reselect); });
}

void PlayListOpsController::acMoveToExecute() { AfterChooser(RunChooser(ChooserMode::Move, nullptr)); }

void PlayListOpsController::acCopyToExecute() {
  // OK only notes what to copy; the copy runs once the chooser has closed, with the progress
  // window in front of the main window.
  std::string target;
  std::vector<TSongObj> chosen;
  const ChooserResult result =
      RunChooser(ChooserMode::Copy, [&](const std::string& name, const std::vector<TSongObj*>& picked) {
        target = name;
        for (const TSongObj* song : picked)
          if (song != nullptr) chosen.push_back(*song);
        return true;
      });
  if (!result.relist || target.empty() || chosen.empty())
    AfterChooser(result);
  else
    uploads_.CopySongs(target, chosen, [this, result] { AfterChooser(result); });
}

bool PlayListOpsController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == playLists_.lvPlayList->viewport() && lvPlayListDragEvent(event)) return true;
  return QObject::eventFilter(watched, event);
}

bool PlayListOpsController::lvPlayListDragEvent(QEvent* event) {
  TListView* list = playLists_.lvPlayList;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      const int row = list->rowAt(e->position().toPoint().y());
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
      lvPlayListDragDrop(e->source(), list->rowAt(e->position().toPoint().y()));
      return true;
    }
    default:
      return false;
  }
}

bool PlayListOpsController::lvPlayListDragOver(QObject* source, int row) {
  if (source != songs_.lvSongList) return false;
  services_.state.DraggingFlag = true;
  // The row under the mouse shows where the song would go; the song rows stay.
  if (row >= 0) playLists_.lvPlayList->SelectRow(row, false);
  return true;
}

void PlayListOpsController::lvPlayListDragDrop(QObject* source, int row) {
  if (source != songs_.lvSongList) return;
  const PlayListStore* store = services_.store;
  const TPlayListObj* target = store ? store->At(row) : nullptr;
  TSongObj* song = views_.SelectedSong();
  const std::string songName = song != nullptr ? song->Name : std::string();
  services_.state.DraggingFlag = false;
  if (target == nullptr || song == nullptr || song->ParentName == target->Name) {
    ReselectAfterDrag(songName);
    return;
  }
  const std::string targetName = target->Name;
  bool moved = false;
  std::string failure;
  services_.Run([&] {
    try {
      moved = Ops().MoveSongs(targetName, {song});
    } catch (const FtpError& e) {
      failure = e.what();
    }
    services_.state.NotePlayListsChanged(moved);
    if (moved) views_.ListPlayLists(targetName);
  });
  if (moved) {
    views_.SelectSongByName(songName);
    return;
  }
  ReselectAfterDrag(songName);
  if (!failure.empty())
    services_.CurrentPrompts().Show(PromptKind::ErrorOk, "Can not move " + QuotedName(songName) + " into play list " +
                                                             QuotedName(targetName) + ".\r\n\r\n" + failure);
}

void PlayListOpsController::ReselectAfterDrag(const std::string& songName) {
  views_.SelectPlayList(views_.ShownPlayList(), 0, true);
  views_.SelectSongByName(songName);
}

void PlayListOpsController::lvSongListEndDrag() {
  if (!services_.state.DraggingFlag.exchange(false)) return;
  // The drag left without a drop: the selection goes back to the play list whose songs are shown.
  const QSignalBlocker quiet(playLists_.lvPlayList);
  const std::string& shownName = views_.ShownPlayList();
  const PlayListStore* store = services_.store;
  const int shown = store ? store->FindPlayListRow(shownName, 0) : -1;
  if (shown >= 0 && !shownName.empty()) playLists_.lvPlayList->SelectRow(shown, true);
  songs_.lvSongList->viewport()->update();
}

void PlayListOpsController::btnSettingsClick() {
  FtpClient* ftp = services_.ftp;
  if (!ftp) return;
  if (serverSettingFrm_ == nullptr)
    serverSettingFrm_ = new TUnitServerSettingFrm(services_.context, *ftp, services_.Runner(), services_.window);
  serverSettingFrm_->exec();
  services_.Run([this] { views_.ListPlayLists(""); });
}

}  // namespace kestrel::ui
