// The upload progress window: the speed and bytes of the current transfer, "i of m" and the
// files done, and a Cancel button. It is filled from the upload loop, which runs off the window
// thread, through a relay that hands the figures over by queued calls, a few tens of times a
// second at most, so drawing never slows the transfer.
#pragma once

#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "playlists/UploadSongs.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrel::ui {

class TUnitProgressBarFrm : public QWidget {
  Q_OBJECT
 public:
  explicit TUnitProgressBarFrm(QWidget* mainWindow);

  // Readies the window for an upload of `count` files (hidden until the first transfer).
  void Begin(int count);
  // The flag the upload loop watches; Cancel sets it.
  const std::atomic<bool>& CancelFlag() const { return cancel_; }

  // The songs are checked before they are sent: `done` of `total` checked. The window shows at
  // the first call and stays up for the upload that follows.
  void ShowCheck(int done, int total);
  // The check is over: the gauges are readied for the transfers.
  void EndCheck();

  // What the relay hands over, on the window thread.
  void ShowCount(int index, int count);
  void ShowFilesDone(int done);
  void ShowTransferStart(std::int64_t totalBytes);
  void ShowTransfer(std::int64_t bytesSoFar, double seconds);
  // Shows the window centred on the main window, if it is hidden, and usable while the main
  // window is disabled.
  void ShowCentred();

  QPushButton* btnCancel;
  QLabel* lblCount;
  QLabel* lblCurrentSong;
  QLabel* lblWholeProgress;
  QProgressBar* gWholeProgress;
  QProgressBar* gCurrentProgress;
  QLabel* lblSpeed;

  // Stops the running upload: the transfer ends within a moment and the rest is skipped.
  void btnCancelClick();

 private:

  std::atomic<bool> cancel_{false};
  std::int64_t scale_ = 1;  // bytes per gauge step, so that large files fit the gauge's range
};

// Follows an upload loop on its thread and hands its figures to the window. Every "i of m",
// every file begun and ended and the last figures of every transfer are handed over; the figures
// in between at most every kMinInterval.
class ProgressRelay : public UploadListener {
 public:
  static constexpr std::chrono::milliseconds kMinInterval{40};

  explicit ProgressRelay(TUnitProgressBarFrm* window) : window_(window) {}

  void FileStarting(int index, int count) override;
  void TransferStarting() override;
  void ftpWorkBegin(const TransferFigures& now) override;
  void ftpWork(const TransferFigures& now) override;
  void FileDone(int index, int count) override;
  void Finished() override;
  // The check before the upload, from the thread that checks.
  void Checking(std::size_t done, std::size_t total);
  void CheckEnded();

 private:
  using Clock = std::chrono::steady_clock;
  template <typename F>
  void Post(F call);

  TUnitProgressBarFrm* window_;  // outlives every upload
  Clock::time_point lastPost_;
};

}  // namespace kestrel::ui
