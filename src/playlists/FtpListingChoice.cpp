#include "playlists/FtpListingChoice.h"

#include <algorithm>

#include "core/TextEscape.h"
#include "platform/LocaleTime.h"
#include "playlists/FtpError.h"

namespace kestrel {

namespace {

bool SameEntries(const std::vector<FtpListEntry>& a, const std::vector<FtpListEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const FtpListEntry& x, const FtpListEntry& y) {
    return x.name == y.name && x.kind == y.kind;
  });
}

bool HasWildcard(const std::string& path) { return path.find_first_of("*?[]{}~") != std::string::npos; }

}  // namespace

std::vector<FtpListEntry> ReadListingText(std::string_view raw) {
  std::string unreadable;
  std::vector<FtpListEntry> entries = ParseFtpListing(raw, platform::LocalNow(), &unreadable);
  if (entries.empty() && !unreadable.empty())
    throw FtpError::Final(FtpError::Kind::Reply, "list directory: the server's listing format is not understood: \"" +
                                                     EscapeControls(unreadable) + "\"");
  return entries;
}

bool FtpListingChoice::TriesStat(const std::string& path) const {
  return way_ != FtpListingWay::DataConnection && !HasWildcard(path);
}

void FtpListingChoice::Decide(bool statListed, std::string_view statBody, const std::vector<FtpListEntry>& listed) {
  if (!statListed)
    way_ = FtpListingWay::DataConnection;
  else
    Decide(ParseFtpListing(statBody, platform::LocalNow()), listed);
}

bool FtpListingChoice::Decide(const std::vector<FtpListEntry>& statEntries, const std::vector<FtpListEntry>& listed) {
  const bool same = SameEntries(statEntries, listed);
  if (!listed.empty()) way_ = same ? FtpListingWay::Stat : FtpListingWay::DataConnection;
  return same;
}

}  // namespace kestrel
