#include "ui/MainView.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <tuple>
#include <utility>

#include "ui/ActionList.h"
#include "ui/AnchorLayout.h"
#include "ui/ListView.h"

namespace kestrel::ui {

namespace {

constexpr int kZoneAreaHeight = 300;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text = {}) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

// A text colour of its own; a disabled control still greys out.
void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::WindowText, colour);
    p.setColor(group, QPalette::ButtonText, colour);
  }
  w->setPalette(p);
}

// A panel without a bevel, put into `panel`, whose children keep to their design rectangles
// within `design`; its layout is returned. A splitter never makes it narrower than `minimumWidth`.
TAnchorLayout* MakePanel(QWidget*& panel, QWidget* parent, const char* name, const QSize& design, int minimumWidth = 0) {
  panel = new QWidget(parent);
  panel->setObjectName(name);
  if (minimumWidth > 0) panel->setMinimumWidth(minimumWidth);
  return new TAnchorLayout(panel, design);
}

QFont SansSerif13() {
  QFont f("Microsoft Sans Serif");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(13);
  return f;
}

ZoneArea MakeZoneArea(QWidget* parent) {
  ZoneArea z{};
  TAnchorLayout* anchors = MakePanel(z.pnlBottom, parent, "pnlBottom", QSize(981, kZoneAreaHeight));
  z.pnlBottom->setFixedHeight(kZoneAreaHeight);

  z.lblPlayStatus = MakeLabel(z.pnlBottom, "lblPlayStatus", "Check the zones you want to control");
  z.lblSelectedZones = MakeLabel(z.pnlBottom, "lblSelectedZones", "Total checked zones:");
  z.lblZoneSelectedCount = MakeLabel(z.pnlBottom, "lblZoneSelectedCount", "0");
  z.lblZoneSelectedCount->setFont(SansSerif13());
  SetTextColour(z.lblZoneSelectedCount, Qt::blue);
  anchors->Place(z.lblPlayStatus, QRect(5, 11, 0, 0));
  anchors->Place(z.lblSelectedZones, QRect(293, 11, 0, 0));
  anchors->Place(z.lblZoneSelectedCount, QRect(428, 11, 60, 0));

  z.lvPlayZones = new TListView("lvPlayZones", {{"ZoneName", 150, 60, 0}, {"Play Status", 750, 0, 0}}, true, z.pnlBottom);
  anchors->Place(z.lvPlayZones, QRect(5, 30, 969, 201), kAnchorAll);

  z.grpZoneOperations = new QGroupBox("Zone Control", z.pnlBottom);
  z.grpZoneOperations->setObjectName("grpZoneOperations");
  anchors->Place(z.grpZoneOperations, QRect(5, 236, 969, 53), akLeft | akRight | akBottom);

  QGroupBox* g = z.grpZoneOperations;
  auto* row = new TAnchorLayout(g, QSize(969, 53));
  z.btnPreAll = MakeButton(g, "btnPreAll", "PREV Song");
  z.btnNextAll = MakeButton(g, "btnNextAll", "Next Song");
  z.btnPlayAll = MakeButton(g, "btnPlayAll", "Play");
  z.btnStopAll = MakeButton(g, "btnStopAll", "Stop");
  z.btnUpdateList = MakeButton(g, "btnUpdateList");
  z.btnMute = MakeButton(g, "btnMute", "Mute");
  z.lblVolume = MakeLabel(g, "lblVolume", "Volume");
  z.tkBarVol = new QSlider(Qt::Horizontal, g);
  z.tkBarVol->setObjectName("tkBarVol");
  z.tkBarVol->setRange(0, 79);
  z.tkBarVol->setPageStep(1);
  z.tkBarVol->setTickPosition(QSlider::TicksBelow);
  z.tkBarVol->setTickInterval(10);
  z.tkBarVol->setEnabled(false);
  z.btnPlayModeAll = MakeButton(g, "btnPlayModeAll", "Play Mode");
  // The row of zone commands, left to right.
  const std::tuple<QWidget*, QRect, int> places[] = {
      {z.btnPreAll, QRect(5, 20, 100, 23), kAnchorLeftBottom},
      {z.btnNextAll, QRect(110, 20, 100, 23), kAnchorLeftBottom},
      {z.btnPlayAll, QRect(231, 20, 100, 23), kAnchorLeftBottom},
      {z.btnStopAll, QRect(336, 20, 100, 23), kAnchorLeftBottom},
      {z.btnUpdateList, QRect(448, 20, 113, 23), kAnchorTopLeft},
      {z.btnMute, QRect(617, 20, 35, 23), kAnchorLeftBottom},
      {z.lblVolume, QRect(656, 24, 0, 0), kAnchorLeftBottom},
      {z.tkBarVol, QRect(699, 20, 150, 22), kAnchorLeftBottom},
      {z.btnPlayModeAll, QRect(864, 20, 100, 23), kAnchorRightBottom},
  };
  for (const auto& [widget, rect, anchoring] : places) row->Place(widget, rect, anchoring);
  z.btnUpdateList->hide();
  return z;
}

