// The FTP client: the one connection to the player's FTP server that every play list and song
// operation shares, the settings it connects with, and the state kept beside it (the play list
// root and the listing retry counter).
//
// Created once at start-up, owned by the main window (or the command line), used from one
// thread only. Data connections are active (the client listens and announces its port with
// PORT); transfers are binary (TYPE I is sent once at login, then SYST).
//
// Time-outs: connecting gives up after 5 s. After that a reply must be complete within 10 s of
// the command (however the server spreads it), the server must open a data connection within
// 10 s (else NoDataConnectionText), and a transfer fails once no byte has moved for 10 s. A reply and a listing hold at most
// 64 MB. A failure of that kind closes the connection, so the next EnsureConnected or LoadSongs
// connects afresh, and it is final (FtpError::retryable() is false): a server that did not
// answer in time is not asked again at once. A reply with a code the operation does not accept
// keeps the connection open. A listing that holds lines but none that can be read is an error
// quoting its first line, never an empty directory.
//
// Names given to the operations are sent exactly as given, relative to the current directory
// unless they start with "/". A name holding CR or LF is refused (FtpError::Kind::BadName)
// before anything is sent, because the server would read the rest as a second command.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/AppContext.h"
#include "playlists/FtpError.h"
#include "playlists/FtpListParser.h"
#include "playlists/FtpServerNotes.h"

namespace Poco {
class Timespan;
namespace Net {
class StreamSocket;
}
}  // namespace Poco

namespace kestrel {

class FtpControlSession;

enum class FtpWorkMode { Read, Write };

// How ListDir reads a directory on the current connection.
enum class FtpListingWay {
  Undecided,       // not yet known: the next ListDir finds out
  Stat,            // "STAT path": the listing comes as the reply, one round trip
  DataConnection,  // CWD path, then LIST over a data connection
};

// One command of FtpClient::Pipeline and its reply.
struct FtpCommand {
  std::string command;
  std::string arg;  // the rest of the line; empty for none
};
struct FtpReply {
  int code = 0;
  std::string text;  // the whole reply, lines joined by LF
};

struct FtpTimeouts {
  int connectMs = 5000;
  int replyMs = 10000;
};

class FtpClient {
 public:
  // The connection failure message shown by EnsureConnected.
  static constexpr const char* kConnectFailText =
      "Connect Fail!\r\n\r\n1.Be sure ftp-server is in service.\r\n\r\n2.Please check your settings!";

  // Reads its settings from the context's Settings folder; tells connection failures through
  // the context's prompts and asks it to end the program then. The context outlives the client.
  explicit FtpClient(AppContext& context);
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // --- settings held by the client (used by Connect)
  void SetHost(const std::string& host) { host_ = host; }
  void SetPort(std::uint16_t port) { port_ = port; }  // 21 until set
  void SetUserName(const std::string& userName) { userName_ = userName; }
  void SetPassword(const std::string& password) { password_ = password; }
  const std::string& Host() const { return host_; }
  std::uint16_t Port() const { return port_; }
  const std::string& UserName() const { return userName_; }
  const std::string& Password() const { return password_; }
  void SetTimeouts(const FtpTimeouts& timeouts) { timeouts_ = timeouts; }
  const FtpTimeouts& Timeouts() const { return timeouts_; }

