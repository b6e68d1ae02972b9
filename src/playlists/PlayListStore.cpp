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

void PlayListStore::Apply(const std::function<void()>& change) {
  if (!ownerCall_) {
    change();
  } else if (!ownerCall_(change)) {
    throw OwnerGone{};
  }
}

ListResult PlayListStore::ListPlayLists(const std::string& reselect) {
  std::string name = reselect;
  ListResult result;
  try {
    for (;;) {
      // The extras can wait until the root's rows are out, unless they decide how it is read;
      // then they wait for the pool's logins to begin, if there is a pool (PlayerReader).
      std::string why;
      if (!kestrel::EnsureConnected(client_, context_, &why, !exact_ || static_cast<bool>(pool_))) {
        Failed(why, true);
        return {ListOutcome::Terminating, -1};
      }
      try {
        ListOnce(name);
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
    Apply([this, &result] {
      for (PlayListStoreListener* listener : listeners_) listener->PlayListsListed(result.selectRow);
    });
  } catch (const OwnerGone&) {
    return {ListOutcome::Refused, -1};
  }
  return result;
}

void PlayListStore::ListOnce(const std::string& reselect) {
  Apply([this] { ClearPlayLists(); });
  unusable_.clear();
  leftovers_ = {};
  PlayerReader reader(client_, exact_, exact_ && pool_ ? pool_() : nullptr);
  std::vector<FtpListEntry> root = reader.ReadRoot();
  std::vector<Numbered> numbered = TakeRoot(root, reselect);
  if (std::optional<std::vector<FtpListEntry>> listed = reader.Settle(root)) {
    // LIST shows the root otherwise than STAT did: LIST's rows it is.
    Apply([this] { ClearPlayLists(); });
    numbered = TakeRoot(std::move(*listed), reselect);
  }
  ReadPlayLists(numbered, reader);
}

std::vector<PlayListStore::Numbered> PlayListStore::TakeRoot(std::vector<FtpListEntry> rootEntries,
                                                             const std::string& reselect) {
  // The player numbers every folder under the root that holds a file, whatever its name. A
  // folder whose name holds "\" is no play list here (nothing is ever done inside it), but it
  // keeps its place in that numbering.
  std::vector<Numbered> numbered;
  int rows = 0;
  for (const FtpListEntry& entry : rootEntries) {
    if (entry.kind != FtpEntryKind::Directory) continue;
    if (IsUsableServerName(entry.name))
      numbered.push_back({rows++, entry.name});
    else if (entry.name.find('\\') != std::string::npos && entry.name.find('/') == std::string::npos)
      numbered.push_back({-1, entry.name});
  }
  ServerListing rootListing = ReadServerListing(std::move(rootEntries));
  unusable_ = std::move(rootListing.unusable);
  std::vector<std::unique_ptr<TPlayListObj>> playLists;
  for (ServerListing::Entry& listed : rootListing.entries) {
    if (listed.entry.kind != FtpEntryKind::Directory) continue;
    auto playList = std::make_unique<TPlayListObj>();
    playList->Seq = static_cast<std::int32_t>(playLists.size()) + 1;
    playList->Name = std::move(listed.entry.name);
    playLists.push_back(std::move(playList));
  }
  Apply([&] {
    store_.PlayList = std::move(playLists);
    const int row = FindPlayListRow(reselect, 0);
    for (PlayListStoreListener* listener : listeners_) listener->PlayListsFound(row);
  });
  return numbered;
}

void PlayListStore::ReadPlayLists(const std::vector<Numbered>& numbered, PlayerReader& reader) {
  // A folder whose name cannot be sent is not asked for: it holds no file as far as the program
  // can tell.
  std::vector<std::string> folders;
  std::vector<std::size_t> asked;  // the index in `numbered` of each folder asked for
  for (std::size_t i = 0; i < numbered.size(); ++i) {
    if (!IsSendableName(numbered[i].folder)) continue;
    folders.push_back(numbered[i].folder);
    asked.push_back(i);
  }
  std::int32_t counter = 1;
  std::size_t next = 0;
  const std::time_t now = std::time(nullptr);
  reader.ReadFolders(folders, [&](std::size_t first, std::vector<FtpDirListing>& batch) {
    std::vector<FtpDirListing*> listings;
    for (FtpDirListing& listing : batch) listings.push_back(&listing);
    std::optional<FtpError> failure;
    std::vector<Arrived> arrived =
        Number(numbered, next, asked[first + batch.size() - 1], listings, counter, now, failure);
    // What was read before a play list the server refused to list stays.
    Take(arrived);
    if (failure) throw *failure;
  });
  std::vector<FtpDirListing*> none;
  std::optional<FtpError> failure;
  if (!numbered.empty() && next < numbered.size()) {
    std::vector<Arrived> arrived = Number(numbered, next, numbered.size() - 1, none, counter, now, failure);
    Take(arrived);
  }
}

std::vector<PlayListStore::Arrived> PlayListStore::Number(const std::vector<Numbered>& numbered, std::size_t& next,
                                                          std::size_t last, std::vector<FtpDirListing*>& listings,
                                                          std::int32_t& counter, std::time_t now,
                                                          std::optional<FtpError>& failure) {
  std::vector<Arrived> arrived;
  auto listing = listings.begin();
  for (; next <= last; ++next) {
    const Numbered& folder = numbered[next];
    FtpDirListing* got = IsSendableName(folder.folder) && listing != listings.end() ? *listing++ : nullptr;
    if (folder.row < 0) {
      // A folder the server will not list is taken to hold nothing.
      if (got != nullptr && !got->error && ReadServerListing(std::move(got->entries)).files > 0) ++counter;
      continue;
    }
    Arrived playList{folder.row, 0, {}, {}};
    if (got != nullptr) {
      if (got->error) {
        failure = got->error;
        break;
      }
      ServerListing read = ReadServerListing(std::move(got->entries));
      if (read.files - SortOutTransfers(folder.folder, read, now) > 0) playList.number = counter++;
      playList.songs = SongsOf(folder.folder, read);
      playList.unusable = std::move(read.unusable);
    }
    arrived.push_back(std::move(playList));
  }
  return arrived;
}

void PlayListStore::Take(std::vector<Arrived>& arrived) {
  if (arrived.empty()) return;
  Apply([&] {
    for (Arrived& a : arrived) {
      TPlayListObj& playList = *store_.PlayList[static_cast<std::size_t>(a.row)];
      playList.SeqInVeltra = a.number;
      // A play list whose name cannot be sent was never read: its songs are not known.
      if (!IsSendableName(playList.Name)) continue;
      playList.SongList = std::move(a.songs);
      playList.UnusableNames = std::move(a.unusable);
      playList.GotSong = true;
    }
    const int first = arrived.front().row;
    const int count = arrived.back().row - first + 1;
    for (PlayListStoreListener* listener : listeners_) listener->PlayListsRead(first, count);
  });
}

std::int32_t PlayListStore::SortOutTransfers(const std::string& playList, const ServerListing& listing,
                                            std::time_t now) {
  std::int32_t removed = 0;
  for (const ServerListing::Entry& listed : listing.entries) {
    const std::string& name = listed.entry.name;
    if (listed.fileNumber == 0 || !TransferName::Is(name)) continue;
    const std::string shown = playList + "/" + name;
    const std::string path = SongPath(playList, name);
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
  playList.SongList = SongsOf(playList.Name, listing);
  playList.UnusableNames = std::move(listing.unusable);
}

std::vector<std::unique_ptr<TSongObj>> PlayListStore::SongsOf(const std::string& playList, ServerListing& listing) {
  std::vector<std::unique_ptr<TSongObj>> songs;
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
    song->ParentName = playList;
    songs.push_back(std::move(song));
  }
  return songs;
}

void PlayListStore::TellUnusableSongNames(TPlayListObj& playList) {
  if (playList.UnusableNames.empty()) return;
  const std::vector<std::string> names = std::move(playList.UnusableNames);
  playList.UnusableNames.clear();
  prompts_.Show(PromptKind::InfoOk, UnusableNamesText(PlayListDir(playList.Name), names));
}

bool PlayListStore::LoadSongs(TPlayListObj& playList) {
  if (playList.GotSong) {
    TellUnusableSongNames(playList);
    return true;
  }
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
      TellUnusableSongNames(playList);
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

bool PlayListStore::ReadSongsAgain(TPlayListObj& copy) {
  try {
    if (!client_.Connected()) client_.Connect();
    ReadSongs(copy);
    copy.UnusableNames.clear();
    copy.GotSong = true;
    return true;
  } catch (const FtpError& e) {
    Failed(e.what(), e.kind() == FtpError::Kind::Connection);
    copy.ClearSongs();
    return false;
  }
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
