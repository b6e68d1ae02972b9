// INI profile routines with the semantics of the Windows private-profile functions that the
// settings files were made for (the line rules are IniDocument's): section and key names compare
// without regard to letter case, blanks around names and values are removed, a value in
// matching quotes loses them, the first of two equal sections or keys counts, and a line whose
// first non-blank is ';' is a comment. A write changes its keys in place and keeps every other
// line of the file as it was; it replaces the whole file in one step, under the file's lock.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileWrite.h"

namespace kestrel::platform {

// A settings file read once for many look-ups with the rules above: each look-up costs a hash
// lookup instead of a pass over the file. It holds what the file held when it was made.
class ProfileIndex {
 public:
  explicit ProfileIndex(const std::string& path);

  // As ReadProfileString on the file as it was read.
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue) const;

 private:
  using Keys = std::unordered_map<std::string, std::string>;  // folded key -> value
  std::unordered_map<std::string, Keys> sections_;            // folded section -> its keys
};

// The value of `key` in `section` of the file at `path`, or `defaultValue` (with trailing
// blanks removed) when the file, section or key is missing.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

struct ProfileEntry {
  std::string section;
  std::string key;
  std::string value;
};

// Sets every entry in the file at `path`, creating keys, sections and the file (with the
// permission bits `newFileMode`) when missing, in one replacement of the file under its lock
// (FileLock). Values that reading would change (blanks at their ends, quotes around them) are
// written in quotes, and the new file is read back before it replaces the old one: every entry
// must read back as given. Refuses (false, the file unchanged, why in `error`) a name or value
// holding CR or LF, which would turn into further lines, and a section or key name that cannot
// be read back (empty, '=' in a key, ']' in a section).
bool WriteProfileEntries(const std::string& path, const std::vector<ProfileEntry>& entries,
                         unsigned newFileMode, std::string& error);

// WriteProfileEntries for one key, in a file made with the usual mode.
bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);

// Forces what was written to `path` onto the disk.
bool FlushProfile(const std::string& path);

}  // namespace kestrel::platform