  // --- connection
  // True when a connection is open and the server has not closed it. Sends nothing.
  bool Connected();
  // Connects with automatic login using the settings held: greeting (2xx), USER, PASS, TYPE I
  // (200), SYST (any answer), each command on its own. Closes any open connection first. Throws
  // FtpError; on failure nothing stays open.
  // The first login of this program (of the context's run) to a server also tries the extras,
  // which are never needed to log in and fail back to nothing:
  //  - FEAT. A refusal means no features; no complete reply within kPipelineProbeMs, a hang-up,
  //    a reply that cannot be read or more lines than the reply mean no features, and a new
  //    connection, as what the server will say next is not known;
  //  - commands sent at once: kPipelineProbeNoops NOOP lines and SYST in one write
  //    (kPipelineProbeBytes), answered within kPipelineProbeMs by as many 2xx replies and then
  //    the very reply SYST gave at login. Anything else (a missing, split or extra reply) means
  //    one command at a time, and a new connection. When the probe failed after FEAT was
  //    answered, FEAT is asked once more on the new connection with SYST after it, so that a
  //    line FEAT left behind cannot go unnoticed.
  // What was found is kept in the context's FtpServerNotes under "host:port": later logins of
  // the program to that server send neither FEAT nor the probe.
  void Connect();
  static constexpr int kPipelineProbeMs = 2000;
  static constexpr std::size_t kPipelineProbeNoops = 199;
  static constexpr std::size_t kPipelineProbeBytes = (kPipelineProbeNoops + 1) * 6;
  // Opens the connection if needed. When connected already, returns true at once without
  // reading the settings file or sending anything. Otherwise reads IP, Port, UserName and
  // Password from ftpServer.ini of the context's Settings folder, sets them and connects. When
  // that fails it shows kConnectFailText and the reason (PromptKind::ErrorYes), asks the
  // application to terminate (AppContext::RequestTermination) and returns false;
  // LastConnectError() then tells why.
  bool EnsureConnected();
  // Sends QUIT (without waiting for the answer), then closes the connection. Never throws.
  void Quit();
  // Closes the control connection without a word to the server. Never throws.
  void Disconnect();

  // The greeting and the answer to PASS of the last successful login, and the SYST answer.
  const std::string& Greeting() const { return greeting_; }
  const std::string& LoginReply() const { return loginReply_; }
  const std::string& SystemType() const { return systemType_; }
  // What the server offered at the last login (nothing when FEAT was refused or mishandled).
  const FtpFeatures& Features() const { return features_; }
  // Whether commands go out several at once (see Connect and Pipeline).
  bool Pipelining() const { return pipelineBytes_ > 0; }
  // Whether the server is taken to keep the modification times MFMT sets: it offers MFMT, and
  // nothing in this program's run has shown otherwise (NoteTimesNotKept).
  bool SetsTimes() const { return features_.mfmt && timesNotKept_.empty(); }
  // Why the server does not keep the times MFMT sets; empty when not known.
  const std::string& TimesNotKept() const { return timesNotKept_; }
  // Records (for the rest of the program's run, for this server) that the server does not keep
  // the times MFMT sets, and why.
  void NoteTimesNotKept(const std::string& why);
  // The program's context, which the client reads its settings from and keeps its notes in.
  AppContext& Context() const { return context_; }
  // The shortest time a reply took on this client so far (the link's round trip and the
  // server's least work), in seconds; 0 before any.
  double FastestReplySeconds() const { return fastestReplySeconds_; }
  // Why the last Connect or EnsureConnected failed: the server's reply, or what the network
  // said. Empty after a success.
  const std::string& LastConnectError() const { return lastConnectError_; }

