// The state of one run of SongUploader, the value its steps are passed: the songs to send, where
// they go, what the server holds there, and what has come of it so far. A run lives for one call
// of the uploader; nothing of it is kept afterwards but the UploadResult it gives.
//
// Several connections may send the songs of a batch at once, each song by one connection. What
// they all add to (failures, temporary files left) goes through the run's lock; the listing and
// everything else is used by the one thread that looks, asks and puts the songs in place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "songs/SongScreening.h"

namespace kestrel {

class FtpClient;

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
  std::string name;       // the server's file name
  std::string localPath;  // where the bytes are read from
  // Brings the bytes to localPath first (copying), over the connection given.
  std::function<void(FtpClient&)> fetch;
  // What the check before sending found (not sent when it is no MP3), and the loudness change
  // of the copy to send; nullptr: the file is sent as it is.
  const songs::ScreenedSong* screened = nullptr;
};

// A song of a batch on its way.
struct BatchSong {
  std::size_t index = 0;    // in the run's sources
  UploadNameState before;   // what the server held under its name before the batch
  std::string temp;         // its temporary name on the server
  std::int64_t sent = -1;   // bytes stored under `temp`; -1: not stored
  long long modified = -1;  // the local file's modification time when it was sent
  bool settled = false;     // put in place, or its failure told
  int tries = 0;            // transfers begun; one that lost its connection is tried again
};

// Sources [first, end) of a run, sent and put in place together.
struct UploadBatch {
  std::size_t first = 0, end = 0;
  std::vector<BatchSong> songs;  // those to send, in order: usable, and not declined
  bool cancelled = false;
};

struct UploadRun {
  std::string dir;  // the target play list's directory on the server
  std::vector<UploadSource> sources;
  UploadResult result;
  UploadListing listing;  // the target's exact listing, kept up to date
  bool haveListing = false;
  std::size_t tallyFirst = 0;  // the files of the runs before it in the same progress
  bool ended = false;          // a failure ended it before its last file

  // Safe on any connection's thread.
  void Fail(const std::string& file, const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    result.failures.push_back({file, reason});
  }
  // The temporary file `temp` is left on the server for now.
  void Leave(const std::string& temp) {
    std::lock_guard<std::mutex> lock(mutex_);
    leftovers_.push_back(temp);
  }
  // Takes the files left so far, to try to remove them again.
  std::vector<std::string> TakeLeftovers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(leftovers_);
  }
  bool HasLeftovers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !leftovers_.empty();
  }
  // The check of source `index`, made as it was sent.
  void Checked(std::size_t index, songs::ScreenedSong song) {
    std::lock_guard<std::mutex> lock(mutex_);
    checked_.emplace_back(index, std::move(song));
  }
  // The checks made as songs were sent, in the order of the sources.
  std::vector<songs::ScreenedSong> TakeChecked() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::sort(checked_.begin(), checked_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<songs::ScreenedSong> songs;
    for (std::size_t i = 0; i < checked_.size(); ++i)  // a song sent again was checked again
      if (i == 0 || checked_[i].first != checked_[i - 1].first) songs.push_back(std::move(checked_[i].second));
    checked_.clear();
    return songs;
  }

  // What the exact listing shows under `name`.
  UploadNameState InListing(const std::string& name) const {
    const auto it = listing.find(name);
    return it == listing.end() ? UploadNameState{} : it->second;
  }
  const std::string& NameOf(const BatchSong& song) const { return sources[song.index].name; }

 private:
  std::mutex mutex_;
  std::vector<std::string> leftovers_;
  std::vector<std::pair<std::size_t, songs::ScreenedSong>> checked_;
};

}  // namespace kestrel
