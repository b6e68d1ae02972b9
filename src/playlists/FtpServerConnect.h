// Connecting to a server the user typed in, and keeping it in Settings/ftpServer.ini only once
// a connection with it has worked.
#pragma once

#include <string>

#include "core/Prompts.h"
#include "playlists/FtpClient.h"
#include "playlists/FtpServerSettings.h"

namespace kestrel {

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

// With a connection open, asks "Reconnect?" and ends it on Yes. Then sets the client's host
// (`typed.ip` without blanks), port, user name and password, connects and logs in, and writes
// all four values to `iniPath`. A port that is not a number, a refused connection or login and
// a file that cannot be written all show "Connect Fail!".
ConnectResult ConnectAndSave(FtpClient& ftp, Prompts& prompts, const FtpServerSettings& typed,
                             const std::string& iniPath);

}  // namespace kestrel
