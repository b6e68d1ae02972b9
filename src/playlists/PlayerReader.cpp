#include "playlists/PlayerReader.h"

#include "playlists/PlayListClass.h"

namespace kestrel {

std::vector<FtpListEntry> PlayerReader::ReadRoot() {
  if (exact_) {
    // Whether the server has exact listings at all is among the extras.
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
  std::vector<FtpDirListing> batch(1);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    batch[0] = {};
    try {
      batch[0].entries = client_.ListDirExact(paths[i]);
    } catch (const FtpError& e) {
      if (e.kind() == FtpError::Kind::Connection) throw;
      batch[0].error = e;
    }
    listed(i, batch);
  }
}

}  // namespace kestrel
