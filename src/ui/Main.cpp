#include "ui/Main.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "ui/AnchorLayout.h"
#include "ui/UnitProgressBar.h"

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

QFont SansSerif13() {
  QFont f("Microsoft Sans Serif");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(13);
  return f;
}

}  // namespace

TMainFrm::TMainFrm(AppContext& context, SharedState& state, ZoneTable& zones, QWidget* parent)
    : QMainWindow(parent), context_(context), state_(state), zones_(zones) {
  setObjectName("MainFrm");
  setWindowTitle("Coral Winds Veltra Play List Management");
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  setFont(font);
  setGeometry(22, 1, 981, 704);
  // Reports are stored on the receive thread; their rows are redrawn on the window thread.
  zones_.SetRowTextHandler([this](std::size_t row, const std::string& text) {
    gate_.Post([this, row, text] { ShowZoneStatus(static_cast<int>(row), QString::fromStdString(text)); });
  });

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  CreateZoneArea();
  column->addWidget(pnlBottom);

  splLeft = new QSplitter(Qt::Horizontal, central);
  splLeft->setObjectName("splLeft");
  splLeft->setChildrenCollapsible(false);
  splLeft->setHandleWidth(3);
  CreatePlayListArea();
  CreateSongArea();
  splLeft->addWidget(pnlLeft);
  splLeft->addWidget(pnlClient);
  splLeft->setStretchFactor(0, 0);
  splLeft->setStretchFactor(1, 1);
  splLeft->setSizes({345, 633});
  column->addWidget(splLeft, 1);

  statBar = new QStatusBar(this);
  statBar->setObjectName("statBar");
  statBar->setSizeGripEnabled(false);
  statBar->setFixedHeight(19);
  const int widths[] = {150, 200, 0};
  for (int i = 0; i < 3; ++i) {
    statPanels_[static_cast<size_t>(i)] = new QLabel(statBar);
    if (widths[i] > 0) statPanels_[static_cast<size_t>(i)]->setFixedWidth(widths[i]);
    statBar->addWidget(statPanels_[static_cast<size_t>(i)], widths[i] > 0 ? 0 : 1);
  }
  setStatusBar(statBar);

  CreateActions();
  BindControls();
  BindZoneControl();
  progress_ = new TUnitProgressBarFrm(this);
  SetDropHandler([this](const std::vector<std::string>& paths) { DropFiles(paths); });
  connect(acCopyTo, &QAction::triggered, this, &TMainFrm::acCopyToExecute);
  BindPlayListOperations();

  // Ctrl+Alt+Shift+L shows or hides the "Update Play List" button, whichever control has the focus.
  auto* hiddenKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_L), this);
  hiddenKey->setContext(Qt::WindowShortcut);
  connect(hiddenKey, &QShortcut::activated, this, &TMainFrm::FormKeyDown);
}

TMainFrm::~TMainFrm() {
  // The views outlive the models as they are torn down: let none of their signals reach us.
  for (QObject* view : {static_cast<QObject*>(lvPlayZones), static_cast<QObject*>(lvPlayList),
                        static_cast<QObject*>(lvSongList)})
    view->disconnect(this);
  DetachStore();
  zones_.SetRowTextHandler(nullptr);
}

