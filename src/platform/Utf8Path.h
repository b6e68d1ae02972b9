// File names travel through the program as UTF-8 text. The system calls that take them are made
// with these conversions, so that on Windows a name outside the ANSI code page (a user folder with
// non-Latin letters) reaches the wide (...W) calls intact.
#pragma once

#include <filesystem>
#include <string>

namespace kestrel::platform {

// A path for std::filesystem and the file streams.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

#ifdef _WIN32
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
#endif

}  // namespace kestrel::platform
