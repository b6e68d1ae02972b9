#include "ui/UnitZoneList.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

#include "core/Prompts.h"
#include "ui/ListView.h"
#include "ui/UnitUserInput.h"

namespace kestrel::ui {

namespace {

enum Column { kName, kSubnet, kDevice, kAnswers };

std::uint16_t Key(std::uint8_t subnetID, std::uint8_t deviceID) {
  return static_cast<std::uint16_t>(subnetID << 8 | deviceID);
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QSpinBox* IdBox(QWidget* parent, const char* name, int value) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(0, 255);
  box->setValue(value);
  return box;
}

// The subnets of the list as the scan's default: each once, in ascending order, or 1.
QString SubnetsOf(const std::vector<ZoneDefinition>& zones) {
  std::set<int> subnets;
  for (const ZoneDefinition& zone : zones) subnets.insert(zone.subnetID);
  if (subnets.empty()) return "1";
  QStringList parts;
  for (int s : subnets) parts << QString::number(s);
  return parts.join(", ");
}

}  // namespace

bool TUnitZoneListFrm::ParseSubnets(const QString& text, std::vector<std::uint8_t>& subnets) {
  subnets.clear();
  std::set<int> seen;
  for (const QString& part : text.split(',')) {
    std::uint8_t first = 0, last = 0;
    if (!ParseIdRange(part.trimmed().remove(' ').toStdString(), first, last)) return false;
    for (int s = first; s <= last; ++s)
      if (seen.insert(s).second) subnets.push_back(static_cast<std::uint8_t>(s));
  }
  return !subnets.empty();
}

TUnitZoneListFrm::TUnitZoneListFrm(const std::string& zoneIniPath, ScannerFactory scanners, Prompts& prompts,
                                   QWidget* parent)
    : QDialog(parent), writer_(zoneIniPath), scanners_(std::move(scanners)), prompts_(prompts) {
  setObjectName("UnitZoneListFrm");
  setWindowTitle("Zones");
  QFont f("Microsoft Sans Serif");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(11);
  setFont(f);
  resize(560, 400);

  lvZones_ = new TListView("lvZones", {{"Zone Name", 190, 80}, {"Subnet", 55}, {"Device", 55}, {"Answers", 110}}, false, this);
  btnMoveUp_ = Button(this, "btnMoveUp", "Move &Up");
  btnMoveDown_ = Button(this, "btnMoveDown", "Move &Down");
  btnRename_ = Button(this, "btnRename", "Re&name...");
  btnRemove_ = Button(this, "btnRemove", "&Remove");
  auto* side = new QVBoxLayout;
  for (QPushButton* b : {btnMoveUp_, btnMoveDown_, btnRename_, btnRemove_}) side->addWidget(b);
  side->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(lvZones_, 1);
  top->addLayout(side);

  // A new zone by hand.
  edtName_ = new QLineEdit(this);
  edtName_->setObjectName("edtName");
  edtName_->setPlaceholderText("Zone name");
  edtSubnet_ = IdBox(this, "edtSubnet", 1);
  edtDevice_ = IdBox(this, "edtDevice", 1);
  btnAdd_ = Button(this, "btnAdd", "&Add");
  auto* add = new QHBoxLayout;
  add->addWidget(edtName_, 1);
  add->addWidget(new QLabel("Subnet", this));
  add->addWidget(edtSubnet_);
  add->addWidget(new QLabel("Device", this));
  add->addWidget(edtDevice_);
  add->addWidget(btnAdd_);

  // The scan.
  edtSubnets_ = new QLineEdit(SubnetsOf(writer_.Zones()), this);
  edtSubnets_->setObjectName("edtSubnets");
  edtSubnets_->setToolTip("The subnets to scan: 1, or 1-3, or 1, 4");
  btnFind_ = Button(this, "btnFind", "&Find Zones");
  gScan_ = new QProgressBar(this);
  gScan_->setObjectName("gScan");
  gScan_->setTextVisible(false);
  lblFound_ = new QLabel(this);
  lblFound_->setObjectName("lblFound");
  auto* find = new QGridLayout;
  auto* lblSubnets = new QLabel("Su&bnets", this);
  lblSubnets->setBuddy(edtSubnets_);
  find->addWidget(lblSubnets, 0, 0);
  find->addWidget(edtSubnets_, 0, 1);
  find->addWidget(btnFind_, 0, 2);
  find->addWidget(gScan_, 1, 0, 1, 3);
  find->addWidget(lblFound_, 2, 0, 1, 3);
  if (!scanners_) {
    btnFind_->setEnabled(false);
    lblFound_->setText("Finding zones needs the bus, which is not open.");
  }

  btnOK_ = Button(this, "btnOK", "OK");
  btnOK_->setDefault(true);
  QPushButton* btnCancel = Button(this, "btnCancel", "Cancel");
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(btnOK_);
  bottom->addWidget(btnCancel);

  auto* all = new QVBoxLayout(this);
  all->addLayout(top, 1);
  all->addLayout(add);
  all->addLayout(find);
  all->addLayout(bottom);

  connect(btnMoveUp_, &QPushButton::clicked, this, [this] { MoveClick(-1); });
  connect(btnMoveDown_, &QPushButton::clicked, this, [this] { MoveClick(+1); });
  connect(btnRename_, &QPushButton::clicked, this, &TUnitZoneListFrm::RenameClick);
  connect(btnRemove_, &QPushButton::clicked, this, &TUnitZoneListFrm::RemoveClick);
  connect(btnAdd_, &QPushButton::clicked, this, &TUnitZoneListFrm::AddClick);
  edtName_->installEventFilter(this);
  connect(btnFind_, &QPushButton::clicked, this, &TUnitZoneListFrm::FindClick);
  scanTimer_ = new QTimer(this);
  scanTimer_->setInterval(50);
  connect(scanTimer_, &QTimer::timeout, this, &TUnitZoneListFrm::LookAtScan);
  connect(btnOK_, &QPushButton::clicked, this, &TUnitZoneListFrm::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TUnitZoneListFrm::reject);
  connect(lvZones_, &QTableWidget::itemSelectionChanged, this, [this] { Refresh(lvZones_->SelectedRow()); });
  Refresh(writer_.Zones().empty() ? -1 : 0);
}

TUnitZoneListFrm::~TUnitZoneListFrm() { StopScan(); }

bool TUnitZoneListFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtName_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      AddClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

QString TUnitZoneListFrm::AnswerText(const ZoneDefinition& zone) const {
  if (!scanned_) return {};
  const std::uint16_t key = Key(zone.subnetID, zone.deviceID);
  for (const FoundDevice& device : found_) {
    if (Key(device.subnetID, device.deviceID) != key) continue;
    for (std::uint16_t fresh : fresh_)
      if (fresh == key) return "Yes (found now)";
    return "Yes";
  }
  return "No";
}

void TUnitZoneListFrm::Refresh(int selectRow) {
  const auto& zones = writer_.Zones();
  if (lvZones_->rowCount() != static_cast<int>(zones.size()) || selectRow != lvZones_->SelectedRow()) {
    const QSignalBlocker quiet(lvZones_);
    lvZones_->ClearRows();
    for (const ZoneDefinition& zone : zones)
      lvZones_->AddRow({QString::fromStdString(zone.name), QString::number(zone.subnetID), QString::number(zone.deviceID),
                        AnswerText(zone)});
    if (selectRow >= 0 && selectRow < static_cast<int>(zones.size())) lvZones_->SelectRow(selectRow, false);
  } else {
    for (std::size_t row = 0; row < zones.size(); ++row) {
      const int r = static_cast<int>(row);
      lvZones_->SetCellText(r, kName, QString::fromStdString(zones[row].name));
      lvZones_->SetCellText(r, kSubnet, QString::number(zones[row].subnetID));
      lvZones_->SetCellText(r, kDevice, QString::number(zones[row].deviceID));
      lvZones_->SetCellText(r, kAnswers, AnswerText(zones[row]));
    }
  }
  const int row = lvZones_->SelectedRow();
  const bool idle = !Scanning();
  btnMoveUp_->setEnabled(idle && row > 0);
  btnMoveDown_->setEnabled(idle && row >= 0 && row + 1 < static_cast<int>(zones.size()));
  btnRename_->setEnabled(idle && row >= 0);
  btnRemove_->setEnabled(idle && row >= 0);
  btnAdd_->setEnabled(idle);
  btnOK_->setEnabled(idle);
  edtSubnets_->setEnabled(idle);
  btnFind_->setText(idle ? "&Find Zones" : "&Stop");
}

bool TUnitZoneListFrm::Done(const std::string& why) {
  if (why.empty()) return true;
  prompts_.Show(PromptKind::ErrorOk, why);
  return false;
}

void TUnitZoneListFrm::AddClick() {
  if (Scanning()) return;
  ZoneDefinition zone;
  zone.name = edtName_->text().toStdString();
  zone.subnetID = static_cast<std::uint8_t>(edtSubnet_->value());
  zone.deviceID = static_cast<std::uint8_t>(edtDevice_->value());
  if (!Done(writer_.Add(zone))) return;
  edtName_->clear();
  Refresh(static_cast<int>(writer_.Zones().size()) - 1);
}

void TUnitZoneListFrm::RemoveClick() {
  const int row = lvZones_->SelectedRow();
  if (row < 0 || Scanning()) return;
  if (!Done(writer_.Remove(static_cast<std::size_t>(row)))) return;
  Refresh(std::min(row, static_cast<int>(writer_.Zones().size()) - 1));
}

void TUnitZoneListFrm::RenameClick() {
  const int row = lvZones_->SelectedRow();
  if (row < 0 || Scanning()) return;
  std::string name = writer_.Zones()[static_cast<std::size_t>(row)].name;
  std::vector<std::string> others;
  for (const ZoneDefinition& zone : writer_.Zones())
    if (zone.name != name) others.push_back(zone.name);
  if (!InputName(this, "Rename zone", "Please enter name", name, others, 2)) return;
  if (!Done(writer_.Rename(static_cast<std::size_t>(row), name))) return;
  Refresh(row);
}

void TUnitZoneListFrm::MoveClick(int delta) {
  const int row = lvZones_->SelectedRow();
  const int to = row + delta;
  if (row < 0 || to < 0 || to >= static_cast<int>(writer_.Zones().size()) || Scanning()) return;
  if (!Done(writer_.Move(static_cast<std::size_t>(row), static_cast<std::size_t>(to)))) return;
  Refresh(to);
}

void TUnitZoneListFrm::FindClick() {
  if (Scanning()) {
    scanner_->Cancel();
    return;
  }
  ScanRange range;
  if (!ParseSubnets(edtSubnets_->text(), range.subnets)) {
    prompts_.Show(PromptKind::ErrorOk, "Give the subnets to scan as numbers from 0 to 255: 1, or 1-3, or 1, 4");
    return;
  }
  scanner_ = scanners_();
  if (!scanner_) {
    lblFound_->setText("Finding zones needs the bus, which is not open.");
    return;
  }
  gScan_->setRange(0, static_cast<int>(range.Addresses()));
  gScan_->setValue(0);
  lblFound_->setText(QString("Asking %1 addresses...").arg(range.Addresses()));
  ZoneScanner* scanner = scanner_.get();
  scanAsked_ = 0;
  scanEnded_ = false;
  // The scan's thread only counts and, at its end, leaves what it found; the window thread looks
  // at both while the scan runs, and takes the result after joining the thread.
  scan_ = std::thread([this, scanner, range] {
    scanFound_ = scanner->Run(range, [this](std::size_t done, std::size_t) { scanAsked_ = done; });
    scanEnded_ = true;
  });
  scanTimer_->start();
  Refresh(lvZones_->SelectedRow());
}

void TUnitZoneListFrm::LookAtScan() {
  gScan_->setValue(static_cast<int>(scanAsked_.load()));
  if (!scanEnded_) return;
  scanTimer_->stop();
  scan_.join();
  const double seconds = scanner_->Figures().totalSeconds;
  ScanDone(scanFound_, seconds);
}

void TUnitZoneListFrm::ScanDone(const std::vector<FoundDevice>& found, double seconds) {
  scanner_.reset();
  gScan_->setValue(gScan_->maximum());
  scanned_ = true;
  found_ = found;
  fresh_.clear();
  int refused = 0;
  for (const FoundDevice& device : found) {
    if (ZoneAt(writer_.Zones(), device.subnetID, device.deviceID) != nullptr) continue;
    if (writer_.Add(ZoneFor(device)).empty())
      fresh_.push_back(Key(device.subnetID, device.deviceID));
    else
      ++refused;
  }
  QString text = QString("%1 answered in %2 s").arg(found.size()).arg(seconds, 0, 'f', 1);
  if (!fresh_.empty()) text += QString("; %1 new, added to the list (OK keeps them)").arg(fresh_.size());
  if (refused > 0) text += QString("; %1 not added: a zone has its name").arg(refused);
  lblFound_->setText(text + ".");
  Refresh(fresh_.empty() ? lvZones_->SelectedRow() : static_cast<int>(writer_.Zones().size()) - 1);
}

void TUnitZoneListFrm::StopScan() {
  if (!scan_.joinable()) return;
  scanTimer_->stop();
  scanner_->Cancel();
  scan_.join();
  scanner_.reset();
}

void TUnitZoneListFrm::accept() {
  if (Scanning()) return;
  std::string error;
  if (!writer_.Save(true, error)) {
    prompts_.Show(PromptKind::ErrorOk, "Zone.ini was not written: " + error);
    return;
  }
  QDialog::accept();
}

void TUnitZoneListFrm::reject() {
  StopScan();
  QDialog::reject();
}

}  // namespace kestrel::ui
