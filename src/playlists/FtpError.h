// The failure of an FTP operation. It carries the server's reply (code and text) when there was
// one, so that the caller can decide what the user sees.
#pragma once

#include <stdexcept>
#include <string>

#include "core/TextEscape.h"

namespace kestrel {

class FtpError : public std::runtime_error {
 public:
  enum class Kind {
    Reply,       // the server answered with a code the operation does not accept, or with
                 // something that cannot be used (a listing in an unknown format or too large)
    Connection,  // not connected, refused, lost, or timed out; the connection is closed
    BadName,     // a name holding CR or LF, which would end the command early; nothing was sent
    LocalFile,   // the local file could not be opened or read
    Settings,    // the connection settings cannot be used (no address, port not a number)
  };

  // `message` says what failed; `reply` is the server's reply text (its lines joined by LF,
  // starting with the code), empty when the server gave none. what() shows the reply with its
  // control characters escaped, so it can go to a terminal or a message box as it is.
  FtpError(Kind kind, const std::string& message, int code = 0, const std::string& reply = {})
      : std::runtime_error(reply.empty() ? message : message + ": " + EscapeControls(reply)),
        kind_(kind),
        code_(code),
        reply_(reply) {}

  // A failure that trying again at once cannot mend: the server did not answer in time, or its
  // answer cannot be used. Retries give up on it.
  static FtpError Final(Kind kind, const std::string& message) {
    FtpError e(kind, message);
    e.retryable_ = false;
    return e;
  }

  Kind kind() const { return kind_; }
  int code() const { return code_; }                  // 0 when there was no reply
  const std::string& reply() const { return reply_; }  // as the server sent it
  bool retryable() const { return retryable_; }

 private:
  Kind kind_;
  int code_;
  std::string reply_;
  bool retryable_ = true;
};

}  // namespace kestrel
