// Any bytes as a LIST reply and as a machine listing (MLSD): parsing must never read outside
// them, and every entry it gives must have a name, a real date and a size that is not negative
// (or -1 for none); an exact time reads back as itself. A name holds a line end only where the
// line after it read like a line of a server's reply (three digits, then a blank, a dash or
// nothing), which the parser joins back onto the name it broke.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "playlists/FtpListParser.h"

namespace {

bool ReplyLike(std::string_view rest) {
  if (rest.size() < 3) return false;
  for (int i = 0; i < 3; ++i)
    if (rest[i] < '0' || rest[i] > '9') return false;
  return rest.size() == 3 || rest[3] == ' ' || rest[3] == '-' || rest.substr(3, 2) == "\r\n";
}

// Every line end in `name` is followed by a reply-like line.
bool LineEndsJoinedOnly(std::string_view name) {
  for (std::size_t at = name.find("\r\n"); at != std::string_view::npos; at = name.find("\r\n", at + 2))
    if (!ReplyLike(name.substr(at + 2))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const kestrel::platform::CalendarTime now{2026, 12, 7, 12, 0, 0};
  for (const auto& entry : kestrel::ParseFtpListing(reply, now)) {
    if (entry.name.empty() || entry.name.size() > size) std::abort();
    if (!kestrel::platform::IsValidCalendarTime(entry.modified)) std::abort();
    if (entry.size < -1) std::abort();
    if (entry.kind != kestrel::FtpEntryKind::Link && !entry.linkTarget.empty()) std::abort();
    if (!LineEndsJoinedOnly(entry.name)) std::abort();
  }
  for (const auto& entry : kestrel::ParseMachineListing(reply)) {
    if (entry.name.empty() || entry.name.size() > size || entry.size < -1) std::abort();
    long long seconds = 0;
    if (!entry.modifiedUtc.empty() &&
        (!kestrel::ParseUtcStamp(entry.modifiedUtc, seconds) || kestrel::UtcStamp(seconds) != entry.modifiedUtc))
      std::abort();
  }
  return 0;
}