void TMainFrm::CreateZoneArea() {
  pnlBottom = new QWidget(this);
  pnlBottom->setObjectName("pnlBottom");
  pnlBottom->setFixedHeight(kZoneAreaHeight);
  auto* anchors = new TAnchorLayout(pnlBottom, QSize(981, kZoneAreaHeight));

  lblPlayStatus = MakeLabel(pnlBottom, "lblPlayStatus", "Check the zones you want to control");
  lblSelectedZones = MakeLabel(pnlBottom, "lblSelectedZones", "Total checked zones:");
  lblZoneSelectedCount = MakeLabel(pnlBottom, "lblZoneSelectedCount", "0");
  lblZoneSelectedCount->setFont(SansSerif13());
  SetTextColour(lblZoneSelectedCount, Qt::blue);
  anchors->Place(lblPlayStatus, QRect(5, 11, 0, 0));
  anchors->Place(lblSelectedZones, QRect(293, 11, 0, 0));
  anchors->Place(lblZoneSelectedCount, QRect(428, 11, 60, 0));

  lvPlayZones = new TListView("lvPlayZones", {{"ZoneName", 150, 60, 0}, {"Play Status", 750, 0, 0}}, true, pnlBottom);
  anchors->Place(lvPlayZones, QRect(5, 30, 969, 201), kAnchorAll);

  grpZoneOperations = new QGroupBox("Zone Control", pnlBottom);
  grpZoneOperations->setObjectName("grpZoneOperations");
  anchors->Place(grpZoneOperations, QRect(5, 236, 969, 53), akLeft | akRight | akBottom);

  auto* row = new TAnchorLayout(grpZoneOperations, QSize(969, 53));
  const int leftBottom = akLeft | akBottom;
  btnPreAll = MakeButton(grpZoneOperations, "btnPreAll", "PREV Song");
  btnNextAll = MakeButton(grpZoneOperations, "btnNextAll", "Next Song");
  btnPlayAll = MakeButton(grpZoneOperations, "btnPlayAll", "Play");
  btnStopAll = MakeButton(grpZoneOperations, "btnStopAll", "Stop");
  btnUpdateList = MakeButton(grpZoneOperations, "btnUpdateList");
  btnMute = MakeButton(grpZoneOperations, "btnMute", "Mute");
  lblVolume = MakeLabel(grpZoneOperations, "lblVolume", "Volume");
  tkBarVol = new QSlider(Qt::Horizontal, grpZoneOperations);
  tkBarVol->setObjectName("tkBarVol");
  tkBarVol->setRange(0, 79);
  tkBarVol->setPageStep(1);
  tkBarVol->setTickPosition(QSlider::TicksBelow);
  tkBarVol->setTickInterval(10);
  tkBarVol->setEnabled(false);
  btnPlayModeAll = MakeButton(grpZoneOperations, "btnPlayModeAll", "Play Mode");
  row->Place(btnPreAll, QRect(5, 20, 100, 23), leftBottom);
  row->Place(btnNextAll, QRect(110, 20, 100, 23), leftBottom);
  row->Place(btnPlayAll, QRect(231, 20, 100, 23), leftBottom);
  row->Place(btnStopAll, QRect(336, 20, 100, 23), leftBottom);
  row->Place(btnUpdateList, QRect(448, 20, 113, 23), kAnchorTopLeft);
  row->Place(btnMute, QRect(617, 20, 35, 23), leftBottom);
  row->Place(lblVolume, QRect(656, 24, 0, 0), leftBottom);
  row->Place(tkBarVol, QRect(699, 20, 150, 22), leftBottom);
  row->Place(btnPlayModeAll, QRect(864, 20, 100, 23), akRight | akBottom);
  btnUpdateList->hide();
}

void TMainFrm::CreatePlayListArea() {
  pnlLeft = new QWidget;
  pnlLeft->setObjectName("pnlLeft");
  pnlLeft->setMinimumWidth(120);
  auto* anchors = new TAnchorLayout(pnlLeft, QSize(345, 385));
  const int leftBottom = akLeft | akBottom;

  lblPlayList = MakeLabel(pnlLeft, "lblPlayList", "Play List :");
  lblCurList = MakeLabel(pnlLeft, "lblCurList", "");
  SetTextColour(lblCurList, Qt::red);
  anchors->Place(lblPlayList, QRect(5, 8, 0, 0));
  anchors->Place(lblCurList, QRect(65, 8, 275, 0), akLeft | akTop | akRight);

  lvPlayList = new TListView("lvPlayList", {{"NO.", 50, 0, 0}, {"Play List Name", 270, 100, 1000}}, false, pnlLeft);
  anchors->Place(lvPlayList, QRect(5, 24, 339, 331), kAnchorAll);

  btnListAdd = MakeButton(pnlLeft, "btnListAdd");
  btnListEdit = MakeButton(pnlLeft, "btnListEdit");
  btnListDelete = MakeButton(pnlLeft, "btnListDelete");
  btnRefreshPL = MakeButton(pnlLeft, "btnRefreshPL", "Refresh List");
  anchors->Place(btnListAdd, QRect(4, 358, 70, 23), leftBottom);
  anchors->Place(btnListEdit, QRect(79, 358, 70, 23), leftBottom);
  anchors->Place(btnListDelete, QRect(154, 358, 70, 23), leftBottom);
  anchors->Place(btnRefreshPL, QRect(229, 358, 80, 23), leftBottom);
}

