// Connecting with the settings: the FTP server of Settings/ftpServer.ini, the one the user typed
// in (kept in the file only once a connection with it has worked), and what the user sees and
// the program does when that fails.
#pragma once

#include <string>

#include "core/AppContext.h"
#include "core/Prompts.h"
#include "playlists/FtpClient.h"
#include "playlists/FtpServerSettings.h"

namespace kestrel {

// The connection failure message.
inline constexpr const char* kConnectFailText =
    "Connect Fail!\r\n\r\n1.Be sure ftp-server is in service.\r\n\r\n2.Please check your settings!";

// Opens the connection of `ftp` if needed. When connected already, returns true at once without
// reading the settings file or sending anything. Otherwise reads IP, Port, UserName and Password
// from ftpServer.ini of the context's Settings folder, hands them to the client and connects.
// When that fails it shows kConnectFailText and the reason (PromptKind::ErrorYes) through the
// context's prompts, asks the program to end (AppContext::RequestTermination) and returns false;
// `why`, when given, then tells the reason (the server's reply, or what the network said).
// `extrasLater`: see FtpClient::Connect.
bool EnsureConnected(FtpClient& ftp, AppContext& context, std::string* why = nullptr, bool extrasLater = false);

// The text without its blanks (a masked address "192.168. 1. 20" gives "192.168.1.20"); a
// text of blanks only is returned as it is.
std::string RemoveBlanks(const std::string& text);

enum class ConnectOutcome {
  Declined,   // connected already, and the user did not want to reconnect
  Connected,  // connected and logged in with the settings, which were saved
  Failed,     // the user saw "Connect Fail!"; nothing was saved
};

struct ConnectResult {
  ConnectOutcome outcome = ConnectOutcome::Failed;
  std::string loginReply;  // the server's answer to the login, trimmed
  // After a failure: why (the server's reply or the network's error), and whether the login
  // worked but the file could not be written.
  std::string reason;
  bool notSaved = false;
};

// With a connection open, asks "Reconnect?" and ends it on Yes. Then gives the client the host
// (`typed.ip` without blanks), port, user name and password, connects and logs in, and writes
// all four values to `iniPath`. A port that is not a number, a refused connection or login and
// a file that cannot be written all show "Connect Fail!".
ConnectResult ConnectAndSave(FtpClient& ftp, Prompts& prompts, const FtpServerSettings& typed,
                             const std::string& iniPath);

}  // namespace kestrel
