// The zone list of the main window: loading, check counting, row colours and status texts.
#include <QLabel>
#include <QString>

#include "core/AppContext.h"
#include "ui/Main.h"
#include "zones/ZoneIni.h"

namespace kestrel::ui {

void TMainFrm::LoadZones() {
  ReadZoneIni(context_.SettingsFile("Zone.ini"), [this](const ZoneDefinition& zone) {
    zones_.Append(zone);
    lvPlayZones->AddRow({QString::fromStdString(zone.name), QString()});
  });
}

bool TMainFrm::AnyZoneChecked() const {
  for (int row = 0; row < lvPlayZones->rowCount(); ++row)
    if (lvPlayZones->IsChecked(row)) return true;
  return false;
}

void TMainFrm::ShowZoneStatus(int row, const QString& text) { lvPlayZones->SetCellText(row, 1, text); }

void TMainFrm::lvPlayZonesChange(int row) {
  if (state_.StartupFlag || state_.ShutdownFlag) return;
  if (row < 0 || static_cast<std::size_t>(row) >= zones_.Count()) return;
  zoneCheckChanged_ = false;
  const int delta = zones_.ApplyCheckState(static_cast<std::size_t>(row), lvPlayZones->IsChecked(row));
  if (delta == 0) return;
  lblZoneSelectedCount->setText(QString::number(lblZoneSelectedCount->text().toInt() + delta));
  zoneCheckChanged_ = true;
}

void TMainFrm::lvPlayZonesClick() {
  // A click that toggled a check box selects nothing.
  if (zoneCheckChanged_) {
    zoneCheckChanged_ = false;
    return;
  }
  const int row = lvPlayZones->SelectedRow();
  if (row >= 0 && static_cast<std::size_t>(row) < zones_.Count()) ShowWhatZonePlays(zones_.Snapshot(static_cast<std::size_t>(row)));
  lvPlayZones->setFocus();
}

}  // namespace kestrel::ui
