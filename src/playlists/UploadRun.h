// The state of one run of SongUploader, the value its steps are passed: the songs to send, where
// they go, what the server holds there, and what has come of it so far. A run lives for one call
// of the uploader; nothing of it is kept afterwards but the UploadResult it gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrel {

struct UploadFailure {
  std::string file;    // the song's name
  std::string reason;  // the server's reply or the local error, control characters escaped
};

struct UploadResult {
  // At least one file was stored: the zones' play lists may have changed (the caller sets
  // PlayListsChanged) and the target's songs are to be read again.
  bool uploaded = false;
  bool cancelled = false;  // the user stopped the loop
  std::vector<UploadFailure> failures;
  std::vector<std::string> leftovers;  // temporary files that could not be removed
};

// What the server holds under a name: its size (-1: no file of that name) and its modification
// time ("YYYYMMDDHHMMSS" UTC, or as MDTM gave it; empty when not known).
struct UploadNameState {
  std::int64_t size = -1;
  std::string modified;
  bool operator==(const UploadNameState& o) const { return size == o.size && modified == o.modified; }
};
// The files of a directory by name.
using UploadListing = std::map<std::string, UploadNameState>;

// A song to send.
struct UploadSource {
  std::string name;             // the server's file name
  std::string localPath;        // where the bytes are read from
  std::function<void()> fetch;  // brings the bytes to localPath first (copying)
};

// A song of a batch on its way.
struct BatchSong {
  std::size_t index = 0;  // in the run's sources
  UploadNameState before;   // what the server held under its name before the batch
  std::string temp;         // its temporary name on the server
  std::int64_t sent = -1;   // bytes stored under `temp`; -1: not stored
  long long modified = -1;  // the local file's modification time (seconds, UTC); -1: not known
  bool settled = false;     // put in place, or its failure told
};

// Sources [first, end) of a run, sent and put in place together.
struct UploadBatch {
  std::size_t first = 0, end = 0;
  std::vector<BatchSong> songs;  // those to send, in order: usable, and not declined
  std::size_t next = 0;           // the next source to tell the listener about
  bool cancelled = false;
};

struct UploadRun {
  std::string dir;  // the target play list's directory on the server
  std::vector<UploadSource> sources;
  UploadResult result;
  std::vector<std::string> leftovers;  // temporary files of this run not removed yet
  UploadListing listing;               // the target's exact listing, kept up to date
  bool haveListing = false;

  void Fail(const std::string& file, const std::string& reason) { result.failures.push_back({file, reason}); }
  // What the exact listing shows under `name`.
  UploadNameState InListing(const std::string& name) const {
    const auto it = listing.find(name);
    return it == listing.end() ? UploadNameState{} : it->second;
  }
  const std::string& NameOf(const BatchSong& song) const { return sources[song.index].name; }
};

}  // namespace kestrel
