// The main window: zones with their status and the zone controls at the top, the play lists at
// the lower left, the songs of the selected play list at the lower right, a status bar below.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "core/OperationRunner.h"
#include "core/SharedState.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "playlists/UploadSongs.h"
#include "ui/ActionList.h"
#include "ui/ListView.h"
#include "ui/WindowThreadGate.h"
#include "zones/ZoneControl.h"
#include "zones/ZoneTable.h"

class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QSplitter;
class QStatusBar;
class QToolButton;

namespace kestrel {
class PlayListOperations;
}

namespace kestrel::ui {

class TUnitProgressBarFrm;
enum class ChooserMode : int;
class TUnitServerSettingFrm;

class TMainFrm : public QMainWindow, public PlayListStoreListener {
  Q_OBJECT
 public:
  // The window shows `zones` and follows the flags of `state`; it reads the Settings folder and
  // asks through the prompts of `context`. All three outlive it.
  TMainFrm(AppContext& context, SharedState& state, ZoneTable& zones, QWidget* parent = nullptr);
  ~TMainFrm() override;

  SharedState& State() { return state_; }
  // Work handed to the window thread by other threads (prompts, store listener, progress).
  WindowThreadGate& Gate() { return gate_; }

  // --- zones ---------------------------------------------------------------------------------
  ZoneTable& Zones() { return zones_; }
  // Reads Settings/Zone.ini into the zone list; a bad ID throws EConvertError after the zones
  // before it got their rows.
  void LoadZones();
  bool AnyZoneChecked() const;
  // Shows a zone's status text in its row (window thread).
  void ShowZoneStatus(int row, const QString& text);

  // --- play lists and songs ------------------------------------------------------------------
  // Shows the play lists of `store`, which `ftp` fills; both outlive the window or are detached
  // before they go.
  void AttachStore(FtpClient& ftp, PlayListStore& store);
  void DetachStore();
  FtpClient* Ftp() { return ftp_; }
  PlayListStore* Store() { return store_; }
  // Rebuilds the play list rows from the server and selects `reselect` (empty: the first).
  void ListPlayLists(const std::string& reselect);
  // Selects the first play list named `name` or, with a number, numbered so on the device.
  void SelectPlayList(const std::string& name, int number, bool focus);
  // Refills the song rows from the selected play list, reading its songs once.
  void ShowSongs(const std::string& name);
  void SelectSongByName(const std::string& name);
  void SelectSongBySeq(int seq);
  TPlayListObj* CurrentPlayList() const;
  // The song of a song row, or nullptr.
  TSongObj* SongAt(int row) const;
  void btnRefreshPLClick();

  // --- song upload (MainUpload.cpp) ---------------------------------------------------------
  // "Add Song...": the MP3 files picked in dlgOpenSong into the selected play list.
  void acAddSongExecute();
  // Opens dlgOpenSong; the chosen paths in the dialog's order (none when cancelled).
  QStringList PickSongFiles();
  // What a drop of files on the song list does (the drop handler): the files (folders skipped,
  // any extension) go into the selected play list; with no play list selected nothing happens.
  void DropFiles(const std::vector<std::string>& paths);
  // Run the upload loop into the play list named `target` through RunOperation with the progress
  // window. Then the play list's songs are read again when it is the one shown, or `then` runs
  // instead.
  void UploadSongs(const std::string& target, const std::vector<std::string>& paths);
  void CopySongs(const std::string& target, const std::vector<TSongObj>& songs, std::function<void()> then = {});
  // "Copy To...": the chooser in copy mode; its OK closes it, then the checked songs are copied
  // into the picked play list and the play lists are listed again.
  void acCopyToExecute();
  TUnitProgressBarFrm* UnitProgressBarFrm() const { return progress_; }
  // Play list and song operations (MainPlayListOps.cpp). The network part of each runs through
  // RunOperation; the rows are updated afterwards.
  void acAddListExecute();
  void acEditListExecute();
  void acDeleteListExecute();
  void acDeleteSongExecute();
  void acMoveToExecute();
  // A song row dragged onto a play list row: accept it over the play list view (the dragging
  // flag keeps the song rows while the selection follows the mouse), move it on the drop.
  bool lvPlayListDragOver(QObject* source, int row);
  void lvPlayListDragDrop(QObject* source, int row);
  void lvSongListEndDrag();
  // Opens the FTP server settings dialog (kept from its first use on); when it closes, the play
  // lists are listed again.
  void btnSettingsClick();
  TUnitServerSettingFrm* ServerSettingFrm() const { return serverSettingFrm_; }

