#include "playlists/FtpServerSettings.h"

#include "core/mPublicFunction.h"
#include "platform/ProfileIni.h"

namespace kestrel {

namespace {
const char kSection[] = "ftpServer";
}

FtpServerSettings ReadFtpServerSettings(const std::string& path) {
  FtpServerSettings s;
  s.ip = platform::ReadProfileString(path, kSection, "IP", "");
  s.port = platform::ReadProfileString(path, kSection, "Port", "21");
  s.userName = platform::ReadProfileString(path, kSection, "UserName", "");
  s.password = platform::ReadProfileString(path, kSection, "Password", "");
  return s;
}

bool WriteFtpServerSettings(const std::string& path, const FtpServerSettings& settings, std::string& error) {
  return platform::WriteProfileEntries(path,
                                       {{kSection, "IP", settings.ip},
                                        {kSection, "Port", settings.port},
                                        {kSection, "UserName", settings.userName},
                                        {kSection, "Password", settings.password}},
                                       platform::kPrivateFileMode, error);
}

bool WriteFtpServerSettings(const std::string& path, const FtpServerSettings& settings) {
  std::string error;
  return WriteFtpServerSettings(path, settings, error);
}

bool ParseFtpPort(const std::string& text, std::uint16_t& port) {
  const std::string digits = TrimText(text);
  if (digits.empty() || digits.size() > 5) return false;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace kestrel
