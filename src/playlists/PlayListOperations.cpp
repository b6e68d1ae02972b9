#include "playlists/PlayListOperations.h"

#include <algorithm>

#include "core/TextEscape.h"
#include "playlists/FtpServerConnect.h"
#include "playlists/ServerNames.h"

namespace kestrel {

namespace {

std::string Quoted(const std::string& name) { return QuotedName(name); }

// What the server (or the network) said, for a message, control characters escaped.
std::string Reason(const FtpError& e) { return e.reply().empty() ? e.what() : EscapeControls(e.reply()); }

}  // namespace

std::string ReplaceQuestion(const std::string& name) { return Quoted(name) + " exists. Replace it?"; }

std::string NextFreePlayListName(const std::string& base, const std::vector<std::string>& names) {
  for (int n = 0;; ++n) {
    std::string candidate = n == 0 ? base : base + std::to_string(n);
    if (std::find(names.begin(), names.end(), candidate) == names.end()) return candidate;
  }
}

bool IsPlainPlayListName(const std::string& name) { return NewServerNameProblem(name).empty(); }

bool PlayListOperations::Reconnect() {
  if (ftp_.Connected()) return true;
  try {
    ftp_.Connect();
    return true;
  } catch (const FtpError& e) {
    prompts_.Show(PromptKind::ErrorYes, std::string(kConnectFailText) + "\r\n\r\n" + e.what());
    return false;
  }
}

bool PlayListOperations::CreateOnServer(const TPlayListObj& playList) {
  if (playList.Name.empty() || !Reconnect()) return false;
  try {
    ftp_.ChangeDir(kPlayListRoot);
    ftp_.MakeDir(playList.Name);
    return true;
  } catch (const FtpError& e) {
    prompts_.Show(PromptKind::ErrorOk,
                  "Can not create play list " + Quoted(playList.Name) + ".\r\n\r\n" + Reason(e));
    return false;
  }
}

bool PlayListOperations::RenamePlayList(TPlayListObj& playList, const std::string& newName) {
  if (newName.empty()) {
    prompts_.Show(PromptKind::ErrorYes, kEmptyNameText);
    return false;
  }
  if (!Reconnect()) return false;
  try {
    ftp_.ChangeDir(kPlayListRoot);
    ftp_.Rename(playList.Name, newName);
  } catch (const FtpError&) {
    prompts_.Show(PromptKind::ErrorYes, kRenameFailedText);
    return false;
  }
  playList.Name = newName;
  return true;
}

DeleteResult PlayListOperations::DeletePlayList(TPlayListObj& playList) {
  const bool hadSongs = !playList.SongList.empty();
  if (!prompts_.Confirm(kDeletePlayListQuestion) || !Reconnect()) return {};
  int removed = 0;
  skipped_.clear();
  // The names left alone are told once, whatever the outcome.
  struct TellSkipped {
    PlayListOperations& ops;
    ~TellSkipped() {
      for (const auto& [where, names] : ops.skipped_) ops.prompts_.Show(PromptKind::InfoOk, UnusableNamesText(where, names));
    }
  } tell{*this};
  try {
    EmptyDirectory(playList.Name, removed);
    ftp_.ChangeDir(kPlayListRoot);
    ftp_.RemoveDir(playList.Name);
  } catch (const FtpError& e) {
    prompts_.Show(PromptKind::ErrorOk, "Can not delete play list " + Quoted(playList.Name) +
                                           " completely.\r\n\r\n" + Reason(e));
    // With nothing removed yet the server holds what the window shows.
    return {removed > 0 ? DeleteOutcome::Partial : DeleteOutcome::NotDone, hadSongs || removed > 0};
  }
  return {DeleteOutcome::Deleted, hadSongs || removed > 0};
}

void PlayListOperations::EmptyDirectory(const std::string& path, int& removed) {
  const std::string here = PlayListDir(path);
  ftp_.ChangeDir(here);
  // This level's own listing: the calls for sub-folders list theirs and leave this one alone.
  const ServerListing listing = ReadServerListing(ftp_.List());
  if (!listing.unusable.empty()) skipped_.emplace_back(here, listing.unusable);
  for (const ServerListing::Entry& listed : listing.entries) {
    const FtpListEntry& entry = listed.entry;
    switch (entry.kind) {
      case FtpEntryKind::File:
        ftp_.Delete(entry.name);
        ++removed;
        break;
      case FtpEntryKind::Directory:
        EmptyDirectory(path + "/" + entry.name, removed);
        ftp_.ChangeDir(here);
        ftp_.RemoveDir(entry.name);
        ++removed;
        break;
      case FtpEntryKind::Link:
        break;
    }
  }
}

bool PlayListOperations::DeleteSong(const TPlayListObj& playList, TSongObj& song, bool confirm) {
  if (confirm && !prompts_.Confirm("Delete " + Quoted(song.Name) + " ?")) return false;
  if (!Reconnect()) {
    lastError_ = "no connection";
    unreachable_ = true;
    return false;
  }
  try {
    ftp_.ChangeDir(PlayListDir(playList.Name));
    ftp_.Delete(song.Name);
  } catch (const FtpError& e) {
    lastError_ = Reason(e);
    return false;
  }
  song.Deleting = true;
  return true;
}

void PlayListOperations::CommitDeletions(TPlayListObj& playList) {
  int gone = 0;
  for (const auto& song : playList.SongList) {
    if (song->Deleted) continue;
    if (song->Deleting) {
      song->Deleted = true;
      ++gone;
    } else if (gone > 0) {
      song->Seq -= gone;
    }
  }
}

int PlayListOperations::DeleteCheckedSongs(TPlayListObj& playList, const std::vector<TSongObj*>& rows) {
  int deleted = 0;
  unreachable_ = false;
  for (TSongObj* song : rows) {
    if (song != nullptr && song->Checked && !song->Deleted && DeleteSong(playList, *song, true)) ++deleted;
    if (unreachable_) break;  // told once; the songs after it stay
  }
  if (deleted > 0) CommitDeletions(playList);
  return deleted;
}

bool PlayListOperations::MoveSongs(const std::string& target, const std::vector<TSongObj*>& songs) {
  if (songs.empty() || !Reconnect()) return false;
  const std::string targetDir = PlayListDir(target);
  ftp_.ChangeDir(targetDir);
  bool moved = false;
  for (TSongObj* song : songs) {
    if (song == nullptr || song->ParentName == target) continue;
    const std::string from = SongPath(song->ParentName, song->Name);
    const std::string to = SongPath(target, song->Name);
    try {
      // The connection stays in the target directory, where SIZE tells whether the name is taken.
      if (ftp_.Size(song->Name) >= 0) {
        if (!prompts_.Confirm(ReplaceQuestion(song->Name))) continue;
        ftp_.Delete(song->Name);
      }
      ftp_.Rename(from, to);
      moved = true;
    } catch (const FtpError&) {
      // This song stays where it was; the next one is tried.
    }
  }
  return moved;
}

}  // namespace kestrel