void TMainFrm::CreateSongArea() {
  pnlClient = new QWidget;
  pnlClient->setObjectName("pnlClient");
  pnlClient->setMinimumWidth(300);
  auto* anchors = new TAnchorLayout(pnlClient, QSize(630, 385));
  const int leftBottom = akLeft | akBottom, rightBottom = akRight | akBottom, rightTop = akRight | akTop;

  lblSongList = MakeLabel(pnlClient, "lblSongList", "Song List :");
  lblSelectedSong = MakeLabel(pnlClient, "lblSelectedSong", "");
  SetTextColour(lblSelectedSong, Qt::red);
  lblSongChecked = MakeLabel(pnlClient, "lblSongChecked", "Total checked songs:");
  lblTotalCheckedSongs = MakeLabel(pnlClient, "lblTotalCheckedSongs", "0");
  lblTotalCheckedSongs->setFont(SansSerif13());
  SetTextColour(lblTotalCheckedSongs, Qt::blue);
  anchors->Place(lblSongList, QRect(4, 8, 0, 0));
  anchors->Place(lblSelectedSong, QRect(68, 8, 365, 0), akLeft | akTop | akRight);
  anchors->Place(lblSongChecked, QRect(439, 8, 0, 0), rightTop);
  anchors->Place(lblTotalCheckedSongs, QRect(574, 8, 50, 0), rightTop);

  lvSongList = new TListView("lvSongList", {{"NO.", 50, 31, 100}, {"Song Name", 500, 150, 2000}}, true, pnlClient);
  anchors->Place(lvSongList, QRect(1, 24, 625, 331), kAnchorAll);

  btnSongAdd = MakeButton(pnlClient, "btnSongAdd");
  btnSongDelete = MakeButton(pnlClient, "btnSongDelete");
  SetTextColour(btnSongDelete, Qt::red);
  btnPlaySelected = MakeButton(pnlClient, "btnPlaySelected");
  SetTextColour(btnPlaySelected, Qt::blue);
  btnCopyTo = MakeButton(pnlClient, "btnCopyTo");
  btnMoveto = MakeButton(pnlClient, "btnMoveto");
  anchors->Place(btnSongAdd, QRect(4, 358, 77, 23), leftBottom);
  anchors->Place(btnSongDelete, QRect(83, 358, 150, 23), leftBottom);
  anchors->Place(btnPlaySelected, QRect(238, 358, 150, 23), leftBottom);
  anchors->Place(btnCopyTo, QRect(457, 358, 79, 23), rightBottom);
  anchors->Place(btnMoveto, QRect(541, 358, 79, 23), rightBottom);
  btnPlaySelected->hide();
}

