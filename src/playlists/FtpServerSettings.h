// Settings/ftpServer.ini: section ftpServer with the keys IP, Port, UserName and Password, all
// text. A missing file reads like a file with every key absent.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

struct FtpServerSettings {
  std::string ip;          // dotted IPv4 text; empty when absent
  std::string port = "21";  // as stored; "21" when absent
  std::string userName;
  std::string password;
};

// The file's name in the Settings folder.
inline constexpr const char* kFtpServerIniName = "ftpServer.ini";

FtpServerSettings ReadFtpServerSettings(const std::string& path);

// Writes all four keys in one replacement of the file, under its lock, readable by its owner
// only when it is made (the password is plain text), and reads them back before it says they
// were written. Values with blanks at their ends or quotes around them are quoted, so that they
// read back as given. False, with why in `error`, when the file was not written (or a value
// holds CR or LF).
bool WriteFtpServerSettings(const std::string& path, const FtpServerSettings& settings, std::string& error);
bool WriteFtpServerSettings(const std::string& path, const FtpServerSettings& settings);

// The port text as a TCP port: decimal digits only (blanks around them allowed), 1 to 65535.
bool ParseFtpPort(const std::string& text, std::uint16_t& port);

}  // namespace kestrel
