// The single progress bar window: a small borderless window with a tip and one bar, centred on
// the main window, shown while a zone reloads its play lists.
#pragma once

#include <QWidget>
#include <atomic>

#include "core/Prompts.h"
#include "core/SharedState.h"

class QLabel;
class QProgressBar;

namespace kestrel::ui {

class TfrmSinglePgBar : public QWidget {
  Q_OBJECT
 public:
  // `owner` is the main window it is centred on and that it disables while shown. It is a
  // window of its own, so that it stays enabled then; whoever creates it owns it.
  explicit TfrmSinglePgBar(QWidget* owner);

  QLabel* lblTips;
  QProgressBar* ProgressBar;

 private:
  QWidget* owner_;
  friend class UpdateProgress;
};

// The reload progress, run on the window thread: the main window disabled and the bar sweeping
// from 1 to 70 in steps of 100 ms for as long as a zone reloads; "Updated!" when it reported
// the end, nothing when the wait timed out (the counter, which counts the real time since the
// last update status reply, passed the limit). Cancel ends it at once (shutdown).
class UpdateProgress {
 public:
  static constexpr int kSweepSteps = 70;
  static constexpr int kStepMs = 100;
  static constexpr const char* kTipText = "Updating Veltra's Play List...  Please waite...";

  UpdateProgress(TfrmSinglePgBar& window, SharedState& state, Prompts& prompts)
      : window_(window), state_(state), prompts_(prompts) {}

  void ShowUpdateProgress();
  // Ends a running ShowUpdateProgress and makes later calls return at once.
  void Cancel() { cancelled_ = true; }

 private:
  // Sleeps one step with the window's events handled; false when cancelled.
  bool Step();

  TfrmSinglePgBar& window_;
  SharedState& state_;
  Prompts& prompts_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace kestrel::ui