void TMainFrm::CreateActions() {
  actlstMain = new TActionList(this);
  auto zoneRule = [this] { return acPrevSongUpdate(); };
  auto playListRule = [this] { return PlayListSelected(); };
  auto songCheckedRule = [this] { return AnySongChecked(); };
  TActionList& a = *actlstMain;
  acEditList = a.Add("acEditList", "Edit List...", 0, playListRule, nullptr);
  acAddList = a.Add("acAddList", "Add List...", 0, nullptr, nullptr);
  acDeleteList = a.Add("acDeleteList", "Delete List", 0, playListRule, nullptr);
  acAddSong = a.Add("acAddSong", "Add Song...", 0, playListRule, [this](QAction*) { acAddSongExecute(); });
  acDeleteSong = a.Add("acDeleteSong", "Delete Checked Songs", 0, songCheckedRule, nullptr);
  acPrevSong = a.Add("acPrevSong", "Prev Song", 0, zoneRule, nullptr);
  acNextSong = a.Add("acNextSong", "Next Song", 0, zoneRule, nullptr);
  acPlay = a.Add("acPlay", "Play", 0, zoneRule, nullptr);
  acStop = a.Add("acStop", "Stop", 0, zoneRule, nullptr);
  acMute = a.Add("acMute", "Mute", 0, zoneRule, nullptr);
  acPlaySelectedSong = a.Add("acPlaySelectedSong", "Play Selected Song", 0,
                             [this] { return acPlaySelectedSongUpdate(); }, nullptr);
  acUpdateZonePlayList = a.Add("acUpdateZonePlayList", "Update Play List", 0, zoneRule, nullptr);
  acMoveTo = a.Add("acMoveTo", "Move To...", 0, songCheckedRule, nullptr);
  acCopyTo = a.Add("acCopyTo", "Copy To...", 0, songCheckedRule, nullptr);
  acSinglePlay = a.Add("acSinglePlay", "Play One", 1, zoneRule, nullptr);
  acSingleCycle = a.Add("acSingleCycle", "Repeat One", 2, zoneRule, nullptr);
  acListPlay = a.Add("acListPlay", "Play List", 3, zoneRule, nullptr);
  acListCycle = a.Add("acListCycle", "Repeat List", 4, zoneRule, nullptr);
  acPlayMode = a.Add("acPlayMode", "Play Mode", 0, zoneRule, [this](QAction*) { acPlayModeExecute(); });

  pmPlayMode = new QMenu(this);
  pmPlayMode->setObjectName("pmPlayMode");
  TActionList::AddMenuItem(pmPlayMode, "pmiSinglePlay", acSinglePlay);
  TActionList::AddMenuItem(pmPlayMode, "pmiSingleCycle", acSingleCycle);
  TActionList::AddMenuItem(pmPlayMode, "pmiListPlay", acListPlay, "Continued");
  TActionList::AddMenuItem(pmPlayMode, "pmiListCycle", acListCycle, "Repeat All");

  pmPlayList = new QMenu(this);
  pmPlayList->setObjectName("pmPlayList");
  TActionList::AddMenuItem(pmPlayList, "pmiAddList", acAddList);
  TActionList::AddMenuItem(pmPlayList, "pmiEditList", acEditList);
  TActionList::AddMenuItem(pmPlayList, "pmiDeleteList", acDeleteList);

  pmSongList = new QMenu(this);
  pmSongList->setObjectName("pmSongList");
  TActionList::AddMenuItem(pmSongList, "pmiAddSong", acAddSong);
  TActionList::AddMenuItem(pmSongList, "pmiDeleteSong", acDeleteSong);

  // The volume track bar is usable exactly when the zone commands are.
  connect(acPrevSong, &QAction::changed, tkBarVol, [this] { tkBarVol->setEnabled(acPrevSong->isEnabled()); });
}

