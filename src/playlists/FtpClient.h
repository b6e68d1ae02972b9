// The FTP client: one connection at a time to an FTP server, and the operations the play lists
// and songs are read and changed with. It speaks FTP and nothing else: it is given the server's
// address and the account to log in with, and every failure is an FtpError that carries the
// server's reply (or what the network said), for the caller to decide what the user sees.
//
// Used from one thread at a time; several clients may work on one server at once, each with a
// connection of its own, sharing what is known of the server (FtpServerNotes). Data connections
// are active (the client listens and announces its port with PORT); transfers are binary (TYPE I
// is sent once at login, then SYST). Time-outs and what a failure of the connection does are
// those of FtpConnection: after such a failure the client is not connected, and the next Connect
// opens a new connection. A listing that holds lines but none that can be read is an error
// quoting its first line, never an empty directory.
//
// Names given to the operations are sent exactly as given, relative to the current directory
// unless they start with "/". A name holding CR or LF is refused (FtpError::Kind::BadName)
// before anything is sent, because the server would read the rest as a second command.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playlists/FtpConnection.h"
#include "playlists/FtpError.h"
#include "playlists/FtpListParser.h"
#include "playlists/FtpListingChoice.h"
#include "playlists/FtpListingGroup.h"
#include "playlists/FtpReply.h"
#include "playlists/FtpServerNotes.h"

namespace kestrel {

enum class FtpWorkMode { Read, Write };

// Progress of a transfer: it begins (with its byte count, -1 when not known), and bytes moved so
// far. A handler may throw to end the transfer early (a cancel): the data connection is closed,
// the server's reply read, and the exception reaches the caller of Store or Retrieve.
using FtpWorkBeginHandler = std::function<void(FtpWorkMode mode, std::int64_t totalBytes)>;
using FtpWorkHandler = std::function<void(FtpWorkMode mode, std::int64_t bytesSoFar)>;

// How FtpClient::ListDirs hands on the listings it has read: those of paths [first, first +
// batch.size()).
using FtpDirsListed = std::function<void(std::size_t first, std::vector<FtpDirListing>& batch)>;

class FtpClient {
 public:
  // What the program knows of the servers it talks to; `notes` outlives the client.
  explicit FtpClient(FtpServerNotes& notes);
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // --- the server, the account on it, and the time-outs Connect uses
  void SetAccount(const FtpAccount& account) { account_ = account; }
  const FtpAccount& Account() const { return account_; }
  void SetTimeouts(const FtpTimeouts& timeouts) { timeouts_ = timeouts; }
  const FtpTimeouts& Timeouts() const { return timeouts_; }

  // --- connection
  // True when a connection is open and the server has not closed it. Sends nothing.
  bool Connected();
  // Closes any open connection, then connects and logs in with the account held (see
  // FtpConnection). The first login of the program to a server also tries the extras (see
  // FtpExtrasProbe), unless `extrasLater` (then TryExtras does, when the caller has done what
  // must not wait); what they showed is kept in the server notes, and later logins to that
  // server send neither FEAT nor the probe. Throws FtpError; on failure nothing stays open.
  void Connect(bool extrasLater = false);
  // Tries the extras on the open connection unless they have been tried on this server. The
  // connection may be opened again on the way (it is then in the directory of the login).
  void TryExtras();
  // Sends QUIT (without waiting for the answer), then closes the connection. Never throws.
  void Quit();
  // Closes the control connection without a word to the server. Never throws.
  void Disconnect();
  // What the server said at the last login; empty while not connected.
  const FtpLoginReplies& LoginReplies() const;
  // What is known of the server while connected: its features (nothing when FEAT was refused or
  // mishandled), whether commands go out several at once (see Pipeline), whether it is taken to
  // keep the times MFMT sets. An empty note while not connected.
  const FtpServerNote& ServerNote() const;
  // Records (for the rest of the program's run, for this server) that the server does not keep
  // the times MFMT sets, and why.
  void NoteTimesNotKept(const std::string& why);
  // The shortest time a reply took on this client so far (the link's round trip and the
  // server's least work), in seconds; 0 before any.
  double FastestReplySeconds() const;

