// Listings asked for at once: where the server gives a directory's listing as the reply to
// "STAT path" and takes several commands at once, the STAT lines of several directories go out
// in one write with SYST after them, and the replies are read in order: one round trip for the
// group. SYST must then be answered exactly as at login, and nothing may follow: a reply more or
// less (a command line the server lost, a name inside a listing that reads as the end of its
// reply) moves that answer out of its place, so that a listing is never taken for another
// directory's. Anything else that does not fit is a surprise too; the group then gives nothing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "playlists/FtpConnection.h"
#include "playlists/FtpError.h"
#include "playlists/FtpListParser.h"

namespace kestrel {

// What the listing of one directory gave: its entries, or why it could not be had (the server's
// refusal, a listing in a format not understood).
struct FtpDirListing {
  std::vector<FtpListEntry> entries;
  std::optional<FtpError> error;
};

class FtpListingGroup {
 public:
  static constexpr std::size_t kMaxCommands = 64;  // SYST included

  // The paths [from, End) of `paths` that go out as one group: up to kMaxCommands - 1 paths
  // whose lines hold, with SYST, no more than `maxBytes` bytes. A path that cannot be asked for
  // by STAT (see FtpListingChoice::TriesStat, IsSendableName) ends the group before it. `from`
  // when not even one path fits.
  static std::size_t End(const FtpListingChoice& choice, const std::vector<std::string>& paths, std::size_t from,
                         std::size_t maxBytes);

  // Sends STAT for the paths [from, to) of `paths`, and SYST, at once on `connection` and appends
  // what each path gave to `listed`. False at a surprise (nothing appended then): a reply that is
  // neither a listing (211 to 213) nor a refusal (4xx, 5xx other than "unknown command"), a
  // reply that cannot be read, SYST not answered as at login, bytes after its answer, a reply
  // missing kQuickReplyMs after the one before (or the first after the reply time-out), the
  // connection lost. A listing too large fails (FtpError, final).
  static bool Read(FtpConnection& connection, const std::vector<std::string>& paths, std::size_t from,
                   std::size_t to, std::vector<FtpDirListing>& listed);
};

}  // namespace kestrel