void TMainFrm::BindControls() {
  const std::pair<QPushButton*, QAction*> bindings[] = {
      {btnPreAll, acPrevSong},        {btnNextAll, acNextSong},       {btnPlayAll, acPlay},
      {btnStopAll, acStop},           {btnUpdateList, acUpdateZonePlayList}, {btnMute, acMute},
      {btnPlayModeAll, acPlayMode},   {btnListAdd, acAddList},        {btnListEdit, acEditList},
      {btnListDelete, acDeleteList},  {btnSongAdd, acAddSong},        {btnSongDelete, acDeleteSong},
      {btnPlaySelected, acPlaySelectedSong}, {btnCopyTo, acCopyTo},   {btnMoveto, acMoveTo}};
  for (const auto& [button, action] : bindings) TActionList::Bind(button, action);

  // The play mode menu opens below the control that triggered it.
  disconnect(btnPlayModeAll, &QPushButton::clicked, acPlayMode, nullptr);
  connect(btnPlayModeAll, &QPushButton::clicked, this, [this] {
    if (acPlayMode->isEnabled()) PopupMenuUnder(btnPlayModeAll, pmPlayMode);
  });

  for (TListView* view : {lvPlayList, lvSongList}) view->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvPlayList, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { pmPlayList->popup(lvPlayList->viewport()->mapToGlobal(p)); });
  connect(lvSongList, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { pmSongList->popup(lvSongList->viewport()->mapToGlobal(p)); });

  connect(btnRefreshPL, &QPushButton::clicked, this, &TMainFrm::btnRefreshPLClick);
  connect(lvPlayList, &QTableWidget::itemSelectionChanged, this, &TMainFrm::lvPlayListChange);
  connect(lvSongList, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { lvSongListChange(item->row()); });
  connect(lvSongList, &QTableWidget::itemSelectionChanged, this, [this] { lvSongListChange(-1); });
  connect(lvSongList, &QTableWidget::itemDoubleClicked, this, [this] { lvSongListDblClick(); });
  lvSongList->SetRowColourRule([this](int row) -> std::optional<std::pair<QColor, QColor>> {
    if (!lvSongList->IsChecked(row)) return std::nullopt;
    return std::make_pair(QColor(255, 0, 0), QColor(0, 128, 0));
  });

  connect(lvPlayZones, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { lvPlayZonesChange(item->row()); });
  connect(lvPlayZones, &QTableWidget::itemSelectionChanged, this, [this] { lvPlayZonesChange(lvPlayZones->currentRow()); });
  connect(lvPlayZones, &QTableWidget::clicked, this, [this] { lvPlayZonesClick(); });
  lvPlayZones->SetRowColourRule([this](int row) -> std::optional<std::pair<QColor, QColor>> {
    if (!lvPlayZones->IsChecked(row)) return std::nullopt;
    return std::make_pair(QColor(255, 255, 255), QColor(0, 0, 255));
  });
}

void TMainFrm::PopupMenuUnder(QWidget* control, QMenu* menu) {
  const QRect r = control->rect();
  menu->popup(control->mapToGlobal(QPoint(r.left(), control->height())));
}

void TMainFrm::acPlayModeExecute() { PopupMenuUnder(btnPlayModeAll, pmPlayMode); }

void TMainFrm::FormKeyDown() { btnUpdateList->setVisible(!btnUpdateList->isVisible()); }

void TMainFrm::SetStatusPanel(int panel, const QString& text) { statPanels_.at(static_cast<size_t>(panel))->setText(text); }

QString TMainFrm::StatusPanel(int panel) const { return statPanels_.at(static_cast<size_t>(panel))->text(); }

bool TMainFrm::acPrevSongUpdate() const { return AnyZoneChecked(); }

bool TMainFrm::PlayListSelected() const { return lvPlayList->SelectedRow() >= 0; }

bool TMainFrm::AnySongChecked() const {
  for (int row = 0; row < lvSongList->rowCount(); ++row)
    if (lvSongList->IsChecked(row)) return true;
  return false;
}

bool TMainFrm::acPlaySelectedSongUpdate() const { return lvSongList->SelectedRow() >= 0 && AnyZoneChecked(); }

void TMainFrm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  state_.StartupFlag = false;
  // The first listing runs once the window has been drawn, so the user sees it while connecting.
  QMetaObject::invokeMethod(this, [this] { if (firstShow_) firstShow_(); }, Qt::QueuedConnection);
}

void TMainFrm::closeEvent(QCloseEvent* event) {
  // A running upload stops first, so that the shutdown does not wait for it.
  progress_->btnCancelClick();
  if (closeQuery_) closeQuery_();
  event->accept();
}

}  // namespace kestrel::ui
