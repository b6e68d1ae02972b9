// The zone list dialog: the zones of Zone.ini with name, subnet, device and whether each
// answers; adding, removing, renaming and moving them; "Find Zones", which scans the bus and
// offers the devices that answer. The changes are made on a copy of Zone.ini's list and written
// only by OK (with the file as it was kept beside it); Cancel changes nothing.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "zones/ZoneIniWriter.h"
#include "zones/ZoneScan.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace kestrel {
class Prompts;
}

namespace kestrel::ui {

class TListView;

class TUnitZoneListFrm : public QDialog {
  Q_OBJECT
 public:
  // Makes a scanner for "Find Zones"; none (an empty function) disables it.
  using ScannerFactory = std::function<std::unique_ptr<ZoneScanner>()>;

  // Reads the zones of `zoneIniPath`; a file the program can not read throws EConvertError.
  // Refusals and write failures are told through `prompts`.
  TUnitZoneListFrm(const std::string& zoneIniPath, ScannerFactory scanners, Prompts& prompts, QWidget* parent);
  ~TUnitZoneListFrm() override;

  // The list as it stands in the dialog.
  const std::vector<ZoneDefinition>& Zones() const { return writer_.Zones(); }
  // Whether a scan runs now.
  bool Scanning() const { return scan_.joinable(); }

  // Parses "1", "1-3" or "1, 4-5" into subnet IDs, each once, in the order given.
  static bool ParseSubnets(const QString& text, std::vector<std::uint8_t>& subnets);

  void accept() override;
  void reject() override;

 protected:
  // Enter in the name field adds the zone; it does not also press OK.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Refresh(int selectRow);
  void AddClick();
  void RemoveClick();
  void RenameClick();
  void MoveClick(int delta);
  void FindClick();
  // While a scan runs: its progress shown, and its result taken once it has ended.
  void LookAtScan();
  void ScanDone(const std::vector<FoundDevice>& found, double seconds);
  void StopScan();
  // Tells `why` when it is not empty; true when it was empty.
  bool Done(const std::string& why);
  QString AnswerText(const ZoneDefinition& zone) const;

  ZoneIniWriter writer_;
  ScannerFactory scanners_;
  Prompts& prompts_;
  std::unique_ptr<ZoneScanner> scanner_;
  std::thread scan_;
  std::atomic<std::size_t> scanAsked_{0};
  std::atomic<bool> scanEnded_{false};
  std::vector<FoundDevice> scanFound_;  // written by the scan's thread before scanEnded_
  QTimer* scanTimer_;
  bool scanned_ = false;
  std::vector<FoundDevice> found_;
  std::vector<std::uint16_t> fresh_;  // addresses the last scan added to the list

  TListView* lvZones_;
  QPushButton* btnMoveUp_;
  QPushButton* btnMoveDown_;
  QPushButton* btnRemove_;
  QPushButton* btnRename_;
  QLineEdit* edtName_;
  QSpinBox* edtSubnet_;
  QSpinBox* edtDevice_;
  QPushButton* btnAdd_;
  QLineEdit* edtSubnets_;
  QPushButton* btnFind_;
  QProgressBar* gScan_;
  QLabel* lblFound_;
  QPushButton* btnOK_;
};

}  // namespace kestrel::ui