  // --- operations; each throws FtpError unless the server gives an accepted reply
  void ChangeDir(const std::string& path);                         // CWD: 200 or 250
  // CWD `path` (absolute) unless the connection is there already.
  void EnterDir(const std::string& path);
  std::vector<FtpListEntry> List();                                // LIST of the current directory
  std::string ListRaw();                                           // the same, unparsed
  // The entries of the directory `path` (absolute, built as the callers build every path).
  // Where the server allows it, the listing is read over the control connection as the reply to
  // "STAT path"; otherwise by CWD path (unless the connection is there already) and LIST. Which
  // way is decided once per connection, by the first ListDir of a directory that LIST shows
  // entries in: that one is read both ways, and STAT is kept only when it gave the same entries
  // (names and kinds) in the same order; a refusal of STAT, a status text, an empty or shorter
  // reply all mean LIST. A name with a wildcard character (* ? [ ] { } ~), which some servers
  // expand in STAT, always goes by LIST. A STAT reply that cannot be read (a first line without
  // a code, or more than the reply, as when a name in it holds CR LF and a line that reads as the
  // reply's end) leaves the connection in a state not known: it is opened again, and this server
  // is listed by LIST from then on in the program's run. The current directory afterwards is
  // `path` when LIST was used and unchanged otherwise. Deadlines, caps and failures are those of
  // LIST.
  std::vector<FtpListEntry> ListDir(const std::string& path);
  FtpListingWay ListingWay() const { return listingWay_; }
  // The entries of the directory `path` (absolute) with their sizes and modification times to
  // the second (FtpListEntry::modifiedUtc): by MLSD where the server offers it with those facts
  // (a data connection, whatever the current directory), else as ListDir gives them (then
  // modifiedUtc stays empty). A server that refuses MLSD as unknown is not asked again.
  std::vector<FtpListEntry> ListDirExact(const std::string& path);
  // True while ListDirExact gives times to the second.
  bool ListsExactly() const { return features_.machineListing && !machineListingRefused_; }
  // Sends `commands` and returns their replies in order, whatever their codes. Where the server
  // takes several commands at once they go out in groups of up to kPipelineGroup commands and
  // no more bytes than the probe at login showed the server takes, one round trip a group;
  // otherwise one by one. Only for commands that open no data connection and may be sent twice
  // (SIZE, MDTM, MFMT): when a group meets a surprise (a reply that does not fit its command,
  // such as "unknown command" for a command the server has taken before; a reply missing
  // kPipelineProbeMs after the one before it, or the first one after the reply time-out; a
  // reply that cannot be read; the connection lost), the program sends one command at a time to
  // this server from then on, connects again (back into the directory it was in) and sends the
  // group again one by one. A name that cannot be sent fails before anything is sent;
  // connection failures of the single commands are those of every command.
  std::vector<FtpReply> Pipeline(const std::vector<FtpCommand>& commands);
  static constexpr std::size_t kPipelineGroup = 64;
  void MakeDir(const std::string& name);                           // MKD: 257
  void RemoveDir(const std::string& name);                         // RMD: 250
  void Delete(const std::string& name);                            // DELE: 250
  // RNFR: 350, then RNTO: 250; RNTO goes out only after RNFR was accepted. `fromAccepted`, when
  // given, tells whether RNFR was.
  void Rename(const std::string& from, const std::string& to, bool* fromAccepted = nullptr);
  // SIZE: the size for a 213 reply, -1 for any other reply (the file is taken not to exist).
  // `replyCode`, when given, receives the reply's code (500 or 502: the server has no SIZE).
  // Fails only when there is no usable connection or the name cannot be sent.
  std::int64_t Size(const std::string& name, int* replyCode = nullptr);
  // MDTM: the modification time as the server gives it (YYYYMMDDHHMMSS[.fff], UTC); empty for
  // any reply but 213. Fails like Size.
  std::string ModificationTime(const std::string& name);
  // MFMT: sets the modification time of `name` to `utcSeconds` (seconds since 1970, UTC).
  // Returns the reply's code (213: set) and text; fails like Size.
  int SetModificationTime(const std::string& name, long long utcSeconds, std::string& reply);
  // STOR `remoteName` with the bytes of the local file, which is opened for reading only (other
  // programs may go on reading and writing it). Reports progress through the work handlers.
  // Returns the number of bytes sent.
  std::int64_t Store(const std::string& localPath, const std::string& remoteName);
  // RETR `remoteName` into the local file `localPath` (created or emptied). Reports progress
  // through the work handlers as reading; `expectedBytes` is what the begin handler is told
  // (-1: not known). A failed transfer leaves what arrived in the local file.
  void Retrieve(const std::string& remoteName, const std::string& localPath,
                std::int64_t expectedBytes = -1);
  // RETR `remoteName`, handing the bytes to `sink` as they come; when `sink` returns false the
  // transfer is ended there (the server's answer to that is read and not held against it).
  // Reports no progress.
  void Retrieve(const std::string& remoteName, const std::function<bool(const char*, std::size_t)>& sink);

  // --- progress of a transfer (the upload window connects these while it runs)
  // A handler may throw to end the transfer early (a cancel): the data connection is closed, the
  // server's reply read, and the exception reaches the caller of Store or Retrieve.
  using WorkBeginHandler = std::function<void(FtpWorkMode mode, std::int64_t totalBytes)>;
  using WorkHandler = std::function<void(FtpWorkMode mode, std::int64_t bytesSoFar)>;
  void SetWorkHandlers(WorkBeginHandler onWorkBegin, WorkHandler onWork);
  void ClearWorkHandlers() { SetWorkHandlers(nullptr, nullptr); }

  // --- state kept beside the client
  // The directory under which every directory is a play list.
  const std::string& RootDir() const { return root_; }
  // Failed play list listings so far in this run (never reset).
  int ListingRetryCounter() const { return listingRetryCounter_; }
  int IncrementListingRetryCounter() { return ++listingRetryCounter_; }

