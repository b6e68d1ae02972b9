// What an upload window or progress line is told while SongUploader runs. Several songs may be
// on their way at once, one on each connection; the listener hears of them together.
#pragma once

#include <cstdint>

#include "playlists/FtpClient.h"

namespace kestrel {

// What the transfers running at one moment add up to (with one connection, the one transfer):
// those storing songs while any does, else those fetching songs to copy.
struct TransferFigures {
  FtpWorkMode mode = FtpWorkMode::Write;
  std::int64_t bytes = 0;   // moved so far by the transfers running now, together
  std::int64_t total = 0;   // their sizes together; -1 when one of them is not known
  double seconds = 0;       // since the first of them began
  int running = 0;          // how many run
};

// The calls come from the threads that send the songs, one call at a time.
class UploadListener {
 public:
  virtual ~UploadListener() = default;
  // The run's files and the bytes of those to be sent (-1: not known); called again when more
  // is known (after the replace questions of later songs).
  virtual void Starting(int /*count*/, std::int64_t /*bytes*/) {}
  // File `index` (from 1) of `count` is taken up ("i of m"); the numbers only grow.
  virtual void FileStarting(int /*index*/, int /*count*/) {}
  // A real transfer is about to begin: the first one shows the window.
  virtual void TransferStarting() {}
  // A transfer began, and bytes moved: the figures of all that run now (reading while a copy
  // fetches a song, writing while a song is stored).
  virtual void ftpWorkBegin(const TransferFigures& /*now*/) {}
  virtual void ftpWork(const TransferFigures& /*now*/) {}
  // A file is stored under its name: `bytes` of it.
  virtual void FileStored(std::int64_t /*bytes*/) {}
  // `done` of the `count` files are done, stored or not.
  virtual void FileDone(int /*done*/, int /*count*/) {}
  // The loop is over; called before the end message, if any, is shown.
  virtual void Finished() {}
};

}  // namespace kestrel
