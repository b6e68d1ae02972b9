#include "playlists/UploadTally.h"

#include <algorithm>

namespace kestrel {

UploadTally::UploadTally(UploadListener* listener, int count, int connections)
    : listener_(listener), count_(count), transfers_(static_cast<std::size_t>(std::max(1, connections))) {}

void UploadTally::Starting(std::int64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (listener_) listener_->Starting(count_, bytes);
}

void UploadTally::FileStarting(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index <= started_) return;  // told already
  started_ = index;
  if (listener_) listener_->FileStarting(index, count_);
}

void UploadTally::FileDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_;
  if (listener_) listener_->FileDone(done_, count_);
}

void UploadTally::TransferStarting() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (listener_) listener_->TransferStarting();
}

void UploadTally::FileStored(std::int64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (listener_) listener_->FileStored(bytes);
}

void UploadTally::Finished() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (listener_) listener_->Finished();
}

void UploadTally::WorkBegin(int connection, FtpWorkMode mode, std::int64_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transfer& t = transfers_.at(static_cast<std::size_t>(connection));
  t = {true, mode, 0, total, Clock::now()};
  if (listener_) listener_->ftpWorkBegin(Figures());
}

void UploadTally::Work(int connection, FtpWorkMode mode, std::int64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transfer& t = transfers_.at(static_cast<std::size_t>(connection));
  t.mode = mode;
  t.bytes = bytes;
  if (listener_) listener_->ftpWork(Figures());
}

void UploadTally::WorkEnded(int connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  transfers_.at(static_cast<std::size_t>(connection)).running = false;
}

bool UploadTally::AllStored(int connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Transfer& t = transfers_.at(static_cast<std::size_t>(connection));
  return t.running && t.mode == FtpWorkMode::Write && t.total >= 0 && t.bytes == t.total;
}

// Over the transfers that store songs while any does, else over those that fetch them.
TransferFigures UploadTally::Figures() const {
  TransferFigures f;
  f.mode = FtpWorkMode::Read;
  for (const Transfer& t : transfers_)
    if (t.running && t.mode == FtpWorkMode::Write) f.mode = FtpWorkMode::Write;
  const Clock::time_point now = Clock::now();
  Clock::time_point first = now;
  for (const Transfer& t : transfers_) {
    if (!t.running || t.mode != f.mode) continue;
    ++f.running;
    f.bytes += t.bytes;
    f.total = f.total < 0 || t.total < 0 ? -1 : f.total + t.total;
    first = std::min(first, t.start);
  }
  f.seconds = std::chrono::duration<double>(now - first).count();
  return f;
}

}  // namespace kestrel
