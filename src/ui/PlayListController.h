// The play list and song views of the main window: the play list rows follow the store, the
// song rows show the songs of the selected play list, the labels beside them show the play list
// whose songs are shown, the selected song and the number of checked songs.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/SharedState.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "ui/MainView.h"
#include "zones/TZone.h"
#include "zones/ZoneControl.h"

namespace kestrel::ui {

class WindowThreadGate;

class PlayListController : public QObject, public PlayListStoreListener {
  Q_OBJECT
 public:
  // `run` is the window's operation runner: network work goes through it.
  PlayListController(const PlayListArea& playLists, const SongArea& songs, SharedState& state,
                     WindowThreadGate& gate, OperationRunner run);
  ~PlayListController() override;

  // Shows the play lists of `store`, which `ftp` fills; both outlive the window or are detached
  // before they go.
  void AttachStore(FtpClient& ftp, PlayListStore& store);
  void DetachStore();
  FtpClient* Ftp() const { return ftp_; }
  PlayListStore* Store() const { return store_; }

  // Rebuilds the play list rows from the server and selects `reselect` (empty: the first).
  void ListPlayLists(const std::string& reselect);
  // Selects the first play list named `name` or, with a number, numbered so on the device.
  void SelectPlayList(const std::string& name, int number, bool focus);
  // Refills the song rows from the selected play list, reading its songs once.
  void ShowSongs(const std::string& name);
  void SelectSongByName(const std::string& name);
  void SelectSongBySeq(int seq);
  // Selects the play list and the song that `zone` reported it plays.
  void ShowWhatZonePlays(const TZone& zone);
  void btnRefreshPLClick();
  void UpdateCheckedSongCount();

  // The name of the play list whose songs are shown; empty when none is.
  const std::string& ShownPlayList() const { return shownPlayList_; }
  TPlayListObj* CurrentPlayList() const;
  // The song of a song row, or nullptr.
  TSongObj* SongAt(int row) const;
  TSongObj* SelectedSong() const;
  const std::vector<TSongObj*>& SongRows() const { return songRows_; }
  // The checked songs among the song rows, in row order.
  std::vector<TSongObj*> CheckedSongs() const;
  std::vector<std::string> PlayListNames() const;
  int PlayListCount() const;
  // The selected play list and song, when both are selected.
  std::optional<SongChoice> ChosenSong() const;

  // What the enabling rules look at.
  bool PlayListSelected() const;
  bool SongSelected() const;
  bool AnySongChecked() const;

  // PlayListStoreListener
  void PlayListsCleared() override;
  void PlayListsListed(int selectRow) override;

 private:
  void lvPlayListChange();
  void lvSongListChange(int row);
  void SelectPlayListRow(int row, bool focus);
  void ClearSongRows();
  void SetShownPlayList(const std::string& name);

  PlayListArea playLists_;
  SongArea songs_;
  SharedState& state_;
  WindowThreadGate& gate_;
  OperationRunner run_;
  FtpClient* ftp_ = nullptr;
  PlayListStore* store_ = nullptr;
  std::string shownPlayList_;
  std::vector<TSongObj*> songRows_;  // the song of each song row
};

}  // namespace kestrel::ui
