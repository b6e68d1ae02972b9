#include "playlists/PlayListStore.h"

#include <algorithm>

#include "core/Prompts.h"
#include "core/TextEscape.h"

namespace kestrel {

PlayListStore::PlayListStore(FtpClient& client) : client_(client) {}

PlayListStore::~PlayListStore() = default;

TPlayListObj* PlayListStore::At(int row) const {
  if (row < 0 || row >= Count()) return nullptr;
  return store_.PlayList[static_cast<std::size_t>(row)].get();
}

void PlayListStore::AddListener(PlayListStoreListener* listener) {
  listeners_.push_back(listener);
}

void PlayListStore::RemoveListener(PlayListStoreListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void PlayListStore::ClearPlayLists() {
  for (PlayListStoreListener* listener : listeners_) listener->PlayListsCleared();
  store_.PlayList.clear();
}

ListResult PlayListStore::ListPlayLists(const std::string& reselect) {
  std::string name = reselect;
  ListResult result;
  for (;;) {
    if (!client_.EnsureConnected()) {
      Failed(client_.LastConnectError(), true);
      return {ListOutcome::Terminating, -1};
    }
    try {
      ListOnce();
      result = {ListOutcome::Listed, FindPlayListRow(name, 0)};
      break;
    } catch (const FtpError& e) {
      Failed(e.what(), e.kind() == FtpError::Kind::Connection);
      // A server that did not answer in time, or whose answer cannot be used, is not asked
      // again at once; that failure does not use up a retry.
      if (e.retryable() && client_.IncrementListingRetryCounter() <= kMaxListingRetries) {
        name.clear();
        continue;
      }
      CurrentPrompts().Show(PromptKind::ErrorYes,
                            std::string(kListingRefusedText) + "\r\n\r\n" + lastError_);
      result = {ListOutcome::Refused, -1};
      break;
    }
  }
  for (PlayListStoreListener* listener : listeners_) listener->PlayListsListed(result.selectRow);
  return result;
}

void PlayListStore::ListOnce() {
  const std::string& root = client_.RootDir();
  client_.ChangeDir(root);
  ClearPlayLists();
  std::int32_t seq = 0;
  for (FtpListEntry& entry : client_.ListDir(root)) {
    if (entry.kind != FtpEntryKind::Directory || entry.name == "." || entry.name == "..")
      continue;
    auto playList = std::make_unique<TPlayListObj>();
    playList->Seq = ++seq;
    playList->Name = std::move(entry.name);
    store_.PlayList.push_back(std::move(playList));
  }
  std::int32_t counter = 1;
  for (const auto& playList : store_.PlayList) {
    if (!FtpClient::IsSendableName(playList->Name)) continue;
    const std::vector<FtpListEntry> entries = client_.ListDir(root + playList->Name);
    const bool holdsFile = std::any_of(entries.begin(), entries.end(), [](const FtpListEntry& e) {
      return e.kind == FtpEntryKind::File;
    });
    if (holdsFile) playList->SeqInVeltra = counter++;
  }
}

int PlayListStore::FindPlayListRow(const std::string& name, int deviceNumber) const {
  if (store_.PlayList.empty()) return -1;
  if (name.empty() && deviceNumber == 0) return 0;
  for (std::size_t i = 0; i < store_.PlayList.size(); ++i) {
    const TPlayListObj& playList = *store_.PlayList[i];
    if (playList.Name == name || (deviceNumber != 0 && playList.SeqInVeltra == deviceNumber))
      return static_cast<int>(i);
  }
  return -1;
}

void PlayListStore::ReadSongs(TPlayListObj& playList) {
  playList.ClearSongs();
  const std::string path = client_.RootDir() + playList.Name;
  client_.ChangeDir(path);
  std::int32_t seq = 0;
  for (FtpListEntry& entry : client_.ListDir(path)) {
    if (entry.kind != FtpEntryKind::File) continue;
    auto song = std::make_unique<TSongObj>();
    song->Seq = ++seq;
    song->Name = std::move(entry.name);
    song->DateTime = platform::LocaleDateTimeText(entry.modified);
    song->ModTime = entry.modified;
    song->ParentName = playList.Name;
    playList.SongList.push_back(std::move(song));
  }
}

bool PlayListStore::LoadSongs(TPlayListObj& playList) {
  if (playList.GotSong) return true;
  for (int attempt = 1; attempt <= kLoadSongsAttempts; ++attempt) {
    if (!client_.Connected()) {
      try {
        client_.Connect();
      } catch (const FtpError& e) {
        Failed(e.what(), true);
        break;  // the server cannot be reached now; trying again at once will not change that
      }
    }
    try {
      ReadSongs(playList);
      playList.GotSong = true;
      return true;
    } catch (const FtpError& e) {
      Failed(e.what(), e.kind() == FtpError::Kind::Connection);
      const bool transient =
          e.retryable() && (e.kind() == FtpError::Kind::Connection ||
                            (e.kind() == FtpError::Kind::Reply && e.code() / 100 == 4));
      if (!transient) break;
    }
  }
  playList.ClearSongs();
  CurrentPrompts().Show(PromptKind::ErrorOk, "Can not read the songs of play list \"" +
                                                 EscapeControls(playList.Name) + "\".\r\n\r\n" +
                                                 lastError_);
  return false;
}

void PlayListStore::Failed(const std::string& why, bool connection) {
  lastError_ = why;
  lastErrorWasConnection_ = connection;
}

int PlayListStore::CheckedSongCount() const {
  int count = 0;
  for (const auto& playList : store_.PlayList) count += playList->CheckedSongCount();
  return count;
}

}  // namespace kestrel
