// Any bytes as a LIST reply and as a machine listing (MLSD): parsing must never read outside
// them, and every entry it gives must have a name, a real date and a size that is not negative
// (or -1 for none); an exact time reads back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "playlists/FtpListParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const kestrel::platform::CalendarTime now{2026, 12, 7, 12, 0, 0};
  for (const auto& entry : kestrel::ParseFtpListing(reply, now)) {
    if (entry.name.empty() || entry.name.size() > size) std::abort();
    if (!kestrel::platform::IsValidCalendarTime(entry.modified)) std::abort();
    if (entry.size < -1) std::abort();
    if (entry.kind != kestrel::FtpEntryKind::Link && !entry.linkTarget.empty()) std::abort();
    if (entry.name.find("\r\n") != std::string_view::npos) std::abort();
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
