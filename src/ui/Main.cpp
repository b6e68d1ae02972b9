#include "ui/Main.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>

#include "ui/ActionList.h"
#include "ui/ListView.h"
#include "ui/MainView.h"
#include "ui/PlayListController.h"
#include "ui/PlayListOpsController.h"
#include "ui/UploadController.h"
#include "ui/ZoneCommandsController.h"
#include "ui/ZoneListController.h"

namespace kestrel::ui {

TMainFrm::TMainFrm(AppContext& context, SharedState& state, ZoneTable& zones, QWidget* parent)
    : QMainWindow(parent), zones_(zones), services_{context, state, this, gate_, {}, {}} {
  setObjectName("MainFrm");
  setWindowTitle("Coral Winds Veltra Play List Management");
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  setFont(font);
  setGeometry(22, 1, 981, 704);

  const EnablingFn enabled = [this](EnablingRule rule) { return IsEnabled(rule, Choice()); };
  view_ = std::make_unique<MainView>(BuildMainView(this, enabled));
  const MainView& v = *view_;
  playLists_ = std::make_unique<PlayListController>(services_, v);
  zoneList_ = std::make_unique<ZoneListController>(services_, v, zones_, *playLists_);
  connect(v.actions.acZones, &QAction::triggered, zoneList_.get(), &ZoneListController::acZonesExecute);
  zoneCommands_ = std::make_unique<ZoneCommandsController>(v, zoneList_->Checking(), *playLists_,
                                                           [this] { return Choice(); });
  uploads_ = std::make_unique<UploadController>(services_, v, *playLists_);
  playListOps_ = std::make_unique<PlayListOpsController>(services_, v, *playLists_, *uploads_);

  // Ctrl+Alt+Shift+L shows or hides the "Update Play List" button, whichever control has the focus.
  auto* hiddenKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_L), this);
  hiddenKey->setContext(Qt::WindowShortcut);
  connect(hiddenKey, &QShortcut::activated, this, &TMainFrm::FormKeyDown);
}

TMainFrm::~TMainFrm() {
  // The views outlive the models as they are torn down: let none of their signals reach the
  // controllers.
  const QObject* controllers[] = {playLists_.get(), zoneList_.get(), zoneCommands_.get(), uploads_.get(),
                                  playListOps_.get()};
  for (TListView* list : {view_->zones.lvPlayZones, view_->playLists.lvPlayList, view_->songs.lvSongList})
    for (const QObject* controller : controllers) list->disconnect(controller);
  playLists_->DetachStore();
}

WindowChoice TMainFrm::Choice() const {
  WindowChoice choice;
  // The update handlers run only once the window is made.
  if (!zoneList_ || !playLists_) return choice;
  choice.zoneChecked = zoneList_->Checking().AnyChecked();
  choice.playListSelected = playLists_->PlayListSelected();
  choice.songSelected = playLists_->SongSelected();
  choice.songChecked = playLists_->AnySongChecked();
  return choice;
}

void TMainFrm::ResetStartValues() {
  zoneList_->ResetCheckChanged();
  view_->zones.tkBarVol->setEnabled(false);
}

std::string TMainFrm::LoadZones() { return zoneList_->LoadZones(); }

void TMainFrm::SetZoneControl(ZoneControl* control) { zoneCommands_->SetZoneControl(control); }

void TMainFrm::AttachStore(FtpClient& ftp, PlayListStore& store) { playLists_->AttachStore(ftp, store); }

void TMainFrm::DetachStore() { playLists_->DetachStore(); }

void TMainFrm::ListPlayLists(const std::string& reselect) { playLists_->ListPlayLists(reselect); }

void TMainFrm::AcceptFileDrops() { uploads_->AcceptFileDrops(); }

bool TMainFrm::AcceptsFileDrops() const { return uploads_->AcceptsFileDrops(); }

void TMainFrm::SetStatusPanel(int panel, const QString& text) {
  view_->statPanels.at(static_cast<size_t>(panel))->setText(text);
}

void TMainFrm::UpdateActions() { view_->actions.actlstMain->UpdateAll(); }

void TMainFrm::FormKeyDown() {
  QPushButton* button = view_->zones.btnUpdateList;
  button->setVisible(!button->isVisible());
}

void TMainFrm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  services_.state.StartupFlag = false;
  // The first listing runs once the window has been drawn, so the user sees it while connecting.
  QMetaObject::invokeMethod(this, [this] { if (firstShow_) firstShow_(); }, Qt::QueuedConnection);
}

void TMainFrm::closeEvent(QCloseEvent* event) {
  // A running upload stops first, so that the shutdown does not wait for it.
  uploads_->CancelUpload();
  if (closeQuery_) closeQuery_();
  event->accept();
}

}  // namespace kestrel::ui
