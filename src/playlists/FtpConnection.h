// One logged-in control connection to an FTP server, and what is known of that server while it
// lasts. FtpClient holds one at a time and sends every command through it.
//
// Time-outs: connecting gives up after FtpTimeouts::connectMs. After that a reply must be
// complete within replyMs of the command (however the server spreads it), the server must open a
// data connection within replyMs, and a transfer fails once no byte has moved for replyMs. A
// reply and a listing hold at most 64 MB.
//
// A failure of the connection itself (refused, lost, no complete answer in time, a reply too
// large or one that cannot be read) closes it: Closed() is true from then on and every later
// exchange fails as not connected. A failure of that kind caused by time or size is final
// (FtpError::retryable() is false): a server that did not answer in time is not asked again at
// once. A reply with a code the exchange does not accept keeps the connection open.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "playlists/FtpError.h"
#include "playlists/FtpListingChoice.h"
#include "playlists/FtpReply.h"
#include "playlists/FtpServerNotes.h"

namespace Poco {
class Timespan;
namespace Net {
class StreamSocket;
}
}  // namespace Poco

namespace kestrel {

class FtpControlSession;

// The server and the account on it.
struct FtpAccount {
  std::string host;
  std::uint16_t port = 21;
  std::string userName;
  std::string password;
};

struct FtpTimeouts {
  int connectMs = 5000;
  int replyMs = 10000;
};

// What the server said at login.
struct FtpLoginReplies {
  std::string greeting;
  std::string loginReply;  // the answer to PASS (or to USER, when no password was asked for)
  std::string systemType;  // the answer to SYST without its code; empty when SYST was refused
  FtpReply syst;           // the answer to SYST as it came
};

class FtpConnection {
 public:
  // How long a reply may lag behind the one before it among commands sent at once, and how long
  // the extras tried at the first login may take (or the reply time-out, if shorter).
  static constexpr int kQuickReplyMs = 2000;

  // Connects to the server of `account` and logs in: greeting (2xx), USER, PASS, TYPE I (200),
  // SYST (any answer), each command on its own. Throws FtpError; nothing stays open then. What
  // the program knows of the server is read from `notes`, and what this connection finds out is
  // kept there; `notes` outlives the connection.
  FtpConnection(const FtpAccount& account, const FtpTimeouts& timeouts, FtpServerNotes& notes);
  ~FtpConnection();
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  const FtpLoginReplies& Login() const { return login_; }
  const FtpTimeouts& Timeouts() const { return timeouts_; }
  // kQuickReplyMs, or the reply time-out when that is shorter.
  Poco::Timespan QuickReplyTime() const;

  // True once the connection failed or was quit.
  bool Closed() const { return !session_; }
  // False when closed, or when the server has closed the connection or sent something unasked
  // (as a 421 notice before it hangs up); the connection is then closed. Sends nothing.
  bool Alive();
  // Sends QUIT without waiting for the answer and closes the connection. Never throws.
  void Quit();

  // This connection's copy of what is known of the server.
  const FtpServerNote& Note() const { return note_; }
  // Changes what is known of the server, for this connection and for the program.
  void ChangeNote(const std::function<void(FtpServerNote&)>& change);
  FtpListingChoice& Listing() { return listing_; }
  // The most bytes a group of commands may hold now (0: one at a time): what the probe showed,
  // unless a surprise on any connection to the server has ended that since.
  std::size_t PipelineBytes() const;
  // Keeps the way to list that this connection decided for the server in the server's note.
  void NoteListingWay();

  // The directory the connection is in after a CWD to an absolute path; empty when not known.
  const std::string& Dir() const { return dir_; }
  // True while no CWD was sent since the login.
  bool AtLoginDir() const { return atLoginDir_; }
  void ForgetDir() { dir_.clear(); }
  // A CWD to `path` was accepted.
  void EnteredDir(const std::string& path);

