#include "ui/PlayListController.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QWidget>

#include "ui/ListView.h"
#include "ui/WindowThreadGate.h"

namespace kestrel::ui {

namespace {
QString Text(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

PlayListController::PlayListController(WindowServices& services, const MainView& view)
    : services_(services), playLists_(view.playLists), songs_(view.songs) {
  connect(playLists_.btnRefreshPL, &QPushButton::clicked, this, &PlayListController::btnRefreshPLClick);
  connect(songs_.btnCancelLoading, &QPushButton::clicked, this, &PlayListController::btnCancelLoadingClick);
  connect(playLists_.lvPlayList, &QTableWidget::itemSelectionChanged, this, &PlayListController::lvPlayListChange);
  TListView* songList = songs_.lvSongList;
  connect(songList, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { lvSongListChange(item->row()); });
  connect(songList, &QTableWidget::itemSelectionChanged, this, [this] { lvSongListChange(-1); });
  // lvSongListCustomDrawItem: a checked row is red on green.
  songList->SetRowColourRule([songList](int row) -> std::optional<std::pair<QColor, QColor>> {
    if (!songList->IsChecked(row)) return std::nullopt;
    return std::make_pair(QColor(255, 0, 0), QColor(0, 128, 0));
  });
}

PlayListController::~PlayListController() { DetachStore(); }

void PlayListController::AttachStore(FtpClient& ftp, PlayListStore& store) {
  DetachStore();
  services_.ftp = &ftp;
  services_.store = &store;
  store.AddListener(this);
  // A listing off the window thread changes the play lists here, between the user's clicks.
  WindowThreadGate& gate = services_.gate;
  store.SetOwnerCall([&gate](const std::function<void()>& change) { return gate.Call(change); });
}

void PlayListController::DetachStore() {
  if (services_.store == nullptr) return;
  services_.store->RemoveListener(this);
  services_.store->SetOwnerCall({});
  PlayListsCleared();
  services_.store = nullptr;
  services_.ftp = nullptr;
}

void PlayListController::ListPlayLists(const std::string& reselect) {
  if (services_.store == nullptr) return;
  // Unfinished uploads the listing removed were files the zones counted.
  services_.state.NotePlayListsChanged(services_.store->ListPlayLists(reselect).leftoversRemoved > 0);
}

void PlayListController::PlayListsCleared() {
  // A listing that runs off the window thread changes the rows here, and waits for it.
  if (QThread::currentThread() != thread()) {
    services_.gate.Call([this] { PlayListsCleared(); });
    return;
  }
  // The objects the rows refer to are about to go.
  ++listing_;
  readAt_.clear();
  againFor_ = nullptr;
  rowsFound_ = false;
  listToSelect_ = 0;
  StopLoading();
  songToSelect_.reset();
  ClearSongRows();
  playLists_.lvPlayList->ClearRows();
  SetShownPlayList("");
  UpdateCheckedSongCount();
}

void PlayListController::PlayListsFound(int selectRow) {
  if (QThread::currentThread() != thread()) {
    services_.gate.Call([this, selectRow] { PlayListsFound(selectRow); });
    return;
  }
  // The rows come now; the songs follow (PlayListsRead), and the user may pick a row meanwhile.
  rowsFound_ = true;
  FillPlayListRows(selectRow);
}

void PlayListController::PlayListsRead(int /*first*/, int /*count*/) {
  if (QThread::currentThread() != thread()) {
    services_.gate.Call([this] { PlayListsRead(0, 0); });
    return;
  }
  listedAt_ = std::chrono::steady_clock::now();
  if (listToSelect_ != 0) {
    const int row = services_.store->FindPlayListRow("", listToSelect_);
    if (row < 0) return;
    listToSelect_ = 0;
    // As the zone click would have: the selection follows, the focus stays where it is.
    QWidget* focus = QApplication::focusWidget();
    const std::optional<SongToSelect> song = songToSelect_;
    SelectPlayListRow(row, true);  // which forgets the song to select, as a user's choice does
    songToSelect_ = song;
    if (focus != nullptr) focus->setFocus();
    if (loadingFor_ == nullptr) SelectPendingSong();
    return;
  }
  TPlayListObj* wanted = loadingFor_;
  if (wanted == nullptr || !wanted->GotSong) return;
  StopLoading();
  FillSongRows(*wanted);
  SelectPendingSong();
}

void PlayListController::PlayListsListed(int selectRow) {
  if (QThread::currentThread() != thread()) {
    services_.gate.Call([this, selectRow] { PlayListsListed(selectRow); });
    return;
  }
  listedAt_ = std::chrono::steady_clock::now();
  // Rows shown as the root was read stay, with whatever the user selected since; a play list
  // whose songs the listing did not bring (it ended early) is read on its own.
  if (rowsFound_ && playLists_.lvPlayList->rowCount() == services_.store->Count()) {
    rowsFound_ = false;
    StartSongRead();
    return;
  }
  rowsFound_ = false;
  FillPlayListRows(selectRow);
}

void PlayListController::FillPlayListRows(int selectRow) {
  ClearSongRows();
  SetShownPlayList("");
  TListView* list = playLists_.lvPlayList;
  {
    // Filling the rows is no change of the user's; the selection below is.
    const QSignalBlocker quiet(list);
    list->ClearRows();
    for (int row = 0; row < services_.store->Count(); ++row) {
      const TPlayListObj* playList = services_.store->At(row);
      list->AddRow({QString::number(playList->Seq), Text(playList->Name)});
    }
    list->setCurrentItem(nullptr);
    list->clearSelection();
  }
  UpdateCheckedSongCount();
  SelectPlayListRow(selectRow, true);
}

void PlayListController::SelectPlayList(const std::string& name, int number, bool focus) {
  if (services_.store) SelectPlayListRow(services_.store->FindPlayListRow(name, number), focus);
}

void PlayListController::SelectPlayListRow(int row, bool focus) {
  TListView* list = playLists_.lvPlayList;
  if (list->rowCount() == 0) return;
  list->setFocus();
  if (row >= 0) list->SelectRow(row, focus);
}

TPlayListObj* PlayListController::CurrentPlayList() const {
  return services_.store ? services_.store->At(playLists_.lvPlayList->SelectedRow()) : nullptr;
}

TSongObj* PlayListController::SongAt(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < songRows_.size() ? songRows_[static_cast<std::size_t>(row)] : nullptr;
}

TSongObj* PlayListController::SelectedSong() const { return SongAt(songs_.lvSongList->SelectedRow()); }

std::vector<TSongObj*> PlayListController::CheckedSongs() const {
  std::vector<TSongObj*> checked;
  for (TSongObj* song : songRows_)
    if (song != nullptr && song->Checked) checked.push_back(song);
  return checked;
}

std::vector<std::string> PlayListController::PlayListNames() const {
  std::vector<std::string> names;
  for (int row = 0; row < PlayListCount(); ++row) names.push_back(services_.store->At(row)->Name);
  return names;
}

int PlayListController::PlayListCount() const { return services_.store ? services_.store->Count() : 0; }

std::optional<SongChoice> PlayListController::ChosenSong() const {
  const TPlayListObj* playList = CurrentPlayList();
  const TSongObj* song = SelectedSong();
  if (playList == nullptr || song == nullptr) return std::nullopt;
  return SongChoice{playList->SeqInVeltra, song->Seq};
}

bool PlayListController::PlayListSelected() const { return playLists_.lvPlayList->SelectedRow() >= 0; }

bool PlayListController::SongSelected() const { return songs_.lvSongList->SelectedRow() >= 0; }

bool PlayListController::AnySongChecked() const {
  const TListView* list = songs_.lvSongList;
  for (int row = 0; row < list->rowCount(); ++row)
    if (list->IsChecked(row)) return true;
  return false;
}

void PlayListController::lvPlayListChange() {
  if (services_.state.StartupFlag || services_.state.ShutdownFlag || services_.state.DraggingFlag) return;
  songToSelect_.reset();
  listToSelect_ = 0;
  // The selected row is the one the user moved to (by mouse, keys or a zone click).
  const TPlayListObj* playList = CurrentPlayList();
  if (playList == nullptr) {
    StopLoading();
    ClearSongRows();
    SetShownPlayList("");
    return;
  }
  const std::string name = playList->Name;
  ShowSongs(name);
  playLists_.lvPlayList->setFocus();
  SetShownPlayList(name);
  if (loadingFor_ == nullptr) ReadAgain(CurrentPlayList());
}

void PlayListController::ReadAgain(TPlayListObj* playList) {
  const auto now = std::chrono::steady_clock::now();
  const auto read = readAt_.find(playList);
  if (now - (read == readAt_.end() ? listedAt_ : read->second) < kFreshFor) return;
  againFor_ = playList;
  StartSongRead();
}

void PlayListController::ClearSongRows() {
  songRows_.clear();
  songs_.lvSongList->ClearRows();
}

void PlayListController::SetShownPlayList(const std::string& name) {
  shownPlayList_ = name;
  playLists_.lblCurList->setText(Text(name));
}

void PlayListController::ShowSongs(const std::string& name) {
  if (name.empty()) return;
  ClearSongRows();
  songs_.lblSelectedSong->clear();
  TPlayListObj* playList = CurrentPlayList();
  if (playList == nullptr) {
    StopLoading();
    return;
  }
  if (!playList->GotSong) {
    ShowLoading(playList);
    // A listing under way brings the songs of every play list (PlayListsRead).
    if (!rowsFound_) StartSongRead();
    return;
  }
  StopLoading();
  FillSongRows(*playList);
}

void PlayListController::FillSongRows(const TPlayListObj& playList) {
  ClearSongRows();
  // The rows take their check marks from the songs, so marks survive switching play lists.
  TListView* list = songs_.lvSongList;
  const QSignalBlocker quiet(list);
  songRows_ = playList.VisibleSongs();
  for (const TSongObj* song : songRows_) {
    const int row = list->AddRow({QString::number(song->Seq), Text(song->Name)});
    list->item(row, 0)->setData(Qt::ToolTipRole, Text(song->DateTime));
    list->SetChecked(row, song->Checked);
  }
  list->setCurrentItem(nullptr);
  list->viewport()->update();
}

void PlayListController::ShowLoading(TPlayListObj* playList) {
  loadingFor_ = playList;
  songs_.lblSongsLoading->setText("Reading the songs of \"" + Text(playList->Name) + "\" from the player...");
  QWidget* panel = songs_.pnlSongsLoading;
  panel->adjustSize();
  panel->move(4, songs_.lvSongList->horizontalHeader()->height() + 4);
  panel->show();
  panel->raise();
}

void PlayListController::StopLoading() {
  loadingFor_ = nullptr;
  songs_.pnlSongsLoading->hide();
}

void PlayListController::btnCancelLoadingClick() {
  // The song list stops waiting and nothing is selected; what is being read is kept once it
  // is there, so the play list shows at once when it is selected again.
  songToSelect_.reset();
  StopLoading();
  playLists_.lvPlayList->setCurrentItem(nullptr);
  playLists_.lvPlayList->clearSelection();
}

void PlayListController::StartSongRead() {
  // The songs waited for first; then those of a shown play list, to see whether they changed.
  TPlayListObj* target = loadingFor_ != nullptr ? loadingFor_ : againFor_;
  if (reading_ || target == nullptr || services_.store == nullptr) return;
  reading_ = true;
  // Read into an object of its own: the window goes on using the store meanwhile.
  auto read = std::make_shared<TPlayListObj>();
  read->Name = target->Name;
  PlayListStore* store = services_.store;
  const unsigned listing = listing_;
  if (target == loadingFor_) {
    services_.RunInBackground([store, read] { store->LoadSongs(*read); },
                              [this, target, read, listing] { SongsRead(target, *read, listing); });
    return;
  }
  againFor_ = nullptr;
  services_.RunInBackground([store, read] { store->ReadSongsAgain(*read); },
                            [this, target, read, listing, before = SongsStamp(*target)] {
                              SongsReadAgain(target, *read, listing, before);
                            });
}

void PlayListController::SongsReadAgain(TPlayListObj* target, TPlayListObj& read, unsigned listing,
                                        const std::string& before) {
  reading_ = false;
  if (listing == listing_ && read.GotSong) {
    readAt_[target] = std::chrono::steady_clock::now();
    const bool shown = CurrentPlayList() == target && loadingFor_ == nullptr;
    const TSongObj* selected = shown ? SelectedSong() : nullptr;
    const std::string selectedName = selected != nullptr ? selected->Name : std::string();
    // Not while an operation runs (the window is disabled then): it may hold the songs.
    if (services_.window->isEnabled() && TakeSongsReadAgain(*target, read, before) && shown) {
      FillSongRows(*target);
      SelectSongByName(selectedName);
      UpdateCheckedSongCount();
    }
  }
  StartSongRead();  // what was asked for meanwhile
}

void PlayListController::SongsRead(TPlayListObj* target, TPlayListObj& read, unsigned listing) {
  reading_ = false;
  if (listing == listing_ && read.GotSong) readAt_[target] = std::chrono::steady_clock::now();
  // `target` is still the store's unless a listing came in between. (No other operation runs
  // between the end of a reading and this, so its songs are the server's of now.)
  const bool current = listing == listing_;
  if (current && read.GotSong && !target->GotSong) {
    target->SongList = std::move(read.SongList);
    target->GotSong = true;
  }
  TPlayListObj* wanted = loadingFor_;
  if (wanted == nullptr) return;  // cancelled, or a play list whose songs were there is shown
  if (wanted->GotSong) {
    StopLoading();
    FillSongRows(*wanted);
    SelectPendingSong();
    return;
  }
  if (current && wanted == target) {  // the songs could not be read; the user has been told
    StopLoading();
    songToSelect_.reset();
    return;
  }
  StartSongRead();  // another play list was selected meanwhile
}

void PlayListController::SelectPendingSong() {
  if (!songToSelect_) return;
  const SongToSelect song = *songToSelect_;
  songToSelect_.reset();
  // The user may be elsewhere by now: the selection follows, the focus stays where it is.
  QWidget* focus = QApplication::focusWidget();
  if (song.seq != -1)
    SelectSongBySeq(song.seq);
  else
    SelectSongByName(song.name);
  if (focus != nullptr) focus->setFocus();
}

void PlayListController::lvSongListChange(int row) {
  if (services_.state.StartupFlag || services_.state.ShutdownFlag) return;
  if (TSongObj* song = SongAt(row)) {
    const bool checked = songs_.lvSongList->IsChecked(row);
    if (song->Checked != checked) {
      song->Checked = checked;
      UpdateCheckedSongCount();
    }
  }
  const TSongObj* selected = SelectedSong();
  songs_.lblSelectedSong->setText(selected != nullptr ? Text(selected->Name) : QString());
}

void PlayListController::UpdateCheckedSongCount() {
  songs_.lblTotalCheckedSongs->setText(QString::number(services_.store ? services_.store->CheckedSongCount() : 0));
}

void PlayListController::SelectSongByName(const std::string& name) {
  TListView* list = songs_.lvSongList;
  if (name.empty() || !list->isVisible() || !list->isEnabled()) return;
  list->setFocus();
  list->SelectRow(FindSongRowByName(songRows_, name), true);
}

void PlayListController::SelectSongBySeq(int seq) {
  TListView* list = songs_.lvSongList;
  if (!list->isVisible() || !list->isEnabled()) return;
  list->setFocus();
  list->SelectRow(FindSongRowBySeq(songRows_, seq), true);
}

void PlayListController::btnRefreshPLClick() {
  if (!services_.ftp) return;
  const TPlayListObj* current = CurrentPlayList();
  const std::string reselect = current != nullptr ? current->Name : std::string();
  // In the background: the rows come as they are read, and the window stays usable meanwhile.
  services_.RunInBackground(
      [this, reselect] {
        if (services_.store->EnsureConnected()) ListPlayLists(reselect);
      },
      [] {});
}

void PlayListController::ShowWhatZonePlays(const TZone& zone) {
  if (zone.ListNo == 0) return;
  listToSelect_ = 0;
  const int row = services_.store ? services_.store->FindPlayListRow("", zone.ListNo) : -1;
  if (row < 0 && rowsFound_) {
    // The device numbers are still being read: the play list is selected once its number is known.
    listToSelect_ = zone.ListNo;
    StopLoading();
  } else {
    SelectPlayListRow(row, true);
  }
  songToSelect_.reset();
  if (zone.SongNo != -1)
    songToSelect_ = SongToSelect{zone.SongNo, {}};
  else if (!zone.SongName.empty())
    songToSelect_ = SongToSelect{-1, zone.SongName};
  // Now when the songs are there; otherwise once they have been read.
  if (listToSelect_ == 0 && loadingFor_ == nullptr && songToSelect_) {
    const SongToSelect song = *songToSelect_;
    songToSelect_.reset();
    if (song.seq != -1)
      SelectSongBySeq(song.seq);
    else
      SelectSongByName(song.name);
  }
}

}  // namespace kestrel::ui