PlayListArea MakePlayListArea() {
  PlayListArea p{};
  TAnchorLayout* anchors = MakePanel(p.pnlLeft, nullptr, "pnlLeft", QSize(345, 385), 120);

  p.lblPlayList = MakeLabel(p.pnlLeft, "lblPlayList", "Play List :");
  anchors->Place(p.lblPlayList, QRect(5, 8, 0, 0));
  p.lblCurList = MakeLabel(p.pnlLeft, "lblCurList", "");
  SetTextColour(p.lblCurList, Qt::red);
  anchors->Place(p.lblCurList, QRect(65, 8, 275, 0), akLeft | akTop | akRight);

  p.lvPlayList = new TListView("lvPlayList", {{"NO.", 50, 0, 0}, {"Play List Name", 270, 100, 1000}}, false, p.pnlLeft);
  anchors->Place(p.lvPlayList, QRect(5, 24, 339, 331), kAnchorAll);

  p.btnListAdd = MakeButton(p.pnlLeft, "btnListAdd");
  p.btnListEdit = MakeButton(p.pnlLeft, "btnListEdit");
  p.btnListDelete = MakeButton(p.pnlLeft, "btnListDelete");
  p.btnRefreshPL = MakeButton(p.pnlLeft, "btnRefreshPL", "Refresh List");
  anchors->Place(p.btnListAdd, QRect(4, 358, 70, 23), kAnchorLeftBottom);
  anchors->Place(p.btnListEdit, QRect(79, 358, 70, 23), kAnchorLeftBottom);
  anchors->Place(p.btnListDelete, QRect(154, 358, 70, 23), kAnchorLeftBottom);
  anchors->Place(p.btnRefreshPL, QRect(229, 358, 80, 23), kAnchorLeftBottom);
  return p;
}