  // --- exchanges; `what` names the operation in failures
  // Sends `command` (with " " + `arg` unless empty) and returns the reply's code, whatever it is.
  int Send(const char* what, const std::string& command, const std::string& arg, std::string& reply);
  // As Send; a code not in `accepted` fails with the reply (FtpError::Kind::Reply).
  void Expect(const char* what, const std::string& command, const std::string& arg,
              std::initializer_list<int> accepted);
  // "STAT path": the code, the first line of the reply and the lines of a multi-line reply; -1
  // when the reply cannot be read (a first line without a code, or more than the reply). SYST
  // follows (at once where the server takes that) and must be answered as at login, so that the
  // rest of a reply whose end was faked by a name inside it is never left for the next command;
  // before the extras have been tried on the server, their probe must follow instead.
  int Stat(const std::string& path, std::string& reply, std::string& body);
  // Opens a data connection for `command`, lets `move` send or receive the bytes, closes it and
  // checks the server's final reply. When `move` throws anything but a network failure (a
  // progress handler ending the transfer), the data connection is reset, the server's reply read,
  // and the exception goes on to the caller.
  void Transfer(const char* what, const std::string& command, const std::string& arg,
                const std::function<void(Poco::Net::StreamSocket&)>& move);
  // The data of `command` `arg` (LIST, MLSD), within the listing cap.
  std::string ReadData(const char* what, const std::string& command, const std::string& arg);
  // As Transfer and ReadData, with PORT and the command sent in one write (one round trip less,
  // for a server that takes several commands at once). False when their replies do not come as
  // they should: nothing was moved, and the connection is closed, as what the server does next
  // is not known.
  bool TransferAtOnce(const char* what, const std::string& command, const std::string& arg,
                      const std::function<void(Poco::Net::StreamSocket&)>& move);
  bool ReadDataAtOnce(const char* what, const std::string& command, const std::string& arg, std::string& data);

  // The control connection itself, for exchanges of their own (the extras tried at login,
  // commands sent at once); they catch Poco's failures themselves. Throws when closed.
  FtpControlSession& Session(const char* what);
  // Closes the connection and throws the connection failure of `what` (final: a time-out or a
  // reply too large).
  [[noreturn]] void Fail(bool final, const char* what, const std::string& detail);
  // Keeps in the server's note that it carried out `command`, when `code` is 2xx.
  void NoteAnswered(const std::string& command, int code);
  // Counts a reply that took `seconds` towards FastestReplySeconds.
  void NoteReplyTime(double seconds);
  // The shortest time a reply took on this connection, in seconds; 0 before any.
  double FastestReplySeconds() const { return fastestReplySeconds_; }

  // What a failure says when the server never opened the data connection (active mode: the
  // player connects to this computer) within `replyMs`.
  static std::string NoDataConnectionText(int replyMs);
  // What a failure says when the server's `what` ("reply", "listing") is too large.
  static std::string TooLargeText(const char* what);

 private:
  void Open(const FtpAccount& account);
  // The login after the greeting: USER, PASS, TYPE I and SYST, one at a time or, where the server
  // is known to take commands at once, as far as that allows.
  void LogIn(const FtpAccount& account);
  void LogInAtOnce(const FtpAccount& account);
  // The replies to TYPE I (`typeCode`, `typeReply`) and SYST (in login_) of a login whose
  // commands went together: a mode refused fails the login.
  void ModeAndSystemAnswered(int typeCode, const std::string& typeReply);
  int Guarded(const char* what, const std::function<int(FtpControlSession&)>& exchange);
  // Transfer, with PORT and the command at once when `atOnce`; false as TransferAtOnce.
  bool Exchange(const char* what, const std::string& command, const std::string& arg,
                const std::function<void(Poco::Net::StreamSocket&)>& move, bool atOnce);
  // Receives the data of a transfer into `data`, within the listing cap.
  static void Receive(const char* what, Poco::Net::StreamSocket& socket, std::string& data);
  std::string NoAnswerText() const;
  // Reads the next reply, which must be SYST's as at login and the last one there is.
  bool SystAsAtLogin(FtpControlSession& session);

  FtpTimeouts timeouts_;
  FtpServerNotes& notes_;
  std::string server_;  // "host:port"
  std::unique_ptr<FtpControlSession> session_;
  FtpLoginReplies login_;
  FtpServerNote note_;
  FtpListingChoice listing_;
  std::string dir_;
  bool atLoginDir_ = true;
  double fastestReplySeconds_ = 0;
};

}  // namespace kestrel
