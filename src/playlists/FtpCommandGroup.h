// Commands sent at once: a group of command lines in one write, and their replies read in
// order, one round trip for the whole group. Only for commands that open no data connection and
// may be sent twice (SIZE, MDTM, MFMT): a group that meets a surprise is sent again one by one.
// A rename goes as a group of its own, RNFR and RNTO, never two renames in one group: a line the
// server loses can then only make the pair's replies miss, never pair an RNFR with another RNTO.
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

  // Sends "RNFR from" and "RNTO to" at once on `connection`, which holds no RNFR the server may
  // still keep (none was accepted without an RNTO answered 2xx after it), and reads their
  // replies. False at a surprise: a reply missing kQuickReplyMs after the first, a reply that
  // does not fit (RNFR: 350 or a refusal; RNTO: 2xx or a refusal, and a refusal when RNFR was
  // refused), the connection lost. A reply too large fails.
  static bool SendRename(FtpConnection& connection, const std::string& from, const std::string& to, FtpReply& rnfr,
                         FtpReply& rnto);
};

}  // namespace kestrel