SongArea MakeSongArea() {
  SongArea s{};
  TAnchorLayout* anchors = MakePanel(s.pnlClient, nullptr, "pnlClient", QSize(630, 385), 300);

  s.lblSongList = MakeLabel(s.pnlClient, "lblSongList", "Song List :");
  s.lblSelectedSong = MakeLabel(s.pnlClient, "lblSelectedSong", "");
  SetTextColour(s.lblSelectedSong, Qt::red);
  s.lblSongChecked = MakeLabel(s.pnlClient, "lblSongChecked", "Total checked songs:");
  s.lblTotalCheckedSongs = MakeLabel(s.pnlClient, "lblTotalCheckedSongs", "0");
  s.lblTotalCheckedSongs->setFont(SansSerif13());
  SetTextColour(s.lblTotalCheckedSongs, Qt::blue);
  anchors->Place(s.lblSongList, QRect(4, 8, 0, 0));
  anchors->Place(s.lblSelectedSong, QRect(68, 8, 365, 0), akLeft | akTop | akRight);
  anchors->Place(s.lblSongChecked, QRect(439, 8, 0, 0), kAnchorRightTop);
  anchors->Place(s.lblTotalCheckedSongs, QRect(574, 8, 50, 0), kAnchorRightTop);

  s.lvSongList = new TListView("lvSongList", {{"NO.", 50, 31, 100}, {"Song Name", 500, 150, 2000}}, true, s.pnlClient);
  anchors->Place(s.lvSongList, QRect(1, 24, 625, 331), kAnchorAll);
  // Over the song rows while the songs of a play list are being read: what is read, and Cancel.
  s.pnlSongsLoading = new QWidget(s.lvSongList);
  s.pnlSongsLoading->setObjectName("pnlSongsLoading");
  s.pnlSongsLoading->setAutoFillBackground(true);
  auto* loadingRow = new QHBoxLayout(s.pnlSongsLoading);
  loadingRow->setContentsMargins(6, 3, 3, 3);
  s.lblSongsLoading = MakeLabel(s.pnlSongsLoading, "lblSongsLoading", "");
  s.btnCancelLoading = MakeButton(s.pnlSongsLoading, "btnCancelLoading", "Cancel");
  loadingRow->addWidget(s.lblSongsLoading);
  loadingRow->addWidget(s.btnCancelLoading);
  s.pnlSongsLoading->hide();

  s.btnSongAdd = MakeButton(s.pnlClient, "btnSongAdd");
  s.btnSongDelete = MakeButton(s.pnlClient, "btnSongDelete");
  SetTextColour(s.btnSongDelete, Qt::red);
  s.btnPlaySelected = MakeButton(s.pnlClient, "btnPlaySelected");
  SetTextColour(s.btnPlaySelected, Qt::blue);
  s.btnCopyTo = MakeButton(s.pnlClient, "btnCopyTo");
  s.btnMoveto = MakeButton(s.pnlClient, "btnMoveto");
  anchors->Place(s.btnSongAdd, QRect(4, 358, 77, 23), kAnchorLeftBottom);
  anchors->Place(s.btnSongDelete, QRect(83, 358, 150, 23), kAnchorLeftBottom);
  anchors->Place(s.btnPlaySelected, QRect(238, 358, 150, 23), kAnchorLeftBottom);
  anchors->Place(s.btnCopyTo, QRect(457, 358, 79, 23), kAnchorRightBottom);
  anchors->Place(s.btnMoveto, QRect(541, 358, 79, 23), kAnchorRightBottom);
  s.btnPlaySelected->hide();
  return s;
}

