// The zone list of the main window: the rows read from Zone.ini, their status texts, the
// counting of checked zones and the row colours, and a click on a row, which shows what the
// zone plays in the play list and song views.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/MainView.h"
#include "ui/UnitZoneList.h"
#include "ui/WindowServices.h"
#include "zones/ZoneChecking.h"
#include "zones/ZoneTable.h"

namespace kestrel::ui {

class PlayListController;

class ZoneListController : public QObject {
  Q_OBJECT
 public:
  // Presents the zone area of `view` with the rows of `zones`; a click on a row shows what the
  // zone plays in `playLists`.
  ZoneListController(WindowServices& services, const MainView& view, ZoneTable& zones, PlayListController& playLists);
  ~ZoneListController() override;

  // Reads Settings/Zone.ini into the zone list. A zone whose ID is outside 0..255 is left out and
  // the others are read: the result tells of each zone left out, one a line (empty: none). An ID
  // that is not a number throws EConvertError after the zones before it got their rows.
  std::string LoadZones();
  // The checked zones and their count; the count label shows the count.
  const ZoneChecking& Checking() const { return checking_; }
  // The zone-check-changed flag's start value.
  void ResetCheckChanged() { checking_.ClearCheckChanged(); }
  // Shows a zone's status text in its row (window thread).
  void ShowZoneStatus(int row, const QString& text);
  // Marks a row whose zone has stopped answering, or takes the mark off: the row greys and its
  // status text, kept as it was, follows "No answer since TIME.  " (window thread).
  void ShowZoneAnswering(int row, bool answering, std::int64_t lastAnswer);
  // "No answer since 14:03.  " with the time in the user's locale (and the date when it is not
  // today), or "No answer.  " for a zone that never answered.
  static QString NoAnswerText(std::int64_t lastAnswer);

  // The zone list dialog ("Zones..."): `scanners` give "Find Zones" its scanner (none: no
  // finding); after OK has written Zone.ini, `reload` reads the zones anew with the threads
  // that use them held (none: ReloadZones alone, for a window without threads).
  void SetZoneEditing(TUnitZoneListFrm::ScannerFactory scanners, std::function<void()> reload);
  void acZonesExecute();
  // Closes the dialog if it is open, cancelling a scan; before the bus and threads go.
  void EndZoneEditing();
  // Empties the zone list and reads Zone.ini into it again, nothing checked. Status texts on
  // their way for the rows before are dropped. Empty, or what stopped the reading (the zones
  // before it keep their rows); `skipped` tells of the zones left out (LoadZones).
  std::string ReloadZones(std::string& skipped);

 private:
  void lvPlayZonesChange(int row);
  void lvPlayZonesClick();
  void RedrawStatus(int row);

  WindowServices& services_;
  ZoneArea area_;
  ZoneTable& zones_;
  PlayListController& playLists_;
  ZoneChecking checking_;
  // What each row shows in its "Play Status" cell.
  struct RowStatus {
    QString text;
    bool answering = true;
    std::int64_t lastAnswer = 0;
  };
  std::vector<RowStatus> rowStatus_;
  // Counts the readings of the zone list; a status text is shown only in the reading it was
  // sent for.
  std::atomic<unsigned> generation_{0};
  TUnitZoneListFrm::ScannerFactory scanners_;
  std::function<void()> reload_;
  QPointer<TUnitZoneListFrm> dialog_;
};

}  // namespace kestrel::ui
