#include "platform/Utf8Path.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrel::platform {

#ifdef _WIN32

std::wstring WideFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
  return utf8;
}

std::filesystem::path PathFromUtf8(const std::string& utf8) { return std::filesystem::path(WideFromUtf8(utf8)); }
std::string Utf8FromPath(const std::filesystem::path& path) { return Utf8FromWide(path.wstring()); }

#else

// Linux file names are bytes; UTF-8 text passes through unchanged.
std::filesystem::path PathFromUtf8(const std::string& utf8) { return std::filesystem::path(utf8); }
std::string Utf8FromPath(const std::filesystem::path& path) { return path.string(); }

#endif

}  // namespace kestrel::platform
