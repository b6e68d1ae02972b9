// The listener's side of an upload run: what the connections sending songs report is handed to
// the UploadListener one call at a time, and the figures of the transfers running at once are
// added up for it (TransferFigures). Safe on any thread; without a listener it tells nobody.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "playlists/UploadListener.h"

namespace kestrel {

class UploadTally {
 public:
  // For a run of `count` files on up to `connections` connections.
  UploadTally(UploadListener* listener, int count, int connections);

  void Starting(std::int64_t bytes);
  void FileStarting(int index);
  void FileDone();
  void TransferStarting();
  void FileStored(std::int64_t bytes);
  void Finished();
  // The transfer on connection `connection` (0 ..) began with `total` bytes (-1: not known),
  // moved `bytes` so far, or ended.
  void WorkBegin(int connection, FtpWorkMode mode, std::int64_t total);
  void Work(int connection, FtpWorkMode mode, std::int64_t bytes);
  void WorkEnded(int connection);
  // Whether the transfer on `connection` is storing and has moved all the bytes it began with.
  bool AllStored(int connection);

 private:
  using Clock = std::chrono::steady_clock;
  struct Transfer {
    bool running = false;
    FtpWorkMode mode = FtpWorkMode::Write;
    std::int64_t bytes = 0;
    std::int64_t total = 0;
    Clock::time_point start;
  };
  TransferFigures Figures() const;  // with the lock held

  UploadListener* listener_;
  const int count_;
  std::mutex mutex_;
  std::vector<Transfer> transfers_;
  int done_ = 0;
  int started_ = 0;
};

}  // namespace kestrel
