// A local file's size and modification time, as a deploy compares them with the player's copy.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::platform {

struct FileStamp {
  std::int64_t size = -1;
  long long modified = 0;  // seconds since 1970-01-01 00:00:00 UTC, whole seconds
  long long modifiedNs = 0;  // the nanoseconds within that second, where the file system keeps them

  bool operator==(const FileStamp& o) const {
    return size == o.size && modified == o.modified && modifiedNs == o.modifiedNs;
  }
  bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

// The size and modification time of the regular file `utf8Path`; false when it cannot be read.
bool ReadFileStamp(const std::string& utf8Path, FileStamp& stamp);

}  // namespace kestrel::platform