MainActions MakeActions(QMainWindow* window, const EnablingFn& enabled) {
  MainActions m{};
  m.actlstMain = new TActionList(window);
  auto rule = [&enabled](EnablingRule r) -> TActionList::Update {
    if (r == EnablingRule::Always) return nullptr;
    return [enabled, r] { return enabled(r); };
  };
  const auto zone = rule(EnablingRule::ZoneChecked), playList = rule(EnablingRule::PlayListSelected),
             songChecked = rule(EnablingRule::SongChecked);
  TActionList& a = *m.actlstMain;
  m.acEditList = a.Add("acEditList", "Edit List...", 0, playList, nullptr);
  m.acAddList = a.Add("acAddList", "Add List...", 0, nullptr, nullptr);
  m.acDeleteList = a.Add("acDeleteList", "Delete List", 0, playList, nullptr);
  m.acAddSong = a.Add("acAddSong", "Add Song...", 0, playList, nullptr);
  m.acDeleteSong = a.Add("acDeleteSong", "Delete Checked Songs", 0, songChecked, nullptr);
  m.acPrevSong = a.Add("acPrevSong", "Prev Song", 0, zone, nullptr);
  m.acNextSong = a.Add("acNextSong", "Next Song", 0, zone, nullptr);
  m.acPlay = a.Add("acPlay", "Play", 0, zone, nullptr);
  m.acStop = a.Add("acStop", "Stop", 0, zone, nullptr);
  m.acMute = a.Add("acMute", "Mute", 0, zone, nullptr);
  m.acPlaySelectedSong = a.Add("acPlaySelectedSong", "Play Selected Song", 0, rule(EnablingRule::SongAndZone), nullptr);
  m.acUpdateZonePlayList = a.Add("acUpdateZonePlayList", "Update Play List", 0, zone, nullptr);
  m.acMoveTo = a.Add("acMoveTo", "Move To...", 0, songChecked, nullptr);
  m.acCopyTo = a.Add("acCopyTo", "Copy To...", 0, songChecked, nullptr);
  m.acSinglePlay = a.Add("acSinglePlay", "Play One", 1, zone, nullptr);
  m.acSingleCycle = a.Add("acSingleCycle", "Repeat One", 2, zone, nullptr);
  m.acListPlay = a.Add("acListPlay", "Play List", 3, zone, nullptr);
  m.acListCycle = a.Add("acListCycle", "Repeat List", 4, zone, nullptr);
  m.acPlayMode = a.Add("acPlayMode", "Play Mode", 0, zone, nullptr);
  // The caption with its target and the checked state come from the settings (UploadController).
  m.acNormalize = a.Add("acNormalize", "Even Out Loudness", 0, nullptr, nullptr);
  m.acNormalize->setCheckable(true);

  // "Settings..." at the right end of the status bar, and Ctrl+Alt+S from anywhere in the window.
  m.acSettings = a.Add("acSettings", "Settings...", 0, nullptr, nullptr);
  m.acSettings->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  m.acSettings->setShortcutContext(Qt::WindowShortcut);
  m.acSettings->setIconText("Settings...");  // a tool button shows the icon text, which drops "..."
  m.acSettings->setToolTip("FTP server settings (Ctrl+Alt+S)");
  window->addAction(m.acSettings);
  // "Zones..." beside it, and Ctrl+Alt+Z.
  m.acZones = a.Add("acZones", "Zones...", 0, nullptr, nullptr);
  m.acZones->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
  m.acZones->setShortcutContext(Qt::WindowShortcut);
  m.acZones->setIconText("Zones...");
  m.acZones->setToolTip("The zones: add, remove, rename, order, find them on the bus (Ctrl+Alt+Z)");
  window->addAction(m.acZones);

  m.pmPlayMode = new QMenu(window);
  m.pmPlayMode->setObjectName("pmPlayMode");
  TActionList::AddMenuItem(m.pmPlayMode, "pmiSinglePlay", m.acSinglePlay);
  TActionList::AddMenuItem(m.pmPlayMode, "pmiSingleCycle", m.acSingleCycle);
  TActionList::AddMenuItem(m.pmPlayMode, "pmiListPlay", m.acListPlay, "Continued");
  TActionList::AddMenuItem(m.pmPlayMode, "pmiListCycle", m.acListCycle, "Repeat All");

  m.pmPlayList = new QMenu(window);
  m.pmPlayList->setObjectName("pmPlayList");
  TActionList::AddMenuItem(m.pmPlayList, "pmiAddList", m.acAddList);
  TActionList::AddMenuItem(m.pmPlayList, "pmiEditList", m.acEditList);
  TActionList::AddMenuItem(m.pmPlayList, "pmiDeleteList", m.acDeleteList);

  m.pmSongList = new QMenu(window);
  m.pmSongList->setObjectName("pmSongList");
  TActionList::AddMenuItem(m.pmSongList, "pmiAddSong", m.acAddSong);
  TActionList::AddMenuItem(m.pmSongList, "pmiNormalize", m.acNormalize);
  TActionList::AddMenuItem(m.pmSongList, "pmiDeleteSong", m.acDeleteSong);
  return m;
}

