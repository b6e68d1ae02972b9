// The FTP side of one kestrel-cli run: the client, the store of play lists, and the exit
// status a failure on the way gives.
#pragma once

#include <string>

#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "playlists/UploadSongs.h"

namespace kestrel::cli {

class CliServer {
 public:
  CliServer() : store_(client_) {}
  ~CliServer() { client_.Quit(); }
  CliServer(const CliServer&) = delete;
  CliServer& operator=(const CliServer&) = delete;

  FtpClient& Client() { return client_; }
  PlayListStore& Store() { return store_; }

  // Connects (with Settings/ftpServer.ini) and lists the play lists. kOk, or the exit status
  // of the failure, whose message has gone to standard error.
  int List();
  // Connects and lists the one play list `playList` (by its Name) as exactly as the server
  // allows (FtpClient::ListDirExact), filling `listed` with its files. kOk, or the exit status
  // of the failure after saying that there is no such play list or why it cannot be read.
  int ListOne(TPlayListObj& playList, SongUploader::Listed& listed);
  // Unfinished uploads of earlier transfers that the listings removed.
  int LeftoversRemoved() const { return leftoversRemoved_; }
  // The play list named `name` (exact), or nullptr after saying there is none.
  TPlayListObj* Find(const std::string& name);
  // Reads the songs of `playList`; kOk or the exit status of the failure.
  int LoadSongs(TPlayListObj& playList);
  // The song of `playList` named `name` that is not deleted, or nullptr after saying so.
  TSongObj* FindSong(TPlayListObj& playList, const std::string& name);
  // Says that the play list could not be entered, with the server's reply, and gives the exit
  // status of that failure.
  int EnterFailed(const std::string& playList, const FtpError& e);
  // The exit status after a failed operation: no connection when the connection is gone,
  // refused otherwise.
  int FailedStatus();

 private:
  FtpClient client_;
  PlayListStore store_;
  int leftoversRemoved_ = 0;
};

}  // namespace kestrel::cli
