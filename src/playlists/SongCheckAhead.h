// Checks the songs an upload is about to send, in the order they go, on a thread of its own and
// a few songs ahead of the connections, so that a connection finds its song's check made when
// its turn comes: the checking goes on while the connections wait on the network.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "songs/SongScreening.h"

namespace kestrel {

class SongCheckAhead {
 public:
  // Checks made and not taken yet, at most.
  static constexpr std::size_t kAhead = 4;
  // A song: its run (any address the caller keys its songs by) and its place there.
  using Key = std::pair<const void*, std::size_t>;
  struct Song {
    Key key;
    std::string path;
  };

  // Begins checking `songs` in order with the loudness target `target` (ScreenSong).
  SongCheckAhead(std::vector<Song> songs, std::optional<double> target);
  // Stops checking and waits for the check under way.
  ~SongCheckAhead();
  SongCheckAhead(const SongCheckAhead&) = delete;
  SongCheckAhead& operator=(const SongCheckAhead&) = delete;

  // The check of `key` made here (waiting for it while it is being made, or is the next to be
  // made; what the check threw is thrown here), or nothing when it is not made ahead: the caller
  // checks the song itself, and it is not checked here any more. A check is taken once.
  std::optional<songs::ScreenedSong> Take(const Key& key);
  // Whether the check of `key` is made and not taken: Take would not wait for it.
  bool Ready(const Key& key);
  // The songs of `run` from `first` to before `end` will not be sent: their checks are dropped,
  // or not made.
  void Drop(const void* run, std::size_t first, std::size_t end);

 private:
  struct Made {
    std::optional<songs::ScreenedSong> song;
    std::exception_ptr failure;
  };
  void Check();

  const std::vector<Song> songs_;
  const std::optional<double> target_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Key, Made> made_;     // checks made, not taken
  std::set<Key> notHere_;        // taken before their check began, or dropped
  std::optional<Key> checking_;  // the check under way
  std::size_t next_ = 0;         // the place in songs_ of the song to check next
  std::map<Key, std::size_t> places_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kestrel
