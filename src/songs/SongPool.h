// Checks many songs at once, a worker thread per processor core, and hands the results on in
// the order of the paths as soon as each and all before it are done.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "songs/SongCheck.h"

namespace kestrel::songs {

struct SongPoolOptions {
  // Worker threads; 0: one per processor core (never more than there are songs).
  int workers = 0;
  // Called on the calling thread for each result, in the order of the paths.
  std::function<void(std::size_t index, const SongCheck& check)> done;
  // Watched between songs and between reads of a song: once set, no further song is started,
  // and the songs being checked are stopped where they are.
  const std::atomic<bool>* cancel = nullptr;
};

// The checks of `paths`, in their order. After a cancel, only the results of the songs
// before the first one not checked.
std::vector<SongCheck> CheckSongs(const std::vector<std::string>& paths, const SongPoolOptions& options = {});

}  // namespace kestrel::songs