// Every button to its action; the popup menus to their list views; the volume track bar usable
// exactly when the zone commands are.
void BindControls(MainView& v) {
  const MainActions& a = v.actions;
  const std::pair<QPushButton*, QAction*> bindings[] = {
      {v.zones.btnPreAll, a.acPrevSong},           {v.zones.btnNextAll, a.acNextSong},
      {v.zones.btnPlayAll, a.acPlay},              {v.zones.btnStopAll, a.acStop},
      {v.zones.btnUpdateList, a.acUpdateZonePlayList}, {v.zones.btnMute, a.acMute},
      {v.zones.btnPlayModeAll, a.acPlayMode},      {v.playLists.btnListAdd, a.acAddList},
      {v.playLists.btnListEdit, a.acEditList},     {v.playLists.btnListDelete, a.acDeleteList},
      {v.songs.btnSongAdd, a.acAddSong},           {v.songs.btnSongDelete, a.acDeleteSong},
      {v.songs.btnPlaySelected, a.acPlaySelectedSong}, {v.songs.btnCopyTo, a.acCopyTo},
      {v.songs.btnMoveto, a.acMoveTo}};
  for (const auto& [button, action] : bindings) TActionList::Bind(button, action);

  const std::pair<TListView*, QMenu*> menus[] = {{v.playLists.lvPlayList, a.pmPlayList},
                                                 {v.songs.lvSongList, a.pmSongList}};
  for (const auto& [view, menu] : menus) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, menu,
                     [view = view, menu = menu](const QPoint& p) { menu->popup(view->viewport()->mapToGlobal(p)); });
  }

  QSlider* volume = v.zones.tkBarVol;
  QAction* zoneRule = a.acPrevSong;
  QObject::connect(zoneRule, &QAction::changed, volume,
                   [volume, zoneRule] { volume->setEnabled(zoneRule->isEnabled()); });
}

}  // namespace

MainView BuildMainView(QMainWindow* window, EnablingFn enabled) {
  MainView v{};
  auto* central = new QWidget(window);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  window->setCentralWidget(central);

  v.zones = MakeZoneArea(central);
  column->addWidget(v.zones.pnlBottom);

  v.splLeft = new QSplitter(Qt::Horizontal, central);
  v.splLeft->setObjectName("splLeft");
  v.splLeft->setChildrenCollapsible(false);
  v.splLeft->setHandleWidth(3);
  v.playLists = MakePlayListArea();
  v.songs = MakeSongArea();
  v.splLeft->addWidget(v.playLists.pnlLeft);
  v.splLeft->addWidget(v.songs.pnlClient);
  v.splLeft->setStretchFactor(0, 0);
  v.splLeft->setStretchFactor(1, 1);
  v.splLeft->setSizes({345, 633});
  column->addWidget(v.splLeft, 1);

  v.statBar = new QStatusBar(window);
  v.statBar->setObjectName("statBar");
  v.statBar->setSizeGripEnabled(false);
  v.statBar->setFixedHeight(19);
  const int widths[] = {150, 200, 0};
  for (std::size_t i = 0; i < v.statPanels.size(); ++i) {
    v.statPanels[i] = new QLabel(v.statBar);
    if (widths[i] > 0) v.statPanels[i]->setFixedWidth(widths[i]);
    v.statBar->addWidget(v.statPanels[i], widths[i] > 0 ? 0 : 1);
  }
  window->setStatusBar(v.statBar);

  v.actions = MakeActions(window, enabled);
  v.btnZones = new QToolButton(v.statBar);
  v.btnZones->setObjectName("btnZones");
  v.btnZones->setAutoRaise(true);
  v.btnZones->setDefaultAction(v.actions.acZones);
  v.statBar->addPermanentWidget(v.btnZones);
  v.btnSettings = new QToolButton(v.statBar);
  v.btnSettings->setObjectName("btnSettings");
  v.btnSettings->setAutoRaise(true);
  v.btnSettings->setDefaultAction(v.actions.acSettings);
  v.statBar->addPermanentWidget(v.btnSettings);
  BindControls(v);
  return v;
}

void PopupMenuUnder(QWidget* control, QMenu* menu) {
  const QRect r = control->rect();
  menu->popup(control->mapToGlobal(QPoint(r.left(), control->height())));
}

}  // namespace kestrel::ui
