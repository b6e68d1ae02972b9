#include "ui/UnitProgressBar.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <limits>

namespace kestrel::ui {

namespace {

QProgressBar* MakeGauge(QWidget* parent, const char* name, const QRect& r, const char* fill) {
  auto* gauge = new QProgressBar(parent);
  gauge->setObjectName(name);
  gauge->setGeometry(r);
  gauge->setAlignment(Qt::AlignCenter);
  gauge->setStyleSheet(QString("QProgressBar { border: 1px solid #808080; background: white; }"
                               "QProgressBar::chunk { background-color: %1; }").arg(fill));
  return gauge;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QPoint& at, const QString& text = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->move(at);
  label->setMinimumWidth(170);
  return label;
}

}  // namespace

TUnitProgressBarFrm::TUnitProgressBarFrm(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName("UnitProgressBarFrm");
  QFont f("Microsoft Sans Serif");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(13);
  setFont(f);
  // Room below the gauges for the Cancel button.
  setFixedSize(316, 160);
  setAutoFillBackground(true);
  setCursor(Qt::WaitCursor);

  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(219, 128, 75, 25);
  btnCancel->setCursor(Qt::ArrowCursor);
  lblCount = MakeLabel(this, "lblCount", {120, 67});
  lblCurrentSong = MakeLabel(this, "lblCurrentSong", {28, 40}, "Current Song");
  lblCurrentSong->setMinimumWidth(0);
  lblWholeProgress = MakeLabel(this, "lblWholeProgress", {8, 91}, "Whole Progress");
  lblWholeProgress->setMinimumWidth(0);
  gWholeProgress = MakeGauge(this, "gWholeProgress", {120, 89, 177, 25}, "red");
  gCurrentProgress = MakeGauge(this, "gCurrentProgress", {120, 35, 177, 25}, "rgb(0, 128, 255)");
  lblSpeed = MakeLabel(this, "lblSpeed", {120, 16});
  connect(btnCancel, &QPushButton::clicked, this, &TUnitProgressBarFrm::btnCancelClick);
  hide();
}

void TUnitProgressBarFrm::Begin(int count) {
  cancel_ = false;
  btnCancel->setEnabled(true);
  gWholeProgress->setRange(0, count);
  gWholeProgress->setValue(0);
  gCurrentProgress->setRange(0, 1);
  gCurrentProgress->setValue(0);
  lblCount->clear();
  lblSpeed->clear();
}

void TUnitProgressBarFrm::btnCancelClick() {
  cancel_ = true;
  btnCancel->setEnabled(false);
}

void TUnitProgressBarFrm::ShowCheck(int done, int total) {
  lblSpeed->setText("Checking the songs");
  lblCount->setText(QString("%1 of %2").arg(done).arg(total));
  gWholeProgress->setRange(0, total);
  gWholeProgress->setValue(done);
  gCurrentProgress->setRange(0, 0);  // a busy bar while a song is decoded
  ShowCentred();
}

void TUnitProgressBarFrm::EndCheck() {
  lblSpeed->clear();
  lblCount->clear();
  gWholeProgress->setValue(0);
  gCurrentProgress->setRange(0, 1);
  gCurrentProgress->setValue(0);
}

void TUnitProgressBarFrm::ShowCount(int index, int count) {
  lblCount->setText(QString("%1 of %2").arg(index).arg(count));
  gWholeProgress->setMaximum(count);
}

void TUnitProgressBarFrm::ShowFilesDone(int done) { gWholeProgress->setValue(done); }

void TUnitProgressBarFrm::ShowTransferStart(std::int64_t totalBytes) {
  lblSpeed->clear();
  if (totalBytes < 0) {
    gCurrentProgress->setRange(0, 0);  // size not known: a busy bar
    return;
  }
  constexpr std::int64_t kMax = std::numeric_limits<int>::max();
  scale_ = totalBytes / kMax + 1;
  gCurrentProgress->setRange(0, static_cast<int>(totalBytes / scale_));
  gCurrentProgress->setValue(0);
}

void TUnitProgressBarFrm::ShowTransfer(std::int64_t bytesSoFar, double seconds) {
  if (gCurrentProgress->maximum() > 0)
    gCurrentProgress->setValue(static_cast<int>(std::min<std::int64_t>(bytesSoFar / scale_, gCurrentProgress->maximum())));
  const QString text = QString::fromStdString(SpeedText(bytesSoFar, seconds, QLocale().decimalPoint().toStdString()));
  if (!text.isEmpty()) lblSpeed->setText(text);
}

void TUnitProgressBarFrm::ShowCentred() {
  if (isVisible()) return;
  if (QWidget* main = parentWidget()) move(main->geometry().center() - rect().center());
  // The main window is disabled while the upload runs; this window is one of its own.
  setEnabled(true);
  show();
  raise();
}

// --- relay

template <typename F>
void ProgressRelay::Post(F call) {
  QMetaObject::invokeMethod(window_, std::move(call), Qt::QueuedConnection);
}

void ProgressRelay::FileStarting(int index, int count) {
  Post([w = window_, index, count] { w->ShowCount(index, count); });
}

void ProgressRelay::TransferStarting() {
  Post([w = window_] { w->ShowCentred(); });
}

// With several transfers at once the gauge and the speed are those of all running together.
void ProgressRelay::ftpWorkBegin(const TransferFigures& now) {
  lastPost_ = Clock::now();
  Post([w = window_, total = now.total, bytes = now.bytes, seconds = now.seconds] {
    w->ShowTransferStart(total);
    if (bytes > 0) w->ShowTransfer(bytes, seconds);
  });
}

void ProgressRelay::ftpWork(const TransferFigures& now) {
  const Clock::time_point at = Clock::now();
  if (at - lastPost_ < kMinInterval && now.bytes != now.total) return;
  lastPost_ = at;
  Post([w = window_, bytes = now.bytes, seconds = now.seconds] { w->ShowTransfer(bytes, seconds); });
}

void ProgressRelay::FileDone(int index, int) {
  Post([w = window_, index] { w->ShowFilesDone(index); });
}

void ProgressRelay::Finished() {
  Post([w = window_] { w->hide(); });
}

void ProgressRelay::Checking(std::size_t done, std::size_t total) {
  Post([w = window_, done = static_cast<int>(done), total = static_cast<int>(total)] { w->ShowCheck(done, total); });
}

void ProgressRelay::CheckEnded() {
  Post([w = window_] { w->EndCheck(); });
}

}  // namespace kestrel::ui
