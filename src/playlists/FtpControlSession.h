// One FTP control connection, over Poco's FTPClientSession. Used only by FtpClient.
//
// What it adds to Poco's session:
//  - the connect itself is bounded by a time-out (Poco's own open() connects without one);
//  - the end of the control connection is an error: Poco's reader returns code 0 at the end of
//    the stream, and inside a multi-line reply it would wait for the closing line for ever;
//  - a reply must be complete within the reply time-out and hold at most kMaxReplyBytes, however
//    the server spreads it over lines and packets (a greeting of endless "220-" lines fails);
//  - data connections get the reply time-out for each send and each receive, so a transfer
//    fails once no byte has moved for that long (and a slow one that keeps moving goes on);
//  - a check whether the server has closed the connection that sends nothing.
// Active mode only: the data connection is announced with PORT (never EPRT).
#pragma once

#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>

#include <Poco/Exception.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// A reply that would exceed its byte budget.
POCO_DECLARE_EXCEPTION(, FtpReplyTooLarge, Poco::IOException)

class FtpControlSession : public Poco::Net::FTPClientSession {
 public:
  // The most a reply may hold (a listing sent over the control connection included).
  static constexpr std::size_t kMaxReplyBytes = 64u * 1024 * 1024;

  // Connects to host:port; throws a Poco exception when that fails or takes longer than
  // `connectTimeout`. Every later wait for the server (a reply, the data connection, a stalled
  // transfer) fails after `replyTimeout`.
  FtpControlSession(const std::string& host, std::uint16_t port,
                    const Poco::Timespan& connectTimeout, const Poco::Timespan& replyTimeout);
  // Closes the connection without QUIT.
  ~FtpControlSession() override;

  // Reads the server's greeting; returns its code and text.
  int ReadGreeting(std::string& reply);
  // Sends `command` (with " " + `arg` unless `arg` is empty) and reads the reply.
  int Command(const std::string& command, const std::string& arg, std::string& reply);
  // Sends `command` and does not wait for the reply (QUIT before hanging up).
  void SendOnly(const std::string& command);
  // Reads one more reply (the end of a transfer, or the next answer to commands sent at once);
  // `within`, when given, bounds the wait instead of the reply time-out.
  int ReadReply(std::string& reply);
  int ReadReply(std::string& reply, const Poco::Timespan& within);
  // Sends the command lines `lines` (each without its line end) in one write, without waiting
  // for any reply.
  void SendLines(const std::vector<std::string>& lines);
  // Sends `command` with `arg` and reads the reply byte for byte, without joining or cutting
  // its lines. Returns the code; `reply` gets the first line without its line end, `body` the
  // lines between the first and the last line of a multi-line reply (empty for a one-line reply), each with its line end (CR LF, or LF from a server that ends lines with LF
  // alone), and one leading blank taken off each line; lines end only at a full line end, so a
  // lone CR or LF inside a name stays in it. The reply must be complete within the reply
  // time-out (or `within`) and hold at most kMaxReplyBytes; bytes after it (which no server
  // sends unasked), in the same read or waiting when the reply is complete, are a protocol
  // error (Poco::ProtocolException).
  int CommandWithBody(const std::string& command, const std::string& arg, std::string& reply,
                      std::string& body);
  int CommandWithBody(const std::string& command, const std::string& arg, std::string& reply,
                      std::string& body, const Poco::Timespan& within);
  // Reads the next reply to commands sent at once (SendLines), as CommandWithBody reads its
  // reply, complete within `within`; what follows it is kept for the next call. Commands sent
  // at once whose replies are read so must all be read so.
  int ReadReplyWithBody(std::string& reply, std::string& body, const Poco::Timespan& within);
  // True when bytes beyond the replies read are here or waiting (after the last reply of commands
  // sent at once, nothing may follow). Does not wait.
  bool MoreThanReplies();
  // Announces a data connection with PORT, sends `command`, checks for a 1xx reply and waits
  // for the server to connect. Throws Poco::Net::FTPException with the server's reply otherwise.
  Poco::Net::StreamSocket OpenDataConnection(const std::string& command, const std::string& arg);
  // As OpenDataConnection, with PORT and the command sent in one write (one round trip less).
  // False when their replies do not come as they should (a reply missing `quick` after the
  // first, or one that cannot answer its line): `data` is then not set, and what the server
  // does next is not known. A refusal of either line throws as OpenDataConnection does.
  bool OpenDataConnectionAtOnce(const std::string& command, const std::string& arg, const Poco::Timespan& quick,
                                Poco::Net::StreamSocket& data);

  // True when the server has closed the connection or sent something unasked (such as a
  // 421 time-out notice before it hangs up). Sends nothing and does not wait.
  bool ClosedByServer();

 private:
  // While it lives, reads on the control connection share one deadline (the reply time-out from
  // now) and one byte budget.
  class ReplyWindow {
   public:
    explicit ReplyWindow(FtpControlSession& session, std::size_t maxBytes = kMaxReplyBytes);
    ReplyWindow(FtpControlSession& session, const Poco::Timespan& within);
    ~ReplyWindow();
    ReplyWindow(const ReplyWindow&) = delete;
    ReplyWindow& operator=(const ReplyWindow&) = delete;

   private:
    Poco::Net::SocketImpl* impl_;
  };

  class ReplySplitter;

  int ReadWithBody(const std::string& command, const std::string& arg, std::string& reply,
                   std::string& body);
  int NextWithBody(std::string& reply, std::string& body);

  Poco::Timespan replyTimeout_;
  Poco::Net::SocketImpl* impl_ = nullptr;  // the control socket's, kept alive by it
  std::string ahead_;  // bytes read beyond the last reply read by ReadReplyWithBody
};

}  // namespace kestrel
