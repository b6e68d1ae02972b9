#include "songs/SongScreening.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "platform/Text.h"
#include "platform/Utf8Path.h"
#include "songs/AdjustedSong.h"
#include "songs/SongPool.h"

namespace kestrel::songs {

namespace {

std::string FileName(const std::string& path) {
  return platform::Utf8FromPath(platform::PathFromUtf8(path).filename());
}

}  // namespace

const ScreenedSong* SongScreening::Find(const std::string& path) const {
  for (const ScreenedSong& song : songs)
    if (song.check.path == path) return &song;
  return nullptr;
}

std::vector<std::string> SongScreening::NotSent() const {
  std::vector<std::string> lines;
  for (const ScreenedSong& song : songs)
    if (!song.check.Sendable()) lines.push_back(FileName(song.check.path) + ": " + song.check.reason);
  return lines;
}

std::vector<std::string> SongScreening::Warned() const {
  std::vector<std::string> lines;
  for (const ScreenedSong& song : songs)
    if (song.check.verdict == SongVerdict::Damaged) lines.push_back(FileName(song.check.path) + ": " + song.check.reason);
  return lines;
}

std::vector<std::string> SongScreening::Changed() const {
  std::vector<std::string> lines;
  for (const ScreenedSong& song : songs) {
    if (song.change.steps == 0) continue;
    std::string line = FileName(song.check.path) + ": " + platform::DecimalText(song.change.gainDb, 1, true) + " dB (to " +
                       platform::DecimalText(song.change.loudnessLufs, 1) + " LUFS)";
    if (!song.change.note.empty()) line += "; " + song.change.note;
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> SongScreening::MissedTarget() const {
  std::vector<std::string> lines;
  if (!targetLufs) return lines;
  for (const ScreenedSong& song : songs)
    if (song.check.Sendable() && song.change.steps == 0 && !song.change.reachesTarget)
      lines.push_back(FileName(song.check.path) + ": " + song.change.note);
  return lines;
}

SongScreening ScreenSongs(const std::vector<std::string>& paths, const ScreenOptions& options) {
  SongScreening screening;
  screening.targetLufs = options.targetLufs;
  SongPoolOptions pool;
  pool.cancel = options.cancel;
  pool.done = [&](std::size_t index, const SongCheck&) {
    if (options.progress) options.progress(index + 1, paths.size());
  };
  for (SongCheck& check : CheckSongs(paths, pool)) {
    ScreenedSong song;
    if (options.targetLufs && check.Sendable()) song.change = PlanLoudness(check, *options.targetLufs);
    song.check = std::move(check);
    screening.songs.push_back(std::move(song));
  }
  screening.cancelled = screening.songs.size() < paths.size();
  return screening;
}

ScreenedSong ScreenSong(const std::string& path, std::optional<double> targetLufs) {
  ScreenedSong song;
  song.check = CheckSong(path);
  if (targetLufs && song.check.Sendable()) song.change = PlanLoudness(song.check, *targetLufs);
  return song;
}

long long NormalizedTimeShift(double targetLufs) {
  return 1200 + 2 * std::llround(-targetLufs * 10);
}

struct SongSource::Parts {
  std::ifstream file;
  std::int64_t size = 0;
  std::unique_ptr<AdjustedSongReader> copy;
};

SongSource::SongSource(const std::string& path, const ScreenedSong* song) : parts_(std::make_unique<Parts>()) {
  if (song != nullptr && song->change.steps != 0) {
    parts_->copy = std::make_unique<AdjustedSongReader>(song->check, song->change.steps);
    parts_->size = parts_->copy->Size();
    return;
  }
  const std::filesystem::path file = platform::PathFromUtf8(path);
  std::error_code ec;
  parts_->size = static_cast<std::int64_t>(std::filesystem::file_size(file, ec));
  if (!ec) parts_->file.open(file, std::ios::binary);
  if (ec || !parts_->file) throw std::runtime_error("can not open " + path + (ec ? ": " + ec.message() : ""));
}

SongSource::~SongSource() = default;

std::int64_t SongSource::Size() const { return parts_->size; }

std::size_t SongSource::Read(char* buffer, std::size_t max) {
  if (parts_->copy) return parts_->copy->Read(buffer, max);
  parts_->file.read(buffer, static_cast<std::streamsize>(max));
  if (parts_->file.bad()) throw std::runtime_error("the file could not be read");
  return static_cast<std::size_t>(parts_->file.gcount());
}

}  // namespace kestrel::songs
