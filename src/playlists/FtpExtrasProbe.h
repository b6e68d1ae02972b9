// The extras tried at the first login of the program to a server. They are never needed to log
// in and fail back to nothing:
//  - FEAT. A refusal means no features; no complete reply within FtpConnection::kQuickReplyMs,
//    a hang-up, a reply that cannot be read or more lines than the reply mean no features, and a
//    new connection, as what the server will say next is not known;
//  - commands sent at once: kNoops NOOP lines and SYST in one write (kBytes), answered within
//    kQuickReplyMs by as many 2xx replies and then the very reply SYST gave at login. Anything
//    else (a missing, split or extra reply) means one command at a time, and a new connection.
//    When this failed after FEAT was answered, FEAT is asked once more on the new connection with
//    SYST after it, so that a line FEAT left behind cannot go unnoticed.
#pragma once

#include <cstddef>
#include <functional>

#include "playlists/FtpConnection.h"

namespace kestrel {

class FtpExtrasProbe {
 public:
  static constexpr std::size_t kNoops = 199;
  static constexpr std::size_t kBytes = (kNoops + 1) * 6;

  // Closes the connection and logs in again; gives the new connection.
  using Relogin = std::function<FtpConnection&()>;

  explicit FtpExtrasProbe(Relogin relogin) : relogin_(std::move(relogin)) {}

  // Tries the extras on `connection`, which may be replaced on the way (the connection to go on
  // with is then the one `relogin` gave last). Gives the features found and the bytes a group of
  // commands sent at once may hold (0: one at a time).
  FtpServerNote Run(FtpConnection& connection);

 private:
  // FEAT into `features`; false when what the server says next is not known.
  bool ReadFeatures(FtpConnection& connection, FtpFeatures& features);
  // True when the server answered the commands sent at once as it should.
  bool ProbePipelining(FtpConnection& connection);
  // True when SYST is answered again as at login.
  bool SystAgain(FtpConnection& connection);

  Relogin relogin_;
};

}  // namespace kestrel
