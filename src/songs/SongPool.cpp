#include "songs/SongPool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kestrel::songs {

std::vector<SongCheck> CheckSongs(const std::vector<std::string>& paths, const SongPoolOptions& options) {
  std::vector<SongCheck> results(paths.size());
  if (paths.empty()) return results;
  int workers = options.workers > 0 ? options.workers : static_cast<int>(std::thread::hardware_concurrency());
  workers = std::clamp(workers, 1, static_cast<int>(paths.size()));

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> finished(paths.size(), 0);
  std::size_t next = 0;   // the next song to start
  int running = workers;  // workers not yet ended
  auto work = [&] {
    for (;;) {
      std::size_t index;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (next == paths.size() || (options.cancel && options.cancel->load())) break;
        index = next++;
      }
      SongCheck check = CheckSong(paths[index], options.cancel);
      if (check.cancelled) break;  // stopped half way: not checked
      std::lock_guard<std::mutex> lock(mutex);
      results[index] = std::move(check);
      finished[index] = 1;
      changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex);
    --running;
    changed.notify_all();
  };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(workers));
  for (int i = 0; i < workers; ++i) threads.emplace_back(work);

  std::size_t told = 0;
  {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return (told < paths.size() && finished[told]) || running == 0; });
      while (told < paths.size() && finished[told]) {
        if (options.done) {
          lock.unlock();
          options.done(told, results[told]);
          lock.lock();
        }
        ++told;
      }
      if (running == 0) break;
    }
  }
  for (std::thread& t : threads) t.join();
  results.resize(told);
  return results;
}

}  // namespace kestrel::songs
