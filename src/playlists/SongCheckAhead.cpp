#include "playlists/SongCheckAhead.h"

namespace kestrel {

SongCheckAhead::SongCheckAhead(std::vector<Song> songs, std::optional<double> target)
    : songs_(std::move(songs)), target_(target) {
  for (std::size_t i = 0; i < songs_.size(); ++i) places_[songs_[i].key] = i;
  thread_ = std::thread([this] { Check(); });
}

SongCheckAhead::~SongCheckAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SongCheckAhead::Check() {
  for (std::size_t i = 0; i < songs_.size(); ++i) {
    const Song& song = songs_[i];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      next_ = i;
      changed_.wait(lock, [this] { return stop_ || made_.size() < kAhead; });
      if (stop_) return;
      if (notHere_.count(song.key) != 0) continue;
      checking_ = song.key;
    }
    Made made;
    try {
      made.song = songs::ScreenSong(song.path, target_);
    } catch (...) {
      made.failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      checking_.reset();
      made_[song.key] = std::move(made);
      next_ = i + 1;
    }
    changed_.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = songs_.size();
  }
  changed_.notify_all();
}

std::optional<songs::ScreenedSong> SongCheckAhead::Take(const Key& key) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto place = places_.find(key);
  // Waits while its check is under way, or about to begin (the next not left out, with room).
  const auto comes = [&] {
    if (place == places_.end() || place->second < next_ || made_.size() >= kAhead || notHere_.count(key) != 0)
      return false;
    for (std::size_t i = next_; i < place->second; ++i)
      if (notHere_.count(songs_[i].key) == 0) return false;
    return true;
  };
  changed_.wait(lock, [&] { return stop_ || (checking_ != key && !comes()); });
  const auto found = made_.find(key);
  if (found == made_.end()) {
    notHere_.insert(key);
    return std::nullopt;
  }
  Made made = std::move(found->second);
  made_.erase(found);
  lock.unlock();
  changed_.notify_all();
  if (made.failure) std::rethrow_exception(made.failure);
  return std::move(made.song);
}

bool SongCheckAhead::Ready(const Key& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return made_.count(key) != 0;
}

void SongCheckAhead::Drop(const void* run, std::size_t first, std::size_t end) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Song& song : songs_)
      if (song.key.first == run && song.key.second >= first && song.key.second < end) {
        made_.erase(song.key);
        notHere_.insert(song.key);
      }
  }
  changed_.notify_all();
}

}  // namespace kestrel