  // False when `name` holds CR or LF and so cannot be put on a command line.
  static bool IsSendableName(std::string_view name);

  // What a failure says when the server never opened the data connection (active mode: the
  // player connects to this computer) within `replyMs`.
  static std::string NoDataConnectionText(int replyMs);

 private:
  FtpControlSession& Session(const char* what);
  void CheckName(const std::string& name, const char* what) const;
  int Send(const char* what, const std::string& command, const std::string& arg,
           std::string& reply);
  // Runs `exchange` on the session, turning what Poco throws into FtpError as Send does.
  int Guarded(const char* what, const std::function<int(FtpControlSession&)>& exchange);
  void NoteReplyTime(double seconds);
  // The TCP connection, the greeting, USER, PASS, TYPE I and SYST.
  void Login();
  // The extras of the first login to a server (see Connect); may connect again.
  void ProbeExtras(FtpServerNote& note);
  // FEAT into `features`; false when what the server says next is not known (see Connect).
  bool ReadFeatures(FtpFeatures& features);
  // True when the server answered the probe of commands sent at once as it should.
  bool ProbePipelining();
  // True when SYST is answered again as at login.
  bool SystAgain();
  Poco::Timespan ProbeTime() const;
  // Commands [from, to) of `commands` sent at once; false at a surprise (see Pipeline).
  bool SendGroup(const std::vector<FtpCommand>& commands, std::size_t from, std::size_t to,
                 std::vector<FtpReply>& replies);
  // The end of the commands a group starting at `from` may hold.
  std::size_t GroupEnd(const std::vector<FtpCommand>& commands, std::size_t from) const;
  // Whether a reply with `code` can be the answer to `command`.
  bool Fits(const std::string& command, int code) const;
  void NoteAnswered(const std::string& command, int code);
  // After a surprise in a group: one command at a time to this server from now on, and a new
  // connection in the directory of the old one.
  void EndPipelining();
  // The listing of `path` when its STAT reply could not be read: a new connection, and LIST
  // for this server from now on.
  std::vector<FtpListEntry> ListAfterUnreadableStat(const std::string& path);
  // Reads the data of `command` `arg` (LIST, MLSD) into a string, within the listing cap.
  std::string ReadData(const char* what, const std::string& command, const std::string& arg);
  void Expect(const char* what, const std::string& command, const std::string& arg,
              std::initializer_list<int> accepted);
  // Opens a data connection for `command`, lets `move` send or receive the bytes, closes it and
  // checks the server's final reply.
  void Transfer(const char* what, const std::string& command, const std::string& arg,
                const std::function<void(Poco::Net::StreamSocket&)>& move);
  [[noreturn]] void FailConnection(const char* what, const std::string& detail);
  [[noreturn]] void FailFinally(const char* what, const std::string& detail);
  std::string NoAnswerText() const;
  static std::string TooLargeText(const char* what);
  static std::vector<FtpListEntry> ParseListing(const char* what, std::string_view raw);
  // "STAT path": the code, the first line of the reply, and the lines of a multi-line reply.
  int Stat(const std::string& path, std::string& reply, std::string& body);
  std::vector<FtpListEntry> ListByCwd(const std::string& path);

  AppContext& context_;
  std::string host_;
  std::uint16_t port_ = 21;
  std::string userName_;
  std::string password_;
  FtpTimeouts timeouts_;

  std::unique_ptr<FtpControlSession> session_;
  FtpListingWay listingWay_ = FtpListingWay::Undecided;
  std::string currentDir_;  // after a CWD to an absolute path; empty when unknown
  bool atLoginDir_ = false;  // no CWD since the login
  std::string greeting_;
  std::string loginReply_;
  std::string systemType_;
  int systCode_ = 0;  // SYST's reply at login, code and text
  std::string systReply_;
  std::string lastConnectError_;
  std::string serverKey_;  // "host:port" of the last login
  FtpFeatures features_;
  std::size_t pipelineBytes_ = 0;
  std::string timesNotKept_;
  std::vector<std::string> answered_;  // commands the server has answered with 2xx
  bool machineListingRefused_ = false;
  double fastestReplySeconds_ = 0;

  WorkBeginHandler onWorkBegin_;
  WorkHandler onWork_;

  const std::string root_ = "/";
  int listingRetryCounter_ = 0;
};

}  // namespace kestrel
