#include "ui/UnitSinglePgBar.h"

#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "core/UpdateWaitClock.h"

namespace kestrel::ui {

TfrmSinglePgBar::TfrmSinglePgBar(QWidget* owner)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), owner_(owner) {
  setObjectName("frmSinglePgBar");
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  setFont(font);
  setFixedSize(305, 63);
  setAutoFillBackground(true);
  lblTips = new QLabel(this);
  lblTips->setObjectName("lblTips");
  lblTips->move(9, 6);
  lblTips->resize(290, 18);
  lblTips->setCursor(Qt::WaitCursor);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setGeometry(8, 29, 288, 25);
  ProgressBar->setCursor(Qt::WaitCursor);
  ProgressBar->setTextVisible(false);
  hide();
}

bool UpdateProgress::Step() {
  if (cancelled_) return false;
  QEventLoop loop;
  QTimer::singleShot(kStepMs, &loop, &QEventLoop::quit);
  loop.exec();
  return !cancelled_;
}

void UpdateProgress::ShowUpdateProgress() {
  if (cancelled_) return;
  QWidget* owner = window_.owner_;
  owner->setEnabled(false);
  const QRect area = owner->geometry();
  window_.move(area.center() - QPoint(window_.width() / 2, window_.height() / 2));
  window_.show();
  window_.raise();
  window_.setCursor(Qt::WaitCursor);
  window_.ProgressBar->setMaximum(100);
  window_.lblTips->setText(kTipText);
  bool timedOut = false;
  UpdateWaitClock clock(state_);
  while (state_.ZoneUpdating && !timedOut && !cancelled_) {
    window_.ProgressBar->setValue(0);
    for (int step = 1; step <= kSweepSteps; ++step) {
      if (clock.Count()) {
        state_.ZoneUpdating = false;
        state_.UpdateWaitCounter = 0;
        timedOut = true;
        break;
      }
      window_.ProgressBar->setValue(step);
      if (!Step()) break;
    }
  }
  if (!timedOut && !cancelled_) {
    state_.UpdateWaitCounter = 0;
    window_.ProgressBar->setValue(window_.ProgressBar->maximum());
    if (!state_.ZoneUpdating) prompts_.Show(PromptKind::InfoYes, "Updated!");
  }
  window_.hide();
  window_.unsetCursor();
  owner->setEnabled(true);
}

}  // namespace kestrel::ui
