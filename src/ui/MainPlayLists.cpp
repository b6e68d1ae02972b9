// The play list and song views of the main window.
#include <QLabel>
#include <QSignalBlocker>
#include <QThread>

#include "ui/Main.h"

namespace kestrel::ui {

namespace {
QString Text(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void TMainFrm::AttachStore(FtpClient& ftp, PlayListStore& store) {
  DetachStore();
  ftp_ = &ftp;
  store_ = &store;
  store_->AddListener(this);
}

void TMainFrm::DetachStore() {
  if (store_ == nullptr) return;
  store_->RemoveListener(this);
  PlayListsCleared();
  store_ = nullptr;
  ftp_ = nullptr;
}

void TMainFrm::ListPlayLists(const std::string& reselect) {
  // Unfinished uploads the listing removed were files the zones counted.
  if (store_ && store_->ListPlayLists(reselect).leftoversRemoved > 0) state_.PlayListsChanged = true;
}

void TMainFrm::PlayListsCleared() {
  // A listing that runs off the window thread changes the rows here, and waits for it.
  if (QThread::currentThread() != thread()) {
    gate_.Call([this] { PlayListsCleared(); });
    return;
  }
  // The objects the rows refer to are about to go.
  songRows_.clear();
  lvSongList->ClearRows();
  lvPlayList->ClearRows();
  lblCurList->clear();
  UpdateCheckedSongCount();
}

void TMainFrm::PlayListsListed(int selectRow) {
  if (QThread::currentThread() != thread()) {
    gate_.Call([this, selectRow] { PlayListsListed(selectRow); });
    return;
  }
  songRows_.clear();
  lvSongList->ClearRows();
  lblCurList->clear();
  {
    // Filling the rows is no change of the user's; the selection below is.
    const QSignalBlocker quiet(lvPlayList);
    lvPlayList->ClearRows();
    for (int row = 0; row < store_->Count(); ++row) {
      const TPlayListObj* playList = store_->At(row);
      lvPlayList->AddRow({QString::number(playList->Seq), Text(playList->Name)});
    }
    lvPlayList->setCurrentItem(nullptr);
    lvPlayList->clearSelection();
  }
  UpdateCheckedSongCount();
  SelectPlayListRow(selectRow, true);
}

void TMainFrm::SelectPlayList(const std::string& name, int number, bool focus) {
  if (store_) SelectPlayListRow(store_->FindPlayListRow(name, number), focus);
}

void TMainFrm::SelectPlayListRow(int row, bool focus) {
  if (lvPlayList->rowCount() == 0) return;
  lvPlayList->setFocus();
  if (row >= 0) lvPlayList->SelectRow(row, focus);
}

TPlayListObj* TMainFrm::CurrentPlayList() const {
  return store_ ? store_->At(lvPlayList->SelectedRow()) : nullptr;
}

TSongObj* TMainFrm::SongAt(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < songRows_.size() ? songRows_[static_cast<std::size_t>(row)] : nullptr;
}

void TMainFrm::lvPlayListChange() {
  if (state_.StartupFlag || state_.ShutdownFlag || state_.DraggingFlag) return;
  // The selected row is the one the user moved to (by mouse, keys or a zone click).
  const int row = lvPlayList->SelectedRow();
  if (row < 0) {
    songRows_.clear();
    lvSongList->ClearRows();
    lblCurList->clear();
    return;
  }
  const QString name = lvPlayList->CellText(row, 1);
  ShowSongs(name.toStdString());
  lvPlayList->setFocus();
  lblCurList->setText(name);
}

void TMainFrm::ShowSongs(const std::string& name) {
  if (name.empty()) return;
  songRows_.clear();
  lvSongList->ClearRows();
  lblSelectedSong->clear();
  TPlayListObj* playList = CurrentPlayList();
  if (playList == nullptr) return;
  store_->LoadSongs(*playList);
  // The rows take their check marks from the songs, so marks survive switching play lists.
  const QSignalBlocker quiet(lvSongList);
  songRows_ = playList->VisibleSongs();
  for (const TSongObj* song : songRows_) {
    const int row = lvSongList->AddRow({QString::number(song->Seq), Text(song->Name)});
    lvSongList->item(row, 0)->setData(Qt::ToolTipRole, Text(song->DateTime));
    lvSongList->SetChecked(row, song->Checked);
  }
  lvSongList->setCurrentItem(nullptr);
  lvSongList->viewport()->update();
}

void TMainFrm::lvSongListChange(int row) {
  if (state_.StartupFlag || state_.ShutdownFlag) return;
  if (TSongObj* song = SongAt(row)) {
    const bool checked = lvSongList->IsChecked(row);
    if (song->Checked != checked) {
      song->Checked = checked;
      UpdateCheckedSongCount();
    }
  }
  const TSongObj* selected = SongAt(lvSongList->SelectedRow());
  lblSelectedSong->setText(selected != nullptr ? Text(selected->Name) : QString());
}

void TMainFrm::UpdateCheckedSongCount() {
  lblTotalCheckedSongs->setText(QString::number(store_ ? store_->CheckedSongCount() : 0));
}

void TMainFrm::SelectSongByName(const std::string& name) {
  if (name.empty() || !lvSongList->isVisible() || !lvSongList->isEnabled()) return;
  lvSongList->setFocus();
  lvSongList->SelectRow(FindSongRowByName(songRows_, name), true);
}

void TMainFrm::SelectSongBySeq(int seq) {
  if (!lvSongList->isVisible() || !lvSongList->isEnabled()) return;
  lvSongList->setFocus();
  lvSongList->SelectRow(FindSongRowBySeq(songRows_, seq), true);
}

void TMainFrm::lvSongListDblClick() {
  UpdateActions();
  if (acPlaySelectedSong->isEnabled()) acPlaySelectedSong->trigger();
}

void TMainFrm::btnRefreshPLClick() {
  if (!ftp_) return;
  const TPlayListObj* current = CurrentPlayList();
  const std::string reselect = current != nullptr ? current->Name : std::string();
  RunOperation([this, reselect] {
    if (ftp_->EnsureConnected()) ListPlayLists(reselect);
  });
}

void TMainFrm::ShowWhatZonePlays(const TZone& zone) {
  if (zone.ListNo == 0) return;
  SelectPlayList("", zone.ListNo, true);
  if (zone.SongNo != -1)
    SelectSongBySeq(zone.SongNo);
  else if (!zone.SongName.empty())
    SelectSongByName(zone.SongName);
}

}  // namespace kestrel::ui
