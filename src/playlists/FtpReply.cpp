#include "playlists/FtpReply.h"

namespace kestrel {

bool IsSendableName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::int64_t SizeOfReply(const FtpReply& reply) {
  if (reply.code != 213) return -1;
  const std::string& text = reply.text;
  std::int64_t size = 0;
  std::size_t i = 4, digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 18; ++i, ++digits)
    size = size * 10 + (text[i] - '0');
  return digits > 0 ? size : -1;
}

std::string TimeOfReply(const FtpReply& reply) {
  return reply.code == 213 && reply.text.size() > 4 ? reply.text.substr(4) : std::string();
}

bool EntryOfReply(const FtpReply& reply, std::optional<FtpListEntry>& entry) {
  entry.reset();
  if (reply.code == 550) return true;
  if (reply.code != 250) return false;
  const std::string& text = reply.text;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(pos, end - pos);
    pos = end + 1;
    if (line.empty() || line[0] != ' ') continue;  // the facts line begins with one blank
    std::vector<FtpListEntry> read = ParseMachineListing(line.substr(1));
    if (read.size() != 1) return false;
    entry = std::move(read.front());
    return true;
  }
  return false;
}

}  // namespace kestrel
