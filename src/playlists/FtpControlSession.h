// One FTP control connection, over Poco's FTPClientSession. Used only by FtpClient.
//
// What it adds to Poco's session:
//  - the connect itself is bounded by a time-out (Poco's own open() connects without one);
//  - the end of the control connection is an error: Poco's reader returns code 0 at the end of
//    the stream, and inside a multi-line reply it would wait for the closing line for ever;
//  - data connections get the reply time-out for sending too, not only for receiving;
//  - a check whether the server has closed the connection that sends nothing.
// Active mode only: the data connection is announced with PORT (never EPRT).
#pragma once

#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>

#include <cstdint>
#include <string>

namespace kestrel {

class FtpControlSession : public Poco::Net::FTPClientSession {
 public:
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
  // Reads one more reply (the end of a transfer).
  int ReadReply(std::string& reply);
  // Announces a data connection with PORT, sends `command`, checks for a 1xx reply and waits
  // for the server to connect. Throws Poco::Net::FTPException with the server's reply otherwise.
  Poco::Net::StreamSocket OpenDataConnection(const std::string& command, const std::string& arg);

  // True when the server has closed the connection or sent something unasked (such as a
  // 421 time-out notice before it hangs up). Sends nothing and does not wait.
  bool ClosedByServer();

 private:
  Poco::Timespan replyTimeout_;
};

}  // namespace kestrel
