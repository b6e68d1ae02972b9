// How a connection reads a directory: as the reply to "STAT path" over the control connection
// (one round trip), or by CWD and LIST over a data connection. Which way is decided once per
// connection, by the first directory that LIST shows entries in: that one is read both ways, and
// STAT is kept only when it gave the same entries (names and kinds) in the same order; a refusal
// of STAT, a status text, an empty or shorter reply all mean LIST. A name with a wildcard
// character (* ? [ ] { } ~), which some servers expand in STAT, always goes by LIST.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "playlists/FtpListParser.h"

namespace kestrel {

enum class FtpListingWay {
  Undecided,       // not yet known: the next listing finds out
  Stat,            // "STAT path": the listing comes as the reply, one round trip
  DataConnection,  // CWD path, then LIST over a data connection
};

class FtpListingChoice {
 public:
  // `statAllowed` false: this server's STAT listings could not be read before; LIST from the
  // start.
  explicit FtpListingChoice(bool statAllowed = true)
      : way_(statAllowed ? FtpListingWay::Undecided : FtpListingWay::DataConnection) {}

  FtpListingWay Way() const { return way_; }
  // Whether `path` is asked for by STAT first.
  bool TriesStat(const std::string& path) const;
  // Decides by a directory read both ways: whether STAT answered with a listing (211 to 213) and
  // the lines of that reply, and what LIST gave.
  void Decide(bool statListed, std::string_view statBody, const std::vector<FtpListEntry>& listed);

 private:
  FtpListingWay way_;
};

}  // namespace kestrel
