// Commands sent at once: a group of command lines in one write, and their replies read in
// order, one round trip for the whole group. Only for commands that open no data connection and
// may be sent twice (SIZE, MDTM, MFMT): a group that meets a surprise is sent again one by one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "playlists/FtpConnection.h"
#include "playlists/FtpReply.h"

namespace kestrel {

class FtpCommandGroup {
 public:
  static constexpr std::size_t kMaxCommands = 64;

  // The commands [from, End) of `commands` that go out as one group: up to kMaxCommands
  // commands whose lines hold no more than `maxBytes` bytes, and always at least one.
  static std::size_t End(const std::vector<FtpCommand>& commands, std::size_t from, std::size_t maxBytes);

  // Whether a reply with `code` can be the answer to `command` from a server that has answered
  // the commands `answered` (upper case) with 2xx: a 2xx (213 for SIZE, MDTM and MFMT) or a
  // refusal, but not "unknown command" for a command the server has carried out.
  static bool Fits(const std::string& command, int code, const std::vector<std::string>& answered);

  // Sends commands [from, to) of `commands` at once on `connection` and appends their replies to
  // `replies`. False at a surprise (nothing appended then): a reply that does not fit its
  // command, a reply missing kQuickReplyMs after the one before it (or the first one after the
  // reply time-out), a reply that cannot be read, the connection lost. A reply too large fails.
  static bool Send(FtpConnection& connection, const std::vector<FtpCommand>& commands, std::size_t from,
                   std::size_t to, std::vector<FtpReply>& replies);
};

}  // namespace kestrel
