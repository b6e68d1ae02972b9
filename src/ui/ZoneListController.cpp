#include "ui/ZoneListController.h"

#include <QLabel>

#include "ui/ListView.h"
#include "ui/PlayListController.h"
#include "ui/WindowThreadGate.h"
#include "core/mPublicFunction.h"
#include "zones/ZoneIni.h"

namespace kestrel::ui {

ZoneListController::ZoneListController(AppContext& context, const ZoneArea& area, ZoneTable& zones, SharedState& state,
                                       WindowThreadGate& gate, PlayListController& playLists)
    : context_(context), area_(area), zones_(zones), state_(state), playLists_(playLists), checking_(zones) {
  // Reports are stored on the receive thread; their rows are redrawn on the window thread.
  zones_.SetRowTextHandler([this, &gate](std::size_t row, const std::string& text) {
    const unsigned generation = generation_;
    gate.Post([this, row, text, generation] {
      if (generation == generation_) ShowZoneStatus(static_cast<int>(row), QString::fromStdString(text));
    });
  });
  TListView* list = area_.lvPlayZones;
  connect(list, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { lvPlayZonesChange(item->row()); });
  connect(list, &QTableWidget::itemSelectionChanged, this, [this, list] { lvPlayZonesChange(list->currentRow()); });
  connect(list, &QTableWidget::clicked, this, [this] { lvPlayZonesClick(); });
  // lvPlayZonesCustomDrawItem: a checked row is white on blue.
  list->SetRowColourRule([list](int row) -> std::optional<std::pair<QColor, QColor>> {
    if (!list->IsChecked(row)) return std::nullopt;
    return std::make_pair(QColor(255, 255, 255), QColor(0, 0, 255));
  });
}

ZoneListController::~ZoneListController() { zones_.SetRowTextHandler(nullptr); }

std::string ZoneListController::LoadZones() {
  std::string skipped;
  const auto append = [this](const ZoneDefinition& zone) {
    zones_.Append(zone);
    area_.lvPlayZones->AddRow({QString::fromStdString(zone.name), QString()});
  };
  const auto leftOut = [&skipped](const std::string& why) { skipped += (skipped.empty() ? "" : "\n") + why; };
  try {
    ReadZoneIni(context_.SettingsFile("Zone.ini"), append, leftOut);
  } catch (const EConvertError& e) {
    // What stopped the reading, after the zones left out before it.
    if (!skipped.empty()) throw EConvertError(skipped + "\n" + e.what());
    throw;
  }
  return skipped;
}

std::string ZoneListController::ReloadZones(std::string& skipped) {
  ++generation_;
  area_.lvPlayZones->ClearRows();
  checking_.Reset();
  area_.lblZoneSelectedCount->setText("0");
  zones_.Clear();
  skipped.clear();
  try {
    skipped = LoadZones();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

void ZoneListController::SetZoneEditing(TUnitZoneListFrm::ScannerFactory scanners, std::function<void()> reload) {
  scanners_ = std::move(scanners);
  reload_ = std::move(reload);
}

void ZoneListController::acZonesExecute() {
  if (dialog_) {
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  try {
    dialog_ = new TUnitZoneListFrm(context_.SettingsFile("Zone.ini"), scanners_, context_.CurrentPrompts(),
                                   area_.lvPlayZones->window());
  } catch (const std::exception& e) {
    context_.CurrentPrompts().Show(PromptKind::ErrorOk,
                                   "Zone.ini: " + std::string(e.what()) + "; the file is left as it is: mend it by hand first");
    return;
  }
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  dialog_->setWindowModality(Qt::WindowModal);
  connect(dialog_, &QDialog::accepted, this, [this] {
    if (reload_) {
      reload_();
      return;
    }
    std::string skipped;
    const std::string why = ReloadZones(skipped);
    for (const std::string& text : {skipped, why})
      if (!text.empty()) context_.CurrentPrompts().Show(PromptKind::ErrorOk, text);
  });
  dialog_->open();
}

void ZoneListController::EndZoneEditing() {
  scanners_ = nullptr;
  reload_ = nullptr;
  delete dialog_.data();
}

void ZoneListController::ShowZoneStatus(int row, const QString& text) { area_.lvPlayZones->SetCellText(row, 1, text); }

void ZoneListController::lvPlayZonesChange(int row) {
  if (state_.StartupFlag || state_.ShutdownFlag) return;
  if (row < 0) return;
  checking_.RowChanged(static_cast<std::size_t>(row), area_.lvPlayZones->IsChecked(row));
  area_.lblZoneSelectedCount->setText(QString::number(checking_.Count()));
}

void ZoneListController::lvPlayZonesClick() {
  // A click that toggled a check box selects nothing.
  if (checking_.TakeCheckChanged()) return;
  const int row = area_.lvPlayZones->SelectedRow();
  if (row >= 0 && static_cast<std::size_t>(row) < zones_.Count())
    playLists_.ShowWhatZonePlays(zones_.Snapshot(static_cast<std::size_t>(row)));
  area_.lvPlayZones->setFocus();
}

}  // namespace kestrel::ui