  // PlayListStoreListener
  void PlayListsCleared() override;
  void PlayListsListed(int selectRow) override;

  // --- helpers of the layout ------------------------------------------------------------------
  // Pops `menu` up with its top-left corner at the bottom-left corner of `control`.
  static void PopupMenuUnder(QWidget* control, QMenu* menu);
  void SetStatusPanel(int panel, const QString& text);
  QString StatusPanel(int panel) const;
  // Runs every action's update handler now (the idle hook does this by itself).
  void UpdateActions() { actlstMain->UpdateAll(); }

  // Runs a library operation that talks to the network (FTP). The session installs a runner that
  // moves it off the window thread while the window stays painted but disabled; questions the
  // operation asks on the way are answered on the window thread through the prompts. Without a
  // runner (the window on its own, as in widget tests) the operation runs at once.
  void SetOperationRunner(OperationRunner runner) { runner_ = std::move(runner); }
  void RunOperation(const std::function<void()>& operation) { RunThrough(runner_, operation); }

  // --- zone control ----------------------------------------------------------------------------
  // The unit the zone commands go to (nullptr: the commands do nothing).
  void SetZoneControl(ZoneControl* control) { control_ = control; }
  // The check box of every zone row.
  ZoneChecks CheckedZones() const;

  // --- files dropped on the song list -----------------------------------------------------------
  // Lets the song list take files dropped from the desktop or a file manager; each drop goes to
  // the handler with the local paths, in the order given.
  using DropHandler = std::function<void(const std::vector<std::string>& paths)>;
  void AcceptFileDrops();
  bool AcceptsFileDrops() const { return acceptDrops_; }
  void SetDropHandler(DropHandler handler) { dropHandler_ = std::move(handler); }

  // Called when the window is asked to close, before it closes (the close is never refused).
  void SetCloseQueryHandler(std::function<void()> handler) { closeQuery_ = std::move(handler); }
  // Called the first time the window is shown, after the start-up flag was cleared.
  void SetFirstShowHandler(std::function<void()> handler) { firstShow_ = std::move(handler); }

  // Components, named as the layout names them.
  QWidget* pnlBottom;
  QLabel* lblPlayStatus;
  QLabel* lblSelectedZones;
  QLabel* lblZoneSelectedCount;
  TListView* lvPlayZones;
  QGroupBox* grpZoneOperations;
  QPushButton* btnPreAll;
  QPushButton* btnNextAll;
  QPushButton* btnPlayAll;
  QPushButton* btnStopAll;
  QPushButton* btnUpdateList;
  QPushButton* btnMute;
  QLabel* lblVolume;
  QSlider* tkBarVol;
  QPushButton* btnPlayModeAll;

  QSplitter* splLeft;
  QWidget* pnlLeft;
  QLabel* lblPlayList;
  QLabel* lblCurList;
  TListView* lvPlayList;
  QPushButton* btnListAdd;
  QPushButton* btnListEdit;
  QPushButton* btnListDelete;
  QPushButton* btnRefreshPL;

  QWidget* pnlClient;
  QLabel* lblSongList;
  QLabel* lblSelectedSong;
  QLabel* lblSongChecked;
  QLabel* lblTotalCheckedSongs;
  TListView* lvSongList;
  QPushButton* btnSongAdd;
  QPushButton* btnSongDelete;
  QPushButton* btnPlaySelected;
  QPushButton* btnCopyTo;
  QPushButton* btnMoveto;

