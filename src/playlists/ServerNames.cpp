#include "playlists/ServerNames.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "core/TextEscape.h"
#include "platform/HostInfo.h"
#include "platform/Process.h"

namespace kestrel {

bool IsUsableServerName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos;
}

std::string NewServerNameProblem(std::string_view name) {
  if (!IsValidUtf8(name)) return "the name is not valid UTF-8 text";
  if (name.find_first_of("\r\n") != std::string_view::npos) return "the name holds a line break";
  if (name.find_first_of("/\\") != std::string_view::npos) return "the name holds \"/\" or \"\\\"";
  if (name == "." || name == "..") return "the name is \".\" or \"..\"";
  return {};
}

ServerListing ReadServerListing(std::vector<FtpListEntry> entries) {
  ServerListing listing;
  for (FtpListEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    // A name holding "/" names no file of this directory, so the player does not count it.
    const bool file = entry.kind == FtpEntryKind::File;
    if (file && entry.name.find('/') == std::string::npos) ++listing.files;
    if (!IsUsableServerName(entry.name)) {
      listing.unusable.push_back(std::move(entry.name));
      continue;
    }
    listing.entries.push_back({std::move(entry), file ? listing.files : 0});  // usable: holds no "/"
  }
  return listing;
}

std::string UnusableNamesText(const std::string& where, const std::vector<std::string>& names) {
  if (names.empty()) return {};
  const bool one = names.size() == 1;
  std::string text = "The player's listing of " + QuotedName(where) + " holds " + std::to_string(names.size()) +
                     (one ? " name" : " names") + " with \"/\" or \"\\\" in " + (one ? "it" : "them") +
                     ", which can not be sent back to the player safely; " + (one ? "it is" : "they are") +
                     " left alone:";
  for (const std::string& name : names) text += "\n" + QuotedName(name);
  return text;
}

namespace {

constexpr std::string_view kPrefix = "kestrel-";
constexpr std::string_view kSuffix = ".part";

std::uint32_t HostHash() {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : platform::ComputerName()) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

// The four numbers of a transfer name, in order: host, process, start time, random.
bool Fields(std::string_view name, std::uint32_t (&fields)[4]) {
  if (name.size() != TransferName::kLength || name.substr(0, kPrefix.size()) != kPrefix ||
      name.substr(name.size() - kSuffix.size()) != kSuffix)
    return false;
  std::size_t at = kPrefix.size();
  for (int i = 0; i < 4; ++i, ++at) {
    std::uint32_t value = 0;
    for (int digit = 0; digit < 8; ++digit, ++at) {
      const char c = name[at];
      if (c >= '0' && c <= '9')
        value = value * 16 + static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        value = value * 16 + static_cast<std::uint32_t>(c - 'a' + 10);
      else
        return false;
    }
    fields[i] = value;
    if (i < 3 && name[at] != '-') return false;
  }
  return true;
}

}  // namespace

std::string TransferName::New() {
  std::random_device device;
  std::mt19937 random(device() ^ static_cast<std::uint32_t>(
                                     std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  char text[kLength + 1];
  std::snprintf(text, sizeof text, "kestrel-%08x-%08x-%08x-%08x.part", static_cast<unsigned>(HostHash()),
                static_cast<unsigned>(platform::CurrentProcessId()),
                static_cast<unsigned>(static_cast<std::uint32_t>(std::time(nullptr))),
                static_cast<unsigned>(random()));
  return text;
}

bool TransferName::Is(std::string_view name) {
  std::uint32_t fields[4];
  return Fields(name, fields);
}

bool TransferName::Abandoned(std::string_view name, std::time_t now) {
  std::uint32_t fields[4];
  if (!Fields(name, fields)) return false;
  if (fields[0] == HostHash() &&
      (fields[1] == platform::CurrentProcessId() || !platform::ProcessRunning(fields[1])))
    return true;
  return static_cast<std::int64_t>(now) - static_cast<std::int64_t>(fields[2]) > kAbandonedAfterSeconds;
}

}  // namespace kestrel
