// The FTP side of one kestrel-cli run: the client, the store of play lists, the opening steps
// every play list command takes (connect, list, find the play list, read its songs, find the
// songs named), the window's operations on this connection, and the exit status a failure on
// the way gives.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "core/AppContext.h"
#include "playlists/FtpClient.h"
#include "playlists/FtpConnectionPool.h"
#include "playlists/PlayListOperations.h"
#include "playlists/PlayListStore.h"
#include "playlists/ServerNames.h"
#include "playlists/UploadSongs.h"

namespace kestrel::cli {

class CliServer {
 public:
  // Connects with ftpServer.ini of the context's Settings folder; questions and messages go to
  // the command's prompts.
  explicit CliServer(CliContext& cli)
      : app_(cli.app), prompts_(cli.prompts), client_(ServerNotes(cli.app)), store_(client_, cli.app) {}
  ~CliServer() { client_.Quit(); }
  CliServer(const CliServer&) = delete;
  CliServer& operator=(const CliServer&) = delete;

  FtpClient& Client() { return client_; }
  PlayListStore& Store() { return store_; }

  // --- the opening steps; each failure has been said on standard error when they return
  // Connects and lists the play lists. kOk, or the exit status of the failure.
  int List();

  // What Open and OpenSongs found.
  struct Opened {
    int status = kOk;                  // kOk, or the exit status of the first failure
    TPlayListObj* playList = nullptr;  // the play list named
    TPlayListObj* target = nullptr;    // the other play list named (move and copy), if any
    std::vector<TSongObj*> songs;      // the songs named, in the order named
  };
  // Lists, then finds the play list `playList` and, when `target` is not empty, that one too.
  Opened Open(const std::string& playList, const std::string& target = {});
  // As Open, then reads the songs of `playList` and finds those named in `songs`.
  Opened OpenSongs(const std::string& playList, const std::vector<std::string>& songs = {},
                   const std::string& target = {});
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

  // --- the window's operations on this connection, asking through the command's prompts
  PlayListOperations Ops() { return PlayListOperations(client_, prompts_); }
  // Songs go over `pool` when given (see Pool), else over this connection alone.
  SongUploader Uploader(UploadListener* listener, FtpConnectionPool* pool = nullptr) {
    return SongUploader(client_, prompts_, InstallationId(app_), listener, nullptr, pool);
  }
  // Up to `connections` connections for sending songs, this one's first; none for one.
  std::unique_ptr<FtpConnectionPool> Pool(int connections) {
    if (connections <= 1) return nullptr;
    return std::make_unique<FtpConnectionPool>(client_, app_.RunState<FtpServerNotes>(), connections);
  }
  // One pool for the whole run (made by the first call, with `connections`), so that the
  // connections logged in to read the play lists go on to send the songs; none for one.
  FtpConnectionPool* SharedPool(int connections) {
    if (!sharedPool_) sharedPool_ = Pool(connections);
    return sharedPool_.get();
  }
  // Whether an operation or upload may have changed the zones' play lists; an operation's
  // result is noted here by the command that ran it.
  bool PlayListsChanged() const { return playListsChanged_; }
  void NotePlayListsChanged(bool mayHaveChanged) {
    if (mayHaveChanged) playListsChanged_ = true;
  }

  // Says that the play list could not be entered, with the server's reply, and gives the exit
  // status of that failure.
  int EnterFailed(const std::string& playList, const FtpError& e);
  // The exit status after a failed operation: no connection when the connection is gone,
  // refused otherwise.
  int FailedStatus();

 private:
  AppContext& app_;
  CliPrompts& prompts_;
  FtpClient client_;
  PlayListStore store_;
  std::atomic<bool> playListsChanged_{false};
  int leftoversRemoved_ = 0;
  std::unique_ptr<FtpConnectionPool> sharedPool_;  // goes before the client
};

}  // namespace kestrel::cli
