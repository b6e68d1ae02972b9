// Reading the player: the listing of the play list root, then the listing of each folder under
// it, in as few round trips as the server allows. Everything that lists the play lists (the
// window, kestrel-cli's playlists, songs and deploy) reads through here, by PlayListStore.
//
// The root comes first and as early as it can: where the server lists by STAT, one round trip
// after the login, before the extras are tried at a first login and before the way to list is
// decided (FtpClient::ListDir, unconfirmed), so that a caller can show it at once. Settle then does what
// was left for later; when the way decided shows the root otherwise, it gives the root again, to
// be taken instead. The folders are then read in flight together (FtpClient::ListDirs): a few
// round trips for a few hundred play lists where the server takes STAT lines at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "playlists/FtpClient.h"
#include "playlists/FtpConnectionPool.h"

namespace kestrel {

class PlayerReader {
 public:
  // `exact`: every listing with sizes and times to the second where the server gives them
  // (FtpClient::ListDirExact, a data connection each; the extras are then tried first, and the
  // root is not entered). `client` is connected (with its extras tried, or left for later) and
  // outlives the reader. `pool` (made on `client`), when given, reads the exact listings of the
  // folders over its connections at once, a data connection each.
  PlayerReader(FtpClient& client, bool exact, FtpConnectionPool* pool = nullptr)
      : client_(client), exact_(exact), pool_(pool) {}

  // The root's entries.
  std::vector<FtpListEntry> ReadRoot();
  // What must follow the root's listing before the folders are read: the extras tried (at the
  // first login to the server), "CWD /" (unless exact), the way to list decided. Gives the root's
  // entries as LIST gave them when they are not those ReadRoot gave (`root`); nothing otherwise.
  std::optional<std::vector<FtpListEntry>> Settle(const std::vector<FtpListEntry>& root);
  // The listings of the folders named `folders` (names under the root, each sendable), handed
  // to `listed` in order, a batch at a time (as FtpClient::ListDirs hands them).
  void ReadFolders(const std::vector<std::string>& folders, const FtpDirsListed& listed);

 private:
  // The exact listing of `path` over `client`, or the server's refusal in its place.
  static FtpDirListing ExactListing(FtpClient& client, const std::string& path);

  FtpClient& client_;
  bool exact_;
  FtpConnectionPool* pool_;
  bool confirmed_ = true;  // the way to list is decided, or the root was not read by STAT alone
};

}  // namespace kestrel
