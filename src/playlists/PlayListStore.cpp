#include "playlists/PlayListStore.h"

#include <algorithm>
#include <ctime>

#include "core/Prompts.h"
#include "core/TextEscape.h"
#include "playlists/FtpServerConnect.h"
#include "playlists/ServerNames.h"

namespace kestrel {

PlayListStore::PlayListStore(FtpClient& client, AppContext& context)
    : client_(client), context_(context), prompts_(context.CurrentPrompts()) {}

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

bool PlayListStore::EnsureConnected() {
  std::string why;
  if (kestrel::EnsureConnected(client_, context_, &why)) return true;
  Failed(why, true);
  return false;
}

ListResult PlayListStore::ListPlayLists(const std::string& reselect) {
  std::string name = reselect;
  ListResult result;
  for (;;) {
    if (!EnsureConnected()) return {ListOutcome::Terminating, -1};
    try {
      ListOnce();
      result = {ListOutcome::Listed, FindPlayListRow(name, 0)};
      result.leftoversRemoved = static_cast<int>(leftovers_.removed.size());
      TellAboutListing();
      break;
    } catch (const FtpError& e) {
      Failed(e.what(), e.kind() == FtpError::Kind::Connection);
      // A server that did not answer in time, or whose answer cannot be used, is not asked
      // again at once; that failure does not use up a retry.
      if (e.retryable() && ++listingRetryCounter_ <= kMaxListingRetries) {
        name.clear();
        continue;
      }
      prompts_.Show(PromptKind::ErrorYes, std::string(kListingRefusedText) + "\r\n\r\n" + lastError_);
      result = {ListOutcome::Refused, -1};
      break;
    }
  }
  for (PlayListStoreListener* listener : listeners_) listener->PlayListsListed(result.selectRow);
  return result;
}

std::vector<FtpListEntry> PlayListStore::ListingOf(const std::string& dir) {
  return keepSongs_ ? client_.ListDirExact(dir) : client_.ListDir(dir);
}

void PlayListStore::ListOnce() {
  // The exact listing names every folder in full (or enters it itself), so it saves the round
  // trip into the root.
  if (!keepSongs_) client_.ChangeDir(kPlayListRoot);
  ClearPlayLists();
  unusable_.clear();
  leftovers_ = {};
  std::vector<FtpListEntry> rootEntries = ListingOf(kPlayListRoot);
  // The player numbers every folder under the root that holds a file, whatever its name. A
  // folder whose name holds "\" is no play list here (nothing is ever done inside it), but it
  // keeps its place in that numbering.
  std::vector<Numbered> numbered;
  for (const FtpListEntry& entry : rootEntries) {
    if (entry.kind != FtpEntryKind::Directory) continue;
    if (IsUsableServerName(entry.name))
      numbered.push_back({true, {}});
    else if (entry.name.find('\\') != std::string::npos && entry.name.find('/') == std::string::npos)
      numbered.push_back({false, entry.name});
  }
  TakePlayLists(std::move(rootEntries));
  NumberPlayLists(numbered);
}

void PlayListStore::TakePlayLists(std::vector<FtpListEntry> rootEntries) {
  ServerListing rootListing = ReadServerListing(std::move(rootEntries));
  unusable_ = std::move(rootListing.unusable);
  std::int32_t seq = 0;
  for (ServerListing::Entry& listed : rootListing.entries) {
    if (listed.entry.kind != FtpEntryKind::Directory) continue;
    auto playList = std::make_unique<TPlayListObj>();
    playList->Seq = ++seq;
    playList->Name = std::move(listed.entry.name);
    store_.PlayList.push_back(std::move(playList));
  }
}

void PlayListStore::NumberPlayLists(const std::vector<Numbered>& numbered) {
  std::int32_t counter = 1;
  const std::time_t now = std::time(nullptr);
  auto nextPlayList = store_.PlayList.begin();
  for (const Numbered& folder : numbered) {
    if (!folder.playList) {
      if (HoldsFile(PlayListDir(folder.folder))) ++counter;
      continue;
    }
    TPlayListObj& playList = **nextPlayList++;
    if (IsSendableName(playList.Name) && ReadPlayList(playList, now) > 0) playList.SeqInVeltra = counter++;
  }
}

std::int32_t PlayListStore::ReadPlayList(TPlayListObj& playList, std::time_t now) {
  ServerListing listing = ReadServerListing(ListingOf(PlayListDir(playList.Name)));
  const std::int32_t files = listing.files - SortOutTransfers(playList, listing, now);
  if (keepSongs_) {
    FillSongs(playList, listing);
    playList.GotSong = true;
  }
  return files;
}

std::int32_t PlayListStore::SortOutTransfers(const TPlayListObj& playList, const ServerListing& listing,
                                            std::time_t now) {
  std::int32_t removed = 0;
  for (const ServerListing::Entry& listed : listing.entries) {
    const std::string& name = listed.entry.name;
    if (listed.fileNumber == 0 || !TransferName::Is(name)) continue;
    const std::string shown = playList.Name + "/" + name;
    const std::string path = SongPath(playList.Name, name);
    const auto lastWritten = [&]() -> std::int64_t {
      long long seconds = 0;
      if (ParseUtcStamp(listed.entry.modifiedUtc, seconds)) return seconds;
      if (client_.ServerNote().features.mdtm && ParseUtcStamp(client_.ModificationTime(path), seconds)) return seconds;
      return -1;
    };
    if (!TransferName::Abandoned(name, now, InstallationId(context_), lastWritten)) {
      leftovers_.running.push_back(shown);
      continue;
    }
    if (!removeLeftovers_) {
      leftovers_.notRemoved.push_back(QuotedName(shown) + ": not removed now");
      continue;
    }
    try {
      client_.Delete(path);
      leftovers_.removed.push_back(shown);
      ++removed;
    } catch (const FtpError& e) {
      if (!e.retryable() || e.kind() == FtpError::Kind::Connection) throw;
      leftovers_.notRemoved.push_back(QuotedName(shown) + ": " +
                                      (e.reply().empty() ? e.what() : EscapeControls(e.reply())));
    }
  }
  return removed;
}

bool PlayListStore::HoldsFile(const std::string& dir) {
  if (!IsSendableName(dir)) return false;
  try {
    // Only read: the name is never used for anything that changes the server.
    return ReadServerListing(ListingOf(dir)).files > 0;
  } catch (const FtpError& e) {
    if (e.kind() == FtpError::Kind::Connection) throw;
    return false;  // a folder the server will not list is taken to hold nothing
  }
}

void PlayListStore::TellAboutListing() {
  if (!unusable_.empty()) prompts_.Show(PromptKind::InfoOk, UnusableNamesText(kPlayListRoot, unusable_));
  std::string text;
  const auto add = [&text](const char* heading, const std::vector<std::string>& lines, bool escaped) {
    if (lines.empty()) return;
    if (!text.empty()) text += "\n\n";
    text += heading;
    for (const std::string& line : lines) text += "\n" + (escaped ? line : QuotedName(line));
  };
  add("Removed unfinished uploads that earlier transfers left on the player:", leftovers_.removed, false);
  add("Unfinished uploads that earlier transfers left on the player, not removed:", leftovers_.notRemoved, true);
  add("Unfinished uploads of transfers that may still be running, left alone and not shown as songs:",
      leftovers_.running, false);
  if (!text.empty()) prompts_.Show(PromptKind::InfoOk, text);
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
  const std::string path = PlayListDir(playList.Name);
  client_.ChangeDir(path);
  ServerListing listing = ReadServerListing(client_.ListDir(path));
  FillSongs(playList, listing);
  unusable_ = std::move(listing.unusable);
}

void PlayListStore::FillSongs(TPlayListObj& playList, ServerListing& listing) {
  playList.ClearSongs();
  for (ServerListing::Entry& listed : listing.entries) {
    // Every file takes the number the player gives it, also one that is not shown.
    if (listed.fileNumber == 0 || TransferName::Is(listed.entry.name)) continue;
    auto song = std::make_unique<TSongObj>();
    song->Seq = listed.fileNumber;
    song->Name = std::move(listed.entry.name);
    song->DateTime = platform::LocaleDateTimeText(listed.entry.modified);
    song->ModTime = listed.entry.modified;
    song->Size = listed.entry.size;
    song->ModTimeUtc = listed.entry.modifiedUtc;
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
      if (!unusable_.empty())
        prompts_.Show(PromptKind::InfoOk, UnusableNamesText(PlayListDir(playList.Name), unusable_));
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
  prompts_.Show(PromptKind::ErrorOk,
                "Can not read the songs of play list \"" + EscapeControls(playList.Name) + "\".\r\n\r\n" + lastError_);
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
