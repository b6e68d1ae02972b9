#include "ui/ZoneListController.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

#include "ui/ListView.h"
#include "ui/PlayListController.h"
#include "ui/WindowThreadGate.h"
#include "core/mPublicFunction.h"
#include "zones/ZoneIni.h"

namespace kestrel::ui {

ZoneListController::ZoneListController(WindowServices& services, const MainView& view, ZoneTable& zones,
                                       PlayListController& playLists)
    : services_(services), area_(view.zones), zones_(zones), playLists_(playLists), checking_(zones) {
  // Reports are stored on the receive thread; their rows are redrawn on the window thread.
  WindowThreadGate& gate = services_.gate;
  zones_.SetRowTextHandler([this, &gate](std::size_t row, const std::string& text) {
    const unsigned generation = generation_;
    gate.Post([this, row, text, generation] {
      if (generation == generation_) ShowZoneStatus(static_cast<int>(row), QString::fromStdString(text));
    });
  });
  zones_.SetRowAnswerHandler([this, &gate](std::size_t row, bool answering, std::int64_t lastAnswer) {
    const unsigned generation = generation_;
    gate.Post([this, row, answering, lastAnswer, generation] {
      if (generation == generation_) ShowZoneAnswering(static_cast<int>(row), answering, lastAnswer);
    });
  });
  TListView* list = area_.lvPlayZones;
  connect(list, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { lvPlayZonesChange(item->row()); });
  connect(list, &QTableWidget::itemSelectionChanged, this, [this, list] { lvPlayZonesChange(list->currentRow()); });
  connect(list, &QTableWidget::clicked, this, [this] { lvPlayZonesClick(); });
  // lvPlayZonesCustomDrawItem: a checked row is white on blue; the row of a zone that does not
  // answer greys.
  list->SetRowColourRule([this, list](int row) -> std::optional<std::pair<QColor, QColor>> {
    const bool silent = row >= 0 && static_cast<std::size_t>(row) < rowStatus_.size() &&
                        !rowStatus_[static_cast<std::size_t>(row)].answering;
    if (list->IsChecked(row)) return std::make_pair(silent ? QColor(190, 190, 190) : QColor(255, 255, 255), QColor(0, 0, 255));
    if (silent)
      return std::make_pair(list->palette().color(QPalette::Disabled, QPalette::Text), list->palette().color(QPalette::Base));
    return std::nullopt;
  });
}

ZoneListController::~ZoneListController() {
  zones_.SetRowTextHandler(nullptr);
  zones_.SetRowAnswerHandler(nullptr);
}

std::string ZoneListController::LoadZones() {
  std::string skipped;
  const auto append = [this](const ZoneDefinition& zone) {
    zones_.Append(zone);
    area_.lvPlayZones->AddRow({QString::fromStdString(zone.name), QString()});
    rowStatus_.emplace_back();
  };
  const auto leftOut = [&skipped](const std::string& why) { skipped += (skipped.empty() ? "" : "\n") + why; };
  try {
    ReadZoneIni(services_.context.SettingsFile("Zone.ini"), append, leftOut);
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
  rowStatus_.clear();
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
    dialog_ = new TUnitZoneListFrm(services_.context.SettingsFile("Zone.ini"), scanners_, services_.CurrentPrompts(),
                                   area_.lvPlayZones->window());
  } catch (const std::exception& e) {
    services_.CurrentPrompts().Show(PromptKind::ErrorOk,
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
      if (!text.empty()) services_.CurrentPrompts().Show(PromptKind::ErrorOk, text);
  });
  dialog_->open();
}

void ZoneListController::EndZoneEditing() {
  scanners_ = nullptr;
  reload_ = nullptr;
  delete dialog_.data();
}

void ZoneListController::ShowZoneStatus(int row, const QString& text) {
  if (row < 0 || static_cast<std::size_t>(row) >= rowStatus_.size()) return;
  rowStatus_[static_cast<std::size_t>(row)].text = text;
  RedrawStatus(row);
}

void ZoneListController::ShowZoneAnswering(int row, bool answering, std::int64_t lastAnswer) {
  if (row < 0 || static_cast<std::size_t>(row) >= rowStatus_.size()) return;
  RowStatus& status = rowStatus_[static_cast<std::size_t>(row)];
  status.answering = answering;
  status.lastAnswer = lastAnswer;
  RedrawStatus(row);
}

void ZoneListController::RedrawStatus(int row) {
  const RowStatus& status = rowStatus_[static_cast<std::size_t>(row)];
  area_.lvPlayZones->SetCellText(row, 1, (status.answering ? QString() : NoAnswerText(status.lastAnswer)) + status.text);
  area_.lvPlayZones->viewport()->update();
}

QString ZoneListController::NoAnswerText(std::int64_t lastAnswer) {
  if (lastAnswer == 0) return "No answer.  ";
  const QDateTime when = QDateTime::fromSecsSinceEpoch(lastAnswer);
  const QLocale locale;
  const QString time = when.date() == QDate::currentDate() ? locale.toString(when.time(), QLocale::ShortFormat)
                                                            : locale.toString(when, QLocale::ShortFormat);
  return "No answer since " + time + ".  ";
}

void ZoneListController::lvPlayZonesChange(int row) {
  if (services_.state.StartupFlag || services_.state.ShutdownFlag) return;
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
