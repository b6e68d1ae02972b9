#include "playlists/PlayerReader.h"

#include "playlists/PlayListClass.h"

namespace kestrel {

std::vector<FtpListEntry> PlayerReader::ReadRoot() {
  if (exact_) {
    // Whether the server has exact listings at all is among the extras.
    // The play lists are read over the pool's connections next: their logins go on meanwhile.
    // They take what the extras showed from the server notes, which hold it by the time their
    // logins are through (a login that is through first tries the extras on its own).
    if (pool_ != nullptr) pool_->LoginAhead();
    client_.TryExtras();
    return client_.ListDirExact(kPlayListRoot);
  }
  return client_.ListDir(kPlayListRoot, &confirmed_);
}

std::optional<std::vector<FtpListEntry>> PlayerReader::Settle(const std::vector<FtpListEntry>& root) {
  if (exact_) return std::nullopt;
  client_.TryExtras();
  client_.ChangeDir(kPlayListRoot);
  if (confirmed_) return std::nullopt;
  confirmed_ = true;
  return client_.ConfirmListing(kPlayListRoot, root);
}

void PlayerReader::ReadFolders(const std::vector<std::string>& folders, const FtpDirsListed& listed) {
  std::vector<std::string> paths;
  paths.reserve(folders.size());
  for (const std::string& folder : folders) paths.push_back(PlayListDir(folder));
  if (!exact_ || !client_.ListsExactly()) {
    client_.ListDirs(paths, listed);
    return;
  }
  if (pool_ != nullptr && paths.size() > 1) {
    // Each listing costs its own data connection and round trips: the connections share them.
    std::vector<FtpDirListing> all(paths.size());
    pool_->ForEach(paths.size(), [&](FtpClient& client, std::size_t i) {
      // A connection that went is opened again once; a second loss ends the reading.
      try {
        all[i] = ExactListing(client, paths[i]);
        return;
      } catch (const FtpError&) {
        if (&client == &client_ || !pool_->Reconnect(client)) throw;
      }
      all[i] = ExactListing(client, paths[i]);
    });
    listed(0, all);
    return;
  }
  std::vector<FtpDirListing> batch(1);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    batch[0] = ExactListing(client_, paths[i]);
    listed(i, batch);
  }
}

FtpDirListing PlayerReader::ExactListing(FtpClient& client, const std::string& path) {
  FtpDirListing listing;
  try {
    listing.entries = client.ListDirExact(path);
  } catch (const FtpError& e) {
    if (e.kind() == FtpError::Kind::Connection) throw;
    listing.error = e;
  }
  return listing;
}

}  // namespace kestrel
