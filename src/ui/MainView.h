// The main window's components, named as the layout names them and grouped by area, and the
// code that makes and places them. The window keeps them to itself; each part of its work (the
// controllers) takes from them the areas it presents.
#pragma once

#include <QString>
#include <array>
#include <functional>

#include "core/OperationRunner.h"
#include "zones/ActionRules.h"

class QAction;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPushButton;
class QSlider;
class QSplitter;
class QStatusBar;
class QToolButton;
class QWidget;

namespace kestrel::ui {

class TActionList;
class TListView;

// At the top: the zones with their status, and the zone control row.
struct ZoneArea {
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
};

// At the lower left: the play lists.
struct PlayListArea {
  QWidget* pnlLeft;
  QLabel* lblPlayList;
  QLabel* lblCurList;
  TListView* lvPlayList;
  QPushButton* btnListAdd;
  QPushButton* btnListEdit;
  QPushButton* btnListDelete;
  QPushButton* btnRefreshPL;
};

// At the lower right: the songs of the selected play list.
struct SongArea {
  QWidget* pnlClient;
  QLabel* lblSongList;
  QLabel* lblSelectedSong;
  QLabel* lblSongChecked;
  QLabel* lblTotalCheckedSongs;
  TListView* lvSongList;
  QWidget* pnlSongsLoading;  // over the song rows while they are being read
  QLabel* lblSongsLoading;
  QPushButton* btnCancelLoading;
  QPushButton* btnSongAdd;
  QPushButton* btnSongDelete;
  QPushButton* btnPlaySelected;
  QPushButton* btnCopyTo;
  QPushButton* btnMoveto;
};

// The action list with every action, and the popup menus over them.
struct MainActions {
  TActionList* actlstMain;
  QAction* acEditList;
  QAction* acAddList;
  QAction* acDeleteList;
  QAction* acAddSong;
  QAction* acNormalize;  // checkable: uploads even out the songs' loudness
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
  QAction* acZones;
  QMenu* pmPlayMode;
  QMenu* pmPlayList;
  QMenu* pmSongList;
};

struct MainView {
  ZoneArea zones;
  QSplitter* splLeft;
  PlayListArea playLists;
  SongArea songs;
  QStatusBar* statBar;
  std::array<QLabel*, 3> statPanels;
  QToolButton* btnZones;
  QToolButton* btnSettings;
  MainActions actions;
};

// Whether an action is enabled now, by its rule.
using EnablingFn = std::function<bool(EnablingRule rule)>;

// Makes every component of `window` and places it; binds the buttons and menu entries to their
// actions, whose update handlers ask `enabled`. The execute handlers are the controllers'.
MainView BuildMainView(QMainWindow* window, EnablingFn enabled);

// Pops `menu` up with its top-left corner at the bottom-left corner of `control`.
void PopupMenuUnder(QWidget* control, QMenu* menu);

}  // namespace kestrel::ui
