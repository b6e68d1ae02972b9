#include "cli/CliProgress.h"

#include <cstdio>

#include "core/TextEscape.h"
#include "platform/Terminal.h"

namespace kestrel::cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::string TimeLeftText(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld left", s / 60, s % 60);
  return text;
}

}  // namespace

std::string ByteText(std::int64_t bytes) {
  char text[32];
  if (bytes >= 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  else if (bytes >= 1024)
    std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>(bytes / 1024));
  else
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  return text;
}

CliProgress::CliProgress() : show_(platform::StdoutIsTerminal()) {}

void CliProgress::SetBatch(std::vector<std::string> names, int first, int total) {
  names_ = std::move(names);
  first_ = first;
  total_ = total;
}

double CliProgress::Seconds() const {
  if (!started_) return 0.0;
  return SecondsBetween(runStart_, ended_ ? runEnd_ : Clock::now());
}

void CliProgress::FileStarting(int index, int) {
  current_ = 0;
  fileTotal_ = -1;
  index_ = index;
  if (!started_) runStart_ = Clock::now();
  started_ = true;
  ended_ = false;
}

void CliProgress::FileStored(std::int64_t bytes) { stored_ += bytes; }

void CliProgress::Take(const TransferFigures& now) {
  current_ = now.bytes;
  fileTotal_ = now.total;
  seconds_ = now.seconds;
  running_ = now.running;
}

// A copy fetching its song: the store that follows is what counts.
void CliProgress::ftpWorkBegin(const TransferFigures& now) {
  if (now.mode != FtpWorkMode::Write) return;
  Take(now);
  Draw(true);
}

void CliProgress::ftpWork(const TransferFigures& now) {
  if (now.mode != FtpWorkMode::Write) return;
  Take(now);
  Draw(false);
}

void CliProgress::Finished() {
  current_ = 0;
  runEnd_ = Clock::now();
  ended_ = true;
  if (show_ && lastWidth_ > 0) {
    std::printf("\r%*s\r", static_cast<int>(lastWidth_), "");
    std::fflush(stdout);
    lastWidth_ = 0;
  }
}

void CliProgress::Draw(bool force) {
  if (!show_) return;
  const Clock::time_point now = Clock::now();
  if (!force && now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  const double seconds = seconds_;
  const std::string name = index_ >= 1 && static_cast<std::size_t>(index_) <= names_.size()
                               ? EscapeControls(names_[static_cast<std::size_t>(index_ - 1)])
                               : std::string();
  std::string line = "file " + std::to_string(first_ + index_) + " of " + std::to_string(total_);
  if (running_ > 1) line += " (" + std::to_string(running_) + " at once)";
  line += "  " + name + "  " + ByteText(current_);
  if (fileTotal_ > 0) line += " / " + ByteText(fileTotal_);
  const std::string speed = SpeedText(current_, seconds);
  if (!speed.empty()) line += "  " + speed;
  if (seconds > 0 && current_ > 0 && fileTotal_ > current_)
    line += "  " + TimeLeftText(static_cast<double>(fileTotal_ - current_) * seconds / static_cast<double>(current_));
  const std::size_t width = line.size();
  if (width < lastWidth_) line.append(lastWidth_ - width, ' ');
  lastWidth_ = width;
  std::printf("\r%s", line.c_str());
  std::fflush(stdout);
}

}  // namespace kestrel::cli
