// How a connection reads a directory: as the reply to "STAT path" over the control connection
// (one round trip), or by CWD and LIST over a data connection. Which way is decided once per
// server (a connection starts from what another one decided), by the first directory that LIST
// shows entries in: that one is read both ways, and STAT is kept only when it gave the same
// entries (names and kinds) in the same order; a refusal of STAT, a status text, an empty or
// shorter reply all mean LIST. A name with a wildcard
// character (* ? [ ] { } ~), which some servers expand in STAT, always goes by LIST.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "playlists/FtpListParser.h"

namespace kestrel {

// The entries of a listing (the data of LIST, or the lines of a STAT reply). A listing that holds
// lines but none that can be read fails (FtpError::Kind::Reply, final) quoting its first line:
// it is never taken for an empty directory.
std::vector<FtpListEntry> ReadListingText(std::string_view raw);

enum class FtpListingWay {
  Undecided,       // not yet known: the next listing finds out
  Stat,            // "STAT path": the listing comes as the reply, one round trip
  DataConnection,  // CWD path, then LIST over a data connection
};

class FtpListingChoice {
 public:
  // `statAllowed` false: this server's STAT listings could not be read before; LIST from the
  // start. Otherwise `decided`: the way another connection to the server decided, if any.
  explicit FtpListingChoice(bool statAllowed = true, FtpListingWay decided = FtpListingWay::Undecided)
      : way_(statAllowed ? decided : FtpListingWay::DataConnection) {}

  FtpListingWay Way() const { return way_; }
  // Whether `path` is asked for by STAT first.
  bool TriesStat(const std::string& path) const;
  // Decides by a directory read both ways: whether STAT answered with a listing (211 to 213) and
  // the lines of that reply, and what LIST gave.
  void Decide(bool statListed, std::string_view statBody, const std::vector<FtpListEntry>& listed);
  // The same for a STAT reply that gave the entries `statEntries`; true when they are LIST's.
  bool Decide(const std::vector<FtpListEntry>& statEntries, const std::vector<FtpListEntry>& listed);

 private:
  FtpListingWay way_;
};

}  // namespace kestrel
