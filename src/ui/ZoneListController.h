// The zone list of the main window: the rows read from Zone.ini, their status texts, the
// counting of checked zones and the row colours, and a click on a row, which shows what the
// zone plays in the play list and song views.
#pragma once

#include <QObject>
#include <QString>

#include "core/AppContext.h"
#include "core/SharedState.h"
#include "ui/MainView.h"
#include "zones/ZoneChecking.h"
#include "zones/ZoneTable.h"

namespace kestrel::ui {

class PlayListController;
class WindowThreadGate;

class ZoneListController : public QObject {
  Q_OBJECT
 public:
  ZoneListController(AppContext& context, const ZoneArea& area, ZoneTable& zones, SharedState& state,
                     WindowThreadGate& gate, PlayListController& playLists);
  ~ZoneListController() override;

  // Reads Settings/Zone.ini into the zone list; a bad ID throws EConvertError after the zones
  // before it got their rows.
  void LoadZones();
  // The checked zones and their count; the count label shows the count.
  const ZoneChecking& Checking() const { return checking_; }
  // The zone-check-changed flag's start value.
  void ResetCheckChanged() { checking_.ClearCheckChanged(); }
  // Shows a zone's status text in its row (window thread).
  void ShowZoneStatus(int row, const QString& text);

 private:
  void lvPlayZonesChange(int row);
  void lvPlayZonesClick();

  AppContext& context_;
  ZoneArea area_;
  ZoneTable& zones_;
  SharedState& state_;
  PlayListController& playLists_;
  ZoneChecking checking_;
};

}  // namespace kestrel::ui
