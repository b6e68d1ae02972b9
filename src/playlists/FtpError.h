// The failure of an FTP operation. It carries the server's reply (code and text) when there was
// one, so that the caller can decide what the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrel {

class FtpError : public std::runtime_error {
 public:
  enum class Kind {
    Reply,       // the server answered with a code the operation does not accept
    Connection,  // not connected, refused, lost, or timed out; the connection is closed
    BadName,     // a name holding CR or LF, which would end the command early; nothing was sent
    LocalFile,   // the local file could not be opened or read
    Settings,    // the connection settings cannot be used (no address, port not a number)
  };

  // `message` says what failed; `reply` is the server's reply text (its lines joined by LF,
  // starting with the code), empty when the server gave none.
  FtpError(Kind kind, const std::string& message, int code = 0, const std::string& reply = {})
      : std::runtime_error(reply.empty() ? message : message + ": " + reply),
        kind_(kind),
        code_(code),
        reply_(reply) {}

  Kind kind() const { return kind_; }
  int code() const { return code_; }                  // 0 when there was no reply
  const std::string& reply() const { return reply_; }

 private:
  Kind kind_;
  int code_;
  std::string reply_;
};

}  // namespace kestrel