  // --- operations; each throws FtpError unless the server gives an accepted reply
  void ChangeDir(const std::string& path);  // CWD: 200 or 250
  // CWD `path` (absolute) unless the connection is there already.
  void EnterDir(const std::string& path);
  std::vector<FtpListEntry> List();  // LIST of the current directory
  // The entries of the directory `path` (absolute), read the way FtpListingChoice decides: as
  // the reply to "STAT path", or by CWD path (unless the connection is there already) and LIST.
  // A STAT reply that cannot be read (a first line without a code, or more than the reply, as
  // when a name in it holds CR LF and a line that reads as the reply's end) leaves the connection
  // in a state not known: it is opened again, and this server is listed by LIST from then on in
  // the program's run. The current directory afterwards is `path` when LIST was used and
  // unchanged otherwise. Deadlines, caps and failures are those of LIST.
  // With `confirmed` given: while the way to list is not yet decided, a STAT reply that reads as
  // a listing with entries is given at once, without the LIST that decides the way; *confirmed
  // is then false, and ConfirmListing must follow before any other listing. (So a caller can
  // show what it got a round trip after the login, and decide the way afterwards.)
  std::vector<FtpListEntry> ListDir(const std::string& path, bool* confirmed = nullptr);
  // Reads `path` (absolute) by CWD and LIST and decides the way to list by it and by what
  // ListDir gave as `fromStat` unconfirmed. Nothing when both hold the same entries (names and kinds,
  // in order); otherwise the entries LIST gave, which are the ones to go by.
  std::optional<std::vector<FtpListEntry>> ConfirmListing(const std::string& path,
                                                          const std::vector<FtpListEntry>& fromStat);
  // The listings of the directories `paths` (absolute), each as ListDir reads it, handed to
  // `listed` in the order of `paths`, a batch at a time: `listed(first, batch)` gives the
  // listings of paths [first, first + batch.size()). Where the server lists by STAT and takes
  // several commands at once, the STAT lines go out in groups (FtpListingGroup) of no more bytes
  // than the probe at login showed the server takes, one round trip and one batch a group;
  // otherwise one directory at a time. A group that meets a surprise ends sending commands at
  // once (as in Pipeline), and its directories are listed again one at a time. A directory the
  // server refuses to list, or whose listing cannot be read, gives its error in its place; a
  // failure of the connection ends the call (FtpError). `listed` may use the client (between
  // groups) and may throw, which ends the call.
  void ListDirs(const std::vector<std::string>& paths, const FtpDirsListed& listed);
  FtpListingWay ListingWay() const;
  // The entries of the directory `path` (absolute) with their sizes and modification times to
  // the second (FtpListEntry::modifiedUtc): by MLSD where the server offers it with those facts
  // (a data connection, whatever the current directory), else as ListDir gives them (then
  // modifiedUtc stays empty). A server that refuses MLSD as unknown is not asked again.
  std::vector<FtpListEntry> ListDirExact(const std::string& path);
  // True while ListDirExact gives times to the second.
  bool ListsExactly() const;
  // Sends `commands` and returns their replies in order, whatever their codes. Where the server
  // takes several commands at once they go out in groups (FtpCommandGroup) of no more bytes than
  // the probe at login showed the server takes, one round trip a group; otherwise one by one.
  // When a group meets a surprise, the program sends one command at a time to this server from
  // then on, connects again (back into the directory it was in) and sends the group again one by
  // one. A name that cannot be sent fails before anything is sent; connection failures of the
  // single commands are those of every command.
  std::vector<FtpReply> Pipeline(const std::vector<FtpCommand>& commands);
  void MakeDir(const std::string& name);    // MKD: 257
  void RemoveDir(const std::string& name);  // RMD: 250
  void Delete(const std::string& name);     // DELE: 250
  // RNFR: 350, then RNTO: 250; RNTO goes out only after RNFR was accepted. `fromAccepted`, when
  // given, tells whether RNFR was.
  // `atOnce`, for many renames in a row (an upload putting its songs in place): where the
  // server takes several commands at once, RNFR and RNTO go out together, one round trip
  // (FtpCommandGroup::SendRename), unless an RNFR accepted earlier on this connection may still
  // be held by the server (its RNTO was not answered 2xx). A surprise there turns commands sent
  // at once off as Pipeline does, and the rename is sent again one line at a time on the new
  // connection.
  void Rename(const std::string& from, const std::string& to, bool* fromAccepted = nullptr, bool atOnce = false);
  // SIZE: SizeOfReply (-1 for any reply but 213: the file is taken not to exist). `replyCode`,
  // when given, receives the reply's code (500 or 502: the server has no SIZE). Fails only when
  // there is no usable connection or the name cannot be sent.
  std::int64_t Size(const std::string& name, int* replyCode = nullptr);
  // MDTM: TimeOfReply (empty for any reply but 213). Fails like Size.
  std::string ModificationTime(const std::string& name);
  // MFMT: sets the modification time of `name` to `utcSeconds` (seconds since 1970, UTC).
  // Returns the reply's code (213: set) and text; fails like Size.
  int SetModificationTime(const std::string& name, long long utcSeconds, std::string& reply);
  // STOR `remoteName` with the bytes of the local file, which is opened for reading only (other
  // programs may go on reading and writing it). Reports progress through the work handlers.
  // Returns the number of bytes sent.
  std::int64_t Store(const std::string& localPath, const std::string& remoteName);
  // STOR `remoteName` with the `totalBytes` bytes `read` gives (up to its second argument into
  // its first; 0 at the end). What `read` throws ends the transfer and reaches the caller.
  using FtpReadFn = std::function<std::size_t(char* buffer, std::size_t max)>;
  std::int64_t Store(std::int64_t totalBytes, const FtpReadFn& read, const std::string& remoteName);
  // RETR `remoteName` into the local file `localPath` (created or emptied). Reports progress
  // through the work handlers as reading; `expectedBytes` is what the begin handler is told
  // (-1: not known). A failed transfer leaves what arrived in the local file.
  void Retrieve(const std::string& remoteName, const std::string& localPath, std::int64_t expectedBytes = -1);
  // RETR `remoteName`, handing the bytes to `sink` as they come; when `sink` returns false the
  // transfer is ended there (the server's answer to that is read and not held against it).
  // Reports no progress.
  void Retrieve(const std::string& remoteName, const std::function<bool(const char*, std::size_t)>& sink);
  // The handlers Store and Retrieve report progress to (an upload window sets them while it
  // runs); empty ones report to nobody.
  void SetWorkHandlers(FtpWorkBeginHandler onWorkBegin, FtpWorkHandler onWork);

 private:
  // The open connection; throws (`what`: not connected) when there is none.
  FtpConnection& Open(const char* what);
  // After a surprise in a group: one command at a time to this server from now on, and a new
  // connection in the directory the old one was in (`dir`, or the login directory).
  void EndPipelining(const std::string& dir, bool atLoginDir);
  // A transfer over a data connection, with PORT and `command` sent at once where the server
  // takes that, falling back as Pipeline does.
  void Transfer(const char* what, const std::string& command, const std::string& arg,
                const std::function<void(Poco::Net::StreamSocket&)>& move);
  std::string ReadData(const char* what, const std::string& command, const std::string& arg);

  FtpServerNotes& notes_;
  FtpAccount account_;
  FtpTimeouts timeouts_;
  std::unique_ptr<FtpConnection> connection_;
  double fastestReplySeconds_ = 0;  // of the connections before this one
  bool machineListingRefused_ = false;
  bool renameHeld_ = false;  // the server may still hold an RNFR of this connection
  FtpWorkBeginHandler onWorkBegin_;
  FtpWorkHandler onWork_;
};

}  // namespace kestrel
