#include "platform/FileTime.h"

#include <sys/stat.h>

#ifdef _WIN32
#include "platform/Utf8Path.h"
#endif

namespace kestrel::platform {

bool ReadFileStamp(const std::string& utf8Path, FileStamp& stamp) {
#ifdef _WIN32
  struct _stat64 st {};
  if (_wstat64(WideFromUtf8(utf8Path).c_str(), &st) != 0 || (st.st_mode & _S_IFREG) == 0) return false;
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.modified = static_cast<long long>(st.st_mtime);
  stamp.modifiedNs = 0;
#else
  struct stat st {};
  if (::stat(utf8Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.modified = static_cast<long long>(st.st_mtim.tv_sec);
  stamp.modifiedNs = static_cast<long long>(st.st_mtim.tv_nsec);
#endif
  return true;
}

}  // namespace kestrel::platform
