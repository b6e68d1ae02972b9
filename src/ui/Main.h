// The main window: zones with their status and the zone controls at the top, the play lists at
// the lower left, the songs of the selected play list at the lower right, a status bar below.
// The window makes its components (MainView) and hands each part of its work to a controller:
// the zone list, the zone commands, the play list and song views, their operations, and the
// uploads. It keeps its components to itself; the session and the tests go in through the
// controllers.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "core/AppContext.h"
#include "core/OperationRunner.h"
#include "core/SharedState.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "ui/WindowServices.h"
#include "ui/WindowThreadGate.h"
#include "zones/ActionRules.h"
#include "zones/ZoneControl.h"
#include "zones/ZoneTable.h"

namespace kestrel::ui {

struct MainView;
class PlayListController;
class PlayListOpsController;
class UploadController;
class ZoneCommandsController;
class ZoneListController;

class TMainFrm : public QMainWindow {
  Q_OBJECT
 public:
  // The window shows `zones` and follows the flags of `state`; it reads the Settings folder and
  // asks through the prompts of `context`. All three outlive it.
  TMainFrm(AppContext& context, SharedState& state, ZoneTable& zones, QWidget* parent = nullptr);
  ~TMainFrm() override;

  SharedState& State() { return services_.state; }
  // Work handed to the window thread by other threads (prompts, store listener, progress).
  WindowThreadGate& Gate() { return gate_; }
  ZoneTable& Zones() { return zones_; }

  // The parts of the window's work.
  ZoneListController& ZoneList();
  ZoneCommandsController& ZoneCommands();
  PlayListController& PlayLists();
  PlayListOpsController& PlayListOps();
  UploadController& Uploads();

  // What the start-up gives the window: the zone-check-changed flag lowered, the volume track bar
  // disabled.
  void ResetStartValues();
  // Reads Settings/Zone.ini into the zone list; tells of the zones left out
  // (ZoneListController::LoadZones).
  std::string LoadZones();
  // The zone commands go to `control` (nullptr: they do nothing).
  void SetZoneControl(ZoneControl* control);
  // The play list and song views show the store, which `ftp` fills (PlayListController).
  void AttachStore(FtpClient& ftp, PlayListStore& store);
  void DetachStore();
  void ListPlayLists(const std::string& reselect);
  // The song list takes files dropped from the desktop or a file manager (UploadController).
  void AcceptFileDrops();
  bool AcceptsFileDrops() const;

  void SetStatusPanel(int panel, const QString& text);
  // Runs every action's update handler now (the idle hook does this by itself).
  void UpdateActions();

  // Runs a library operation that talks to the network (FTP). The session installs a runner that
  // moves it off the window thread while the window stays painted but disabled; questions the
  // operation asks on the way are answered on the window thread through the prompts. Without a
  // runner (the window on its own, as in widget tests) the operation runs at once.
  void SetOperationRunner(OperationRunner runner) { services_.run = std::move(runner); }
  void RunOperation(const std::function<void()>& operation) { services_.Run(operation); }
  // The same for an operation during which the window stays in use (a play list's songs being
  // read); `done` follows on the window thread. Without a runner both run at once.
  void SetBackgroundRunner(BackgroundRunner runner) { services_.runInBackground = std::move(runner); }
  void RunInBackground(std::function<void()> operation, std::function<void()> done) {
    services_.RunInBackground(std::move(operation), std::move(done));
  }

  // Called when the window is asked to close, before it closes (the close is never refused).
  void SetCloseQueryHandler(std::function<void()> handler) { closeQuery_ = std::move(handler); }
  // Called the first time the window is shown, after the start-up flag was cleared.
  void SetFirstShowHandler(std::function<void()> handler) { firstShow_ = std::move(handler); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the user has chosen, as the enabling rules see it.
  WindowChoice Choice() const;
  void FormKeyDown();

  ZoneTable& zones_;
  WindowThreadGate gate_;
  WindowServices services_;  // what the controllers share
  std::unique_ptr<MainView> view_;
  struct Controllers;
  std::unique_ptr<Controllers> controllers_;  // made once the view is
  bool shownOnce_ = false;
  std::function<void()> closeQuery_;
  std::function<void()> firstShow_;
};

}  // namespace kestrel::ui
