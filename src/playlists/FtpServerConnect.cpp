#include "playlists/FtpServerConnect.h"

#include <algorithm>

#include "core/mPublicFunction.h"

namespace kestrel {

std::string RemoveBlanks(const std::string& text) {
  std::string out;
  std::copy_if(text.begin(), text.end(), std::back_inserter(out), [](char c) { return c != ' '; });
  return out.empty() ? text : out;
}

ConnectResult ConnectAndSave(FtpClient& ftp, Prompts& prompts, const FtpServerSettings& typed,
                             const std::string& iniPath) {
  ConnectResult result;
  if (ftp.Connected()) {
    if (!prompts.Confirm("Reconnect?")) {
      result.outcome = ConnectOutcome::Declined;
      return result;
    }
    try {
      ftp.Quit();
    } catch (...) {
      prompts.Show(PromptKind::InfoOk, "Communicating... Please wait!");
    }
  }
  FtpServerSettings saved = typed;
  saved.ip = RemoveBlanks(typed.ip);
  std::uint16_t port = 0;
  try {
    if (!ParseFtpPort(typed.port, port))
      throw FtpError(FtpError::Kind::Settings, "port is not a number");
    ftp.SetHost(saved.ip);
    ftp.SetPort(port);
    ftp.SetUserName(typed.userName);
    ftp.SetPassword(typed.password);
    ftp.Connect();
    result.loginReply = TrimText(ftp.LoginReply());
    if (std::string why; !WriteFtpServerSettings(iniPath, saved, why)) {
      result.notSaved = true;
      throw FtpError(FtpError::Kind::LocalFile, "not written: " + why);
    }
  } catch (const FtpError& e) {
    prompts.Show(PromptKind::ErrorYes, "Connect Fail!");
    result.loginReply.clear();
    result.reason = e.what();
    return result;
  }
  result.outcome = ConnectOutcome::Connected;
  return result;
}

}  // namespace kestrel
