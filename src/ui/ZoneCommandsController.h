// The zone control row of the main window and "Play Selected Song": each handler gathers what
// the user chose (the checked zones, the selected play list and song) and hands it to the zone
// control unit. "Play" decides by the enabling rule of "Play Selected Song" whether it plays the
// chosen song.
#pragma once

#include <QObject>
#include <functional>
#include <optional>

#include "ui/MainView.h"
#include "zones/ActionRules.h"
#include "zones/ZoneChecking.h"
#include "zones/ZoneControl.h"

namespace kestrel::ui {

class PlayListController;

class ZoneCommandsController : public QObject {
  Q_OBJECT
 public:
  // Handles the zone control row and the song list's double click of `view`; `checking` gives
  // the checked zones, `playLists` the chosen song, `choice` what the user has chosen in the
  // window now.
  ZoneCommandsController(const MainView& view, const ZoneChecking& checking, const PlayListController& playLists,
                         std::function<WindowChoice()> choice);

  // The unit the zone commands go to (nullptr: the commands do nothing).
  void SetZoneControl(ZoneControl* control) { control_ = control; }

  void acPrevSongExecute();
  void acNextSongExecute();
  void acPlayExecute();
  void acStopExecute();
  void acMuteExecute();
  void acPlaySelectedSongExecute();
  void acUpdateZonePlayListExecute();
  void acPlayModeExecute();
  void vSetPlayMode(QAction* action);
  void tkBarVolChange(int position);
  // A double click on a song row: "Play Selected Song" when it is enabled.
  void lvSongListDblClick();

 private:
  // Runs `command` for the checked zones.
  void ToCheckedZones(void (ZoneControl::*command)(const ZoneChecks&));
  // The checked zones, once they have reloaded their play lists if that is needed; none without
  // a zone control unit.
  std::optional<ZoneChecks> ReloadedChecks();

  ZoneArea area_;
  MainActions actions_;
  const ZoneChecking& checking_;
  const PlayListController& playLists_;
  std::function<WindowChoice()> choice_;
  ZoneControl* control_ = nullptr;
};

}  // namespace kestrel::ui
