#include "platform/ProfileIni.h"

#include "platform/FileLock.h"
#include "platform/IniDocument.h"
#include "platform/Text.h"
#include "platform/Utf8Path.h"

#ifdef _WIN32
#include <windows.h>
// windows.h maps this name onto the system's own routine of that name.
#undef WriteProfileString
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestrel::platform {

namespace {

// Whether the file at `path` gives every entry back as it was given.
bool ReadsBack(const std::string& path, const std::vector<ProfileEntry>& entries) {
  const ProfileIndex written(path);
  const std::string missing(1, '\n');  // no value read from a file holds a line end
  for (const ProfileEntry& entry : entries)
    if (written.Read(entry.section, entry.key, missing) != entry.value) return false;
  return true;
}

}  // namespace

ProfileIndex::ProfileIndex(const std::string& path) {
  IniDocument doc;
  if (!IniDocument::Load(path, doc)) return;
  Keys* current = nullptr;  // the keys of the section being read, when it is the first of its name
  for (const IniDocument::Line& line : doc.Lines()) {
    if (line.kind == IniDocument::Line::Section) {
      // The first section of a name counts; a later one of the same name is ignored.
      const auto added = sections_.emplace(LowerCase(line.name), Keys{});
      current = added.second ? &added.first->second : nullptr;
    } else if (current != nullptr && line.kind == IniDocument::Line::Entry) {
      // The first of two equal keys counts: emplace keeps what is there.
      current->emplace(LowerCase(line.name), line.value);
    }
  }
}

std::string ProfileIndex::Read(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  const auto s = sections_.find(LowerCase(TrimBlanks(section)));
  if (s != sections_.end()) {
    const auto k = s->second.find(LowerCase(TrimBlanks(key)));
    if (k != s->second.end()) return k->second;
  }
  return TrimChars(defaultValue, "", kBlanks);
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  return ProfileIndex(path).Read(section, key, defaultValue);
}

bool WriteProfileEntries(const std::string& path, const std::vector<ProfileEntry>& entries,
                         unsigned newFileMode, std::string& error) {
  // The names and values are tried first: a refused write touches nothing, not even the folder.
  IniDocument tried;
  for (const ProfileEntry& entry : entries) {
    if (!tried.Set(entry.section, entry.key, entry.value)) {
      error = path + ": [" + entry.section + "] " + entry.key +
              " can not be written (a line break, or a name that can not be read back)";
      return false;
    }
  }
  FileLock lock;
  if (!lock.Lock(path, newFileMode, error)) return false;
  IniDocument doc;
  if (!IniDocument::Load(path, doc) && IsFile(path)) {
    error = path + ": can not be read, so it is not written over";
    return false;
  }
  for (const ProfileEntry& entry : entries) doc.Set(entry.section, entry.key, entry.value);
  return ReplaceWholeFile(
      path, doc.Text(), error, [&entries](const std::string& written) { return ReadsBack(written, entries); },
      newFileMode);
}

bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  std::string error;
  return WriteProfileEntries(path, {{section, key, value}}, kSettingsFileMode, error);
}

bool FlushProfile(const std::string& path) {
#ifdef _WIN32
  const HANDLE file = CreateFileW(PathFromUtf8(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(file) != 0;
  CloseHandle(file);
  return ok;
#else
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
#endif
}

}  // namespace kestrel::platform
