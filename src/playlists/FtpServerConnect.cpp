#include "playlists/FtpServerConnect.h"

#include <algorithm>

#include "core/TextEscape.h"
#include "platform/Text.h"

namespace kestrel {

namespace {

// The account of `settings`; throws FtpError (Settings) when the port is not a number, saying
// `why`.
FtpAccount AccountOf(const FtpServerSettings& settings, const std::string& ip, const std::string& why) {
  FtpAccount account;
  if (!ParseFtpPort(settings.port, account.port)) throw FtpError(FtpError::Kind::Settings, why);
  account.host = ip;
  account.userName = settings.userName;
  account.password = settings.password;
  return account;
}

}  // namespace

bool EnsureConnected(FtpClient& ftp, AppContext& context, std::string* why, bool extrasLater) {
  if (ftp.Connected()) return true;
  const FtpServerSettings settings = ReadFtpServerSettings(context.SettingsFile(kFtpServerIniName));
  try {
    ftp.SetAccount(AccountOf(settings, settings.ip,
                             "the port \"" + EscapeControls(settings.port) + "\" in " + kFtpServerIniName +
                                 " is not a port number"));
    ftp.Connect(extrasLater);
    return true;
  } catch (const FtpError& e) {
    if (why != nullptr) *why = e.what();
    context.CurrentPrompts().Show(PromptKind::ErrorYes, std::string(kConnectFailText) + "\r\n\r\n" + e.what());
    context.RequestTermination();
    return false;
  }
}

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
  try {
    ftp.SetAccount(AccountOf(typed, saved.ip, "port is not a number"));
    ftp.Connect();
    result.loginReply = platform::TrimText(ftp.LoginReplies().loginReply);
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
