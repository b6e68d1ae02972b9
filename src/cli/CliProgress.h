// The transfer progress of upload, copy-songs and deploy: on a terminal one line that is
// rewritten as the bytes move (file i of m, how many go at once, the name of the last begun,
// bytes, speed and time left of those running); otherwise
// nothing until the summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "playlists/UploadSongs.h"

namespace kestrel::cli {

class CliProgress : public UploadListener {
 public:
  CliProgress();

  // The next loop's files: their names, and where they stand in the whole run (deploy runs one
  // loop per play list): file `first` + i of `total`.
  void SetBatch(std::vector<std::string> names, int first, int total);

  void FileStarting(int index, int count) override;
  void ftpWorkBegin(const TransferFigures& now) override;
  void ftpWork(const TransferFigures& now) override;
  void FileStored(std::int64_t bytes) override;
  void Finished() override;

  // The bytes of the files stored over the whole run (not those of files that failed), and the
  // seconds from the start of the first loop to the end of the last.
  std::int64_t BytesStored() const { return stored_; }
  double Seconds() const;

 private:
  void Take(const TransferFigures& now);
  void Draw(bool force);

  bool show_;
  std::vector<std::string> names_;
  int first_ = 0;
  int total_ = 0;
  int index_ = 0;
  std::int64_t fileTotal_ = -1;
  std::int64_t current_ = 0;
  std::int64_t stored_ = 0;
  double seconds_ = 0;  // of the transfers running now
  int running_ = 0;     // how many run
  bool started_ = false;
  bool ended_ = false;
  std::chrono::steady_clock::time_point runStart_;
  std::chrono::steady_clock::time_point runEnd_;
  std::chrono::steady_clock::time_point lastDraw_;
  std::size_t lastWidth_ = 0;
};

// "1.5 MB", "320 KB", "12 B".
std::string ByteText(std::int64_t bytes);

}  // namespace kestrel::cli
