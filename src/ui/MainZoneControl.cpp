// The zone control row of the main window: each handler gathers what the user chose and hands
// it to the zone control unit. Also the song list as a target for dropped files.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QUrl>

#include "ui/Main.h"

namespace kestrel::ui {

ZoneChecks TMainFrm::CheckedZones() const {
  ZoneChecks checks(zones_.Count(), false);
  for (int row = 0; row < lvPlayZones->rowCount() && static_cast<std::size_t>(row) < checks.size(); ++row)
    checks[static_cast<std::size_t>(row)] = lvPlayZones->IsChecked(row);
  return checks;
}

std::optional<SongChoice> TMainFrm::ChosenSong() const {
  const TPlayListObj* playList = CurrentPlayList();
  const TSongObj* song = SongAt(lvSongList->SelectedRow());
  if (playList == nullptr || song == nullptr) return std::nullopt;
  return SongChoice{playList->SeqInVeltra, song->Seq};
}

void TMainFrm::BindZoneControl() {
  const std::pair<QAction*, void (TMainFrm::*)()> handlers[] = {
      {acPrevSong, &TMainFrm::acPrevSongExecute}, {acNextSong, &TMainFrm::acNextSongExecute},
      {acPlay, &TMainFrm::acPlayExecute},         {acStop, &TMainFrm::acStopExecute},
      {acMute, &TMainFrm::acMuteExecute},         {acPlaySelectedSong, &TMainFrm::acPlaySelectedSongExecute},
      {acUpdateZonePlayList, &TMainFrm::acUpdateZonePlayListExecute}};
  for (const auto& [action, handler] : handlers) connect(action, &QAction::triggered, this, handler);
  for (QAction* mode : {acSinglePlay, acSingleCycle, acListPlay, acListCycle})
    connect(mode, &QAction::triggered, this, [this, mode] { vSetPlayMode(mode); });
  connect(tkBarVol, &QSlider::valueChanged, this, &TMainFrm::tkBarVolChange);
}

void TMainFrm::acPrevSongExecute() {
  if (control_) control_->PrevSong(CheckedZones());
}

void TMainFrm::acNextSongExecute() {
  if (control_) control_->NextSong(CheckedZones());
}

void TMainFrm::acPlayExecute() {
  if (!control_) return;
  const ZoneChecks checks = CheckedZones();
  control_->ReloadIfNeeded(checks);
  // The hidden "Play Selected Song" button decides: enabled, it plays the chosen song.
  if (btnPlaySelected->isEnabled())
    btnPlaySelected->click();
  else
    control_->Play(checks, std::nullopt);
}

void TMainFrm::acStopExecute() {
  if (control_) control_->Stop(CheckedZones());
}

void TMainFrm::acMuteExecute() {
  if (control_) control_->Mute(CheckedZones());
}

void TMainFrm::acPlaySelectedSongExecute() {
  if (!control_) return;
  const ZoneChecks checks = CheckedZones();
  control_->ReloadIfNeeded(checks);
  if (const auto chosen = ChosenSong()) control_->PlaySelectedSong(checks, *chosen);
}

void TMainFrm::acUpdateZonePlayListExecute() {
  if (control_) control_->UpdateZonePlayLists(CheckedZones());
}

void TMainFrm::tkBarVolChange(int position) {
  if (control_ && tkBarVol->isEnabled()) control_->SendVolume(position, CheckedZones());
}

void TMainFrm::vSetPlayMode(QAction* action) {
  if (control_) control_->SetPlayMode(action->data().toInt(), CheckedZones());
}

void TMainFrm::AcceptFileDrops() {
  acceptDrops_ = true;
  lvSongList->setAcceptDrops(true);
  lvSongList->viewport()->setAcceptDrops(true);
  lvSongList->viewport()->installEventFilter(this);
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvPlayList->viewport() && lvPlayListDragEvent(event)) return true;
  if (!acceptDrops_ || watched != lvSongList->viewport()) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      // Song rows dragged from the view itself are no files: they go to play list rows only.
      if (!drag->mimeData()->hasUrls()) {
        drag->ignore();
        return true;
      }
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      std::vector<std::string> paths;
      // The shell hands the names over as UTF-16; they travel on as UTF-8, which the library
      // turns back into wide names for the Windows file calls, so no letter is lost to the
      // ANSI code page.
      for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
      drop->acceptProposedAction();
      if (!paths.empty() && dropHandler_) dropHandler_(paths);
      return true;
    }
    default:
      return QMainWindow::eventFilter(watched, event);
  }
}

}  // namespace kestrel::ui
