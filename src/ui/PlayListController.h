// The play list and song views of the main window: the play list rows follow the store, the
// song rows show the songs of the selected play list, the labels beside them show the play list
// whose songs are shown, the selected song and the number of checked songs.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/SharedState.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "ui/MainView.h"
#include "ui/WindowServices.h"
#include "zones/TZone.h"
#include "zones/ZoneControl.h"

namespace kestrel::ui {

class PlayListController : public QObject, public PlayListStoreListener {
  Q_OBJECT
 public:
  // Presents the play list and song areas of `view`. Network work goes through the window's
  // operation runner; a play list's songs are read through its background runner, so that the
  // window stays in use meanwhile.
  PlayListController(WindowServices& services, const MainView& view);
  ~PlayListController() override;

  // Shows the play lists of `store`, which `ftp` fills; both outlive the window or are detached
  // before they go. The window's other parts find them in the services.
  void AttachStore(FtpClient& ftp, PlayListStore& store);
  void DetachStore();
  FtpClient* Ftp() const { return services_.ftp; }
  PlayListStore* Store() const { return services_.store; }

  // Rebuilds the play list rows from the server and selects `reselect` (empty: the first).
  void ListPlayLists(const std::string& reselect);
  // Selects the first play list named `name` or, with a number, numbered so on the device.
  void SelectPlayList(const std::string& name, int number, bool focus);
  // Refills the song rows from the selected play list. Songs not read yet are read in the
  // background: the song list says so (with Cancel) until they are there, and a play list
  // selected meanwhile takes the place of the one being read; only the selected one is ever
  // shown.
  void ShowSongs(const std::string& name);
  // The play list whose songs the song list waits for; nullptr when it waits for none.
  const TPlayListObj* LoadingPlayList() const { return loadingFor_; }
  void SelectSongByName(const std::string& name);
  void SelectSongBySeq(int seq);
  // Selects the play list and the song that `zone` reported it plays; the song once the play
  // list's songs are there.
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
  void PlayListsFound(int selectRow) override;
  void PlayListsRead(int first, int count) override;
  void PlayListsListed(int selectRow) override;

 private:
  void lvPlayListChange();
  void lvSongListChange(int row);
  void SelectPlayListRow(int row, bool focus);
  void ClearSongRows();
  void FillSongRows(const TPlayListObj& playList);
  void SetShownPlayList(const std::string& name);
  // The song list waits for the songs of `playList` / for none.
  void ShowLoading(TPlayListObj* playList);
  void StopLoading();
  void btnCancelLoadingClick();
  // Reads the songs of the play list waited for, unless a reading is under way.
  void StartSongRead();
  void SongsRead(TPlayListObj* target, TPlayListObj& read, unsigned listing);
  // The songs of `playList`, shown from memory, are read again in the background unless they
  // were read within kFreshFor; the rows follow when they changed.
  void ReadAgain(TPlayListObj* playList);
  void SongsReadAgain(TPlayListObj* target, TPlayListObj& read, unsigned listing, const std::string& before);
  void SelectPendingSong();
  // Refills the play list rows from the store and selects `selectRow` with the focus.
  void FillPlayListRows(int selectRow);

  WindowServices& services_;
  PlayListArea playLists_;
  SongArea songs_;
  std::string shownPlayList_;
  std::vector<TSongObj*> songRows_;  // the song of each song row
  TPlayListObj* loadingFor_ = nullptr;  // the song list waits for its songs
  bool reading_ = false;                // a reading runs in the background
  static constexpr std::chrono::seconds kFreshFor{2};
  TPlayListObj* againFor_ = nullptr;    // a shown play list whose songs are to be read again
  // When the songs of a play list were last read by itself; those of the others came with the
  // listing, whose last songs came at listedAt_.
  std::map<const TPlayListObj*, std::chrono::steady_clock::time_point> readAt_;
  std::chrono::steady_clock::time_point listedAt_;
  unsigned listing_ = 0;                // counts the listings: objects of an older one are gone
  bool rowsFound_ = false;              // the rows show the play lists of the listing under way
  int listToSelect_ = 0;                // a zone's play list (device number), once its number is known
  struct SongToSelect {
    int seq = -1;
    std::string name;
  };
  std::optional<SongToSelect> songToSelect_;  // a zone's song, once its play list's songs are there
};

}  // namespace kestrel::ui