  QStatusBar* statBar;
  QMenu* pmPlayMode;
  QMenu* pmPlayList;
  QMenu* pmSongList;

  TActionList* actlstMain;
  QAction* acEditList;
  QAction* acAddList;
  QAction* acDeleteList;
  QAction* acAddSong;
  QAction* acDeleteSong;
  QAction* acPrevSong;
  QAction* acNextSong;
  QAction* acPlay;
  QAction* acStop;
  QAction* acMute;
  QAction* acPlaySelectedSong;
  QAction* acUpdateZonePlayList;
  QAction* acMoveTo;
  QAction* acCopyTo;
  QAction* acSinglePlay;
  QAction* acSingleCycle;
  QAction* acListPlay;
  QAction* acListCycle;
  QAction* acPlayMode;
  QAction* acSettings;
  QToolButton* btnSettings;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateZoneArea();
  void CreatePlayListArea();
  void CreateSongArea();
  void CreateActions();
  void BindControls();

  // Zone list handlers.
  void lvPlayZonesChange(int row);
  void lvPlayZonesClick();
  // Selects the play list and the song that `zone` reported it plays.
  void ShowWhatZonePlays(const TZone& zone);

  // Play list and song view handlers.
  void lvPlayListChange();
  void lvSongListChange(int row);
  void lvSongListDblClick();
  void SelectPlayListRow(int row, bool focus);
  void UpdateCheckedSongCount();

  // Enabling rules.
  bool acPrevSongUpdate() const;
  bool PlayListSelected() const;
  bool AnySongChecked() const;
  bool acPlaySelectedSongUpdate() const;
  void acPlayModeExecute();
  void BindZoneControl();
  void acPrevSongExecute();
  void acNextSongExecute();
  void acPlayExecute();
  void acStopExecute();
  void acMuteExecute();
  void acPlaySelectedSongExecute();
  void acUpdateZonePlayListExecute();
  void tkBarVolChange(int position);
  void vSetPlayMode(QAction* action);
  // The selected play list and song, when both are selected.
  std::optional<SongChoice> ChosenSong() const;
  void FormKeyDown();
  using UploadWork = std::function<UploadResult(SongUploader&, TPlayListObj&)>;
  void RunUpload(const std::string& target, int count, UploadWork work, std::function<void()> then);
  void UploadEnded(const std::string& target, const UploadResult& result, const std::function<void()>& then);
  void BindPlayListOperations();
  PlayListOperations Ops();
  // Opens the FTP connection again, silently, when the server has closed it (an idle time-out);
  // false after telling the user that it failed.
  bool Reconnected();
  // The play list chooser over the checked songs; true when the play lists must be listed again
  // (RelistAfterChooser). In copy mode `copy` is what its OK does.
  using CopyHandler = std::function<bool(const std::string& target, const std::vector<TSongObj*>& songs)>;
  bool RunChooser(ChooserMode mode, CopyHandler copy);
  void RelistAfterChooser();
  std::vector<std::string> PlayListNames() const;
  // After a drop that moved nothing: the play list shown before the drag and the dragged song.
  void ReselectAfterDrag(const std::string& songName);
  // Drag events over the play list view; true when taken.
  bool lvPlayListDragEvent(QEvent* event);

  AppContext& context_;
  SharedState& state_;
  ZoneTable& zones_;
  WindowThreadGate gate_;
  FtpClient* ftp_ = nullptr;
  PlayListStore* store_ = nullptr;
  std::vector<TSongObj*> songRows_;      // the song of each song row
  bool zoneCheckChanged_ = false;
  bool shownOnce_ = false;
  std::array<QLabel*, 3> statPanels_{};
  std::function<void()> closeQuery_;
  std::function<void()> firstShow_;
  OperationRunner runner_;
  ZoneControl* control_ = nullptr;
  bool acceptDrops_ = false;
  DropHandler dropHandler_;
  TUnitProgressBarFrm* progress_ = nullptr;
  TUnitServerSettingFrm* serverSettingFrm_ = nullptr;  // child of the window once made
};

}  // namespace kestrel::ui
