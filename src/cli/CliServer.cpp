#include "cli/CliServer.h"

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "core/TextEscape.h"
#include "playlists/ServerNames.h"

namespace kestrel::cli {

int CliServer::FailedStatus() { return client_.Connected() ? kRefused : kNoConnection; }

int CliServer::EnterFailed(const std::string& playList, const FtpError& e) {
  Complain("can not enter play list " + QuotedName(playList) + ": " +
           (e.reply().empty() ? e.what() : EscapeControls(e.reply())));
  return FailedStatus();
}

int CliServer::List() {
  const ListResult result = store_.ListPlayLists("");
  leftoversRemoved_ += result.leftoversRemoved;
  if (result.outcome == ListOutcome::Listed) return kOk;
  return store_.LastErrorWasConnection() ? kNoConnection : kRefused;
}

CliServer::Opened CliServer::Open(const std::string& playList, const std::string& target) {
  Opened opened;
  if ((opened.status = List()) != kOk) return opened;
  opened.playList = Find(playList);
  if (opened.playList != nullptr && !target.empty()) opened.target = Find(target);
  if (opened.playList == nullptr || (!target.empty() && opened.target == nullptr)) opened.status = kRefused;
  return opened;
}

CliServer::Opened CliServer::OpenSongs(const std::string& playList, const std::vector<std::string>& songs,
                                       const std::string& target) {
  Opened opened = Open(playList, target);
  if (opened.status != kOk || (opened.status = LoadSongs(*opened.playList)) != kOk) return opened;
  for (const std::string& name : songs) {
    TSongObj* song = FindSong(*opened.playList, name);
    if (song == nullptr) {
      opened.status = kRefused;
      return opened;
    }
    opened.songs.push_back(song);
  }
  return opened;
}

int CliServer::ListOne(TPlayListObj& playList, SongUploader::Listed& listed) {
  if (!IsUsableServerName(playList.Name) || !IsSendableName(playList.Name)) {
    Complain("there is no play list named " + QuotedName(playList.Name));
    return kRefused;
  }
  if (!store_.EnsureConnected()) return kNoConnection;
  try {
    const ServerListing listing = ReadServerListing(client_.ListDirExact(PlayListDir(playList.Name)));
    for (const ServerListing::Entry& e : listing.entries)
      if (e.entry.kind == FtpEntryKind::File) listed[e.entry.name] = {e.entry.size, e.entry.modifiedUtc};
    return kOk;
  } catch (const FtpError& e) {
    if (e.kind() == FtpError::Kind::Reply && e.code() / 100 == 5) {
      Complain("there is no play list named " + QuotedName(playList.Name) + " (" + EscapeControls(e.reply()) + ")");
      return kRefused;
    }
    return EnterFailed(playList.Name, e);
  }
}

TPlayListObj* CliServer::Find(const std::string& name) {
  const int row = name.empty() ? -1 : store_.FindPlayListRow(name, 0);
  if (row >= 0) return store_.At(row);
  Complain("there is no play list named " + QuotedName(name));
  return nullptr;
}

int CliServer::LoadSongs(TPlayListObj& playList) {
  if (store_.LoadSongs(playList)) return kOk;
  return store_.LastErrorWasConnection() ? kNoConnection : kRefused;
}

TSongObj* CliServer::FindSong(TPlayListObj& playList, const std::string& name) {
  const std::vector<TSongObj*> songs = playList.VisibleSongs();
  const int row = FindSongRowByName(songs, name);
  if (row >= 0) return songs[static_cast<std::size_t>(row)];
  Complain("there is no song " + QuotedName(name) + " in play list " + QuotedName(playList.Name));
  return nullptr;
}

}  // namespace kestrel::cli
