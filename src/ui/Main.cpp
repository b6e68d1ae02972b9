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

// The parts of the window's work, made in the order they need each other (and torn down the
// other way round).
struct TMainFrm::Controllers {
  Controllers(WindowServices& services, const MainView& v, ZoneTable& zones, std::function<WindowChoice()> choice)
      : playLists(services, v),
        zoneList(services, v, zones, playLists),
        zoneCommands(v, zoneList.Checking(), playLists, std::move(choice)),
        uploads(services, v, playLists),
        playListOps(services, v, playLists, uploads) {}

  PlayListController playLists;
  ZoneListController zoneList;
  ZoneCommandsController zoneCommands;
  UploadController uploads;
  PlayListOpsController playListOps;
};

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
  controllers_ = std::make_unique<Controllers>(services_, v, zones_, [this] { return Choice(); });
  connect(v.actions.acZones, &QAction::triggered, &controllers_->zoneList, &ZoneListController::acZonesExecute);

  // Ctrl+Alt+Shift+L shows or hides the "Update Play List" button, whichever control has the focus.
  auto* hiddenKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_L), this);
  hiddenKey->setContext(Qt::WindowShortcut);
  connect(hiddenKey, &QShortcut::activated, this, &TMainFrm::FormKeyDown);
}

TMainFrm::~TMainFrm() {
  // The views outlive the models as they are torn down: let none of their signals reach the
  // controllers.
  Controllers& c = *controllers_;
  const QObject* controllers[] = {&c.playLists, &c.zoneList, &c.zoneCommands, &c.uploads, &c.playListOps};
  for (TListView* list : {view_->zones.lvPlayZones, view_->playLists.lvPlayList, view_->songs.lvSongList})
    for (const QObject* controller : controllers) list->disconnect(controller);
  c.playLists.DetachStore();
}

ZoneListController& TMainFrm::ZoneList() { return controllers_->zoneList; }
ZoneCommandsController& TMainFrm::ZoneCommands() { return controllers_->zoneCommands; }
PlayListController& TMainFrm::PlayLists() { return controllers_->playLists; }
PlayListOpsController& TMainFrm::PlayListOps() { return controllers_->playListOps; }
UploadController& TMainFrm::Uploads() { return controllers_->uploads; }

WindowChoice TMainFrm::Choice() const {
  WindowChoice choice;
  // The update handlers run only once the window is made.
  if (!controllers_) return choice;
  const Controllers& c = *controllers_;
  choice.zoneChecked = c.zoneList.Checking().AnyChecked();
  choice.playListSelected = c.playLists.PlayListSelected();
  choice.songSelected = c.playLists.SongSelected();
  choice.songChecked = c.playLists.AnySongChecked();
  return choice;
}

void TMainFrm::ResetStartValues() {
  ZoneList().ResetCheckChanged();
  view_->zones.tkBarVol->setEnabled(false);
}

std::string TMainFrm::LoadZones() { return ZoneList().LoadZones(); }

void TMainFrm::SetZoneControl(ZoneControl* control) { ZoneCommands().SetZoneControl(control); }

void TMainFrm::AttachStore(FtpClient& ftp, PlayListStore& store) { PlayLists().AttachStore(ftp, store); }

void TMainFrm::DetachStore() { PlayLists().DetachStore(); }

void TMainFrm::ListPlayLists(const std::string& reselect) { PlayLists().ListPlayLists(reselect); }

void TMainFrm::AcceptFileDrops() { Uploads().AcceptFileDrops(); }

bool TMainFrm::AcceptsFileDrops() const { return controllers_->uploads.AcceptsFileDrops(); }

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
  Uploads().CancelUpload();
  if (closeQuery_) closeQuery_();
  event->accept();
}

}  // namespace kestrel::ui
