// INI profile routines with the semantics of the Windows private-profile functions that the
// settings files were made for: section and key names compare without regard to letter case,
// blanks around names and values are removed, a value in matching quotes loses them, the first
// of two equal sections or keys counts, and a line whose first non-blank is ';' is a comment.
// A write changes one key in place and keeps every other line of the file as it was.
#pragma once

#include <string>
#include <unordered_map>

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

// Sets `key` in `section` to `value`, creating the key, the section or the file when missing.
// The file is replaced atomically, so a failed write never leaves half a file. Refuses (returns
// false) a name or value holding CR or LF, which would turn into further lines, and a section
// or key name that cannot be read back (empty, '=' in a key, ']' in a section).
bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);

// Forces what was written to `path` onto the disk.
bool FlushProfile(const std::string& path);

}  // namespace kestrel::platform
