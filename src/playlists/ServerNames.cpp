#include "playlists/ServerNames.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>

#include "core/TextEscape.h"
#include "platform/FileWrite.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/Utf8Path.h"

namespace kestrel {

bool IsUsableServerName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos &&
         name.find("\r\n") == std::string_view::npos;
}

std::string NewServerNameProblem(std::string_view name) {
  if (!IsValidUtf8(name)) return "the name is not valid UTF-8 text";
  if (name.find_first_of("\r\n") != std::string_view::npos) return "the name holds a line break";
  if (name.find_first_of("/\\") != std::string_view::npos) return "the name holds \"/\" or \"\\\"";
  if (name == "." || name == "..") return "the name is \".\" or \"..\"";
  if (TransferName::Is(name))
    return "the name has the form of the temporary files of unfinished uploads, which listings hide and remove";
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
  const bool lineEnds = std::any_of(names.begin(), names.end(), [](const std::string& name) {
    return name.find("\r\n") != std::string::npos;
  });
  std::string text = "The player's listing of " + QuotedName(where) + " holds " + std::to_string(names.size()) +
                     (one ? " name" : " names") +
                     (lineEnds ? " with \"/\", \"\\\" or a line end in " : " with \"/\" or \"\\\" in ") +
                     (one ? "it" : "them") +
                     ", which can not be sent back to the player safely; " + (one ? "it is" : "they are") +
                     " left alone:";
  for (const std::string& name : names) text += "\n" + QuotedName(name);
  return text;
}

namespace {

constexpr std::string_view kPrefix = "kestrel-";
constexpr std::string_view kSuffix = ".part";

// The number that `text`, eight lower-case hex digits, writes.
bool ParseHex8(std::string_view text, std::uint32_t& value) {
  if (text.size() != 8) return false;
  value = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9')
      value = value * 16 + static_cast<std::uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      value = value * 16 + static_cast<std::uint32_t>(c - 'a' + 10);
    else
      return false;
  }
  return true;
}

// The four numbers of a transfer name, in order: installation (the computer, in names of earlier
// versions), process, start time, random.
bool Fields(std::string_view name, std::uint32_t (&fields)[4]) {
  if (name.size() != TransferName::kLength || name.substr(0, kPrefix.size()) != kPrefix ||
      name.substr(name.size() - kSuffix.size()) != kSuffix)
    return false;
  for (std::size_t i = 0, at = kPrefix.size(); i < 4; ++i, at += 9) {
    if (!ParseHex8(name.substr(at, 8), fields[i])) return false;
    if (i < 3 && name[at + 8] != '-') return false;
  }
  return true;
}

}  // namespace

std::string TransferName::New(std::uint32_t installation) {
  std::random_device device;
  std::mt19937 random(device() ^ static_cast<std::uint32_t>(
                                     std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  char text[kLength + 1];
  std::snprintf(text, sizeof text, "kestrel-%08x-%08x-%08x-%08x.part", static_cast<unsigned>(installation),
                static_cast<unsigned>(platform::CurrentProcessId()),
                static_cast<unsigned>(static_cast<std::uint32_t>(std::time(nullptr))),
                static_cast<unsigned>(random()));
  return text;
}

bool TransferName::Is(std::string_view name) {
  std::uint32_t fields[4];
  return Fields(name, fields);
}

bool TransferName::Abandoned(std::string_view name, std::time_t now, std::uint32_t installation,
                             const std::function<std::int64_t()>& lastWritten) {
  std::uint32_t fields[4];
  if (!Fields(name, fields)) return false;
  if (fields[0] == installation)
    return fields[1] == platform::CurrentProcessId() || !platform::ProcessRunning(fields[1]);
  const auto old = [now](std::int64_t when) { return static_cast<std::int64_t>(now) - when > kAbandonedAfterSeconds; };
  if (!old(static_cast<std::int64_t>(fields[2]))) return false;
  const std::int64_t written = lastWritten ? lastWritten() : -1;
  return written < 0 || old(written);
}

namespace {

struct InstallationIdState {
  std::mutex mutex;
  bool known = false;
  std::uint32_t id = 0;
};

bool ReadInstallationId(const std::string& path, std::uint32_t& id) {
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  std::string text;
  if (!in || !std::getline(in, text)) return false;
  return ParseHex8(platform::TrimChars(text, "", "\r "), id);
}

}  // namespace

std::uint32_t InstallationId(AppContext& context) {
  InstallationIdState& state = context.RunState<InstallationIdState>();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.known) return state.id;
  const std::string path = context.SettingsFile(kInstallationIdName);
  std::uint32_t id = 0;
  if (!ReadInstallationId(path, id)) {
    std::random_device device;
    id = static_cast<std::uint32_t>(device()) ^
         static_cast<std::uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    char text[16];
    std::snprintf(text, sizeof text, "%08x%s", static_cast<unsigned>(id), platform::NewFileLineEnd());
    std::string error;
    // Two programs making it at once: the one written last holds, and each takes what is there.
    std::uint32_t written = 0;
    if (platform::ReplaceWholeFile(path, text, error) && ReadInstallationId(path, written)) id = written;
  }
  state.known = true;
  state.id = id;
  return id;
}

}  // namespace kestrel
