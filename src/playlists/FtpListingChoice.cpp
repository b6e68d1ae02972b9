#include "playlists/FtpListingChoice.h"

#include <algorithm>

#include "platform/LocaleTime.h"

namespace kestrel {

namespace {

bool SameEntries(const std::vector<FtpListEntry>& a, const std::vector<FtpListEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const FtpListEntry& x, const FtpListEntry& y) {
    return x.name == y.name && x.kind == y.kind;
  });
}

bool HasWildcard(const std::string& path) { return path.find_first_of("*?[]{}~") != std::string::npos; }

}  // namespace

bool FtpListingChoice::TriesStat(const std::string& path) const {
  return way_ != FtpListingWay::DataConnection && !HasWildcard(path);
}

void FtpListingChoice::Decide(bool statListed, std::string_view statBody, const std::vector<FtpListEntry>& listed) {
  if (!statListed) {
    way_ = FtpListingWay::DataConnection;
  } else if (!listed.empty()) {
    way_ = SameEntries(ParseFtpListing(statBody, platform::LocalNow()), listed) ? FtpListingWay::Stat : FtpListingWay::DataConnection;
  }
}

}  // namespace kestrel
