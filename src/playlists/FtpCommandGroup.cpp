#include "playlists/FtpCommandGroup.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <chrono>

#include "platform/Text.h"
#include "playlists/FtpControlSession.h"

namespace kestrel {

std::size_t FtpCommandGroup::End(const std::vector<FtpCommand>& commands, std::size_t from, std::size_t maxBytes) {
  std::size_t bytes = 0, to = from;
  for (; to < commands.size() && to - from < kMaxCommands; ++to) {
    const FtpCommand& c = commands[to];
    bytes += c.command.size() + (c.arg.empty() ? 0 : 1 + c.arg.size()) + 2;
    if (bytes > maxBytes) break;
  }
  return std::max(to, from + 1);
}

bool FtpCommandGroup::Fits(const std::string& command, int code, const std::vector<std::string>& answered) {
  if (code < 200 || code > 599 || code / 100 == 3) return false;
  const std::string verb = platform::UpperCase(command);
  if (code / 100 == 2) return (verb != "SIZE" && verb != "MDTM" && verb != "MFMT") || code == 213;
  const bool unknown = code == 500 || code == 502;
  return !unknown || std::find(answered.begin(), answered.end(), verb) == answered.end();
}

bool FtpCommandGroup::Send(FtpConnection& connection, const std::vector<FtpCommand>& commands, std::size_t from,
                           std::size_t to, std::vector<FtpReply>& replies) {
  const char* what = "commands";
  std::vector<std::string> lines;
  for (std::size_t i = from; i < to; ++i)
    lines.push_back(commands[i].arg.empty() ? commands[i].command : commands[i].command + " " + commands[i].arg);
  std::vector<FtpReply> got;
  const auto start = std::chrono::steady_clock::now();
  try {
    FtpControlSession& session = connection.Session(what);
    session.SendLines(lines);
    for (std::size_t i = from; i < to; ++i) {
      FtpReply r;
      // Once the first reply is there, the others follow at once.
      r.code = i == from ? session.ReadReply(r.text) : session.ReadReply(r.text, connection.QuickReplyTime());
      if (!Fits(commands[i].command, r.code, connection.Note().answered)) return false;
      got.push_back(std::move(r));
    }
  } catch (const FtpReplyTooLarge&) {
    connection.Fail(true, what, FtpConnection::TooLargeText("reply"));
  } catch (const Poco::Exception&) {
    return false;
  }
  connection.NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  for (std::size_t i = from; i < to; ++i) connection.NoteAnswered(commands[i].command, got[i - from].code);
  for (FtpReply& r : got) replies.push_back(std::move(r));
  return true;
}

bool FtpCommandGroup::SendRename(FtpConnection& connection, const std::string& from, const std::string& to,
                                 FtpReply& rnfr, FtpReply& rnto) {
  const char* what = "rename";
  const auto start = std::chrono::steady_clock::now();
  try {
    FtpControlSession& session = connection.Session(what);
    session.SendLines({"RNFR " + from, "RNTO " + to});
    rnfr.code = session.ReadReply(rnfr.text);
    rnto.code = session.ReadReply(rnto.text, connection.QuickReplyTime());
  } catch (const FtpReplyTooLarge&) {
    connection.Fail(true, what, FtpConnection::TooLargeText("reply"));
  } catch (const Poco::Exception&) {
    return false;
  }
  const auto refusal = [](int code) { return code >= 400 && code <= 599; };
  const bool fromAccepted = rnfr.code == 350;
  if (!fromAccepted && !refusal(rnfr.code)) return false;
  if (!(refusal(rnto.code) || (fromAccepted && rnto.code / 100 == 2))) return false;
  connection.NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  connection.NoteAnswered("RNTO", rnto.code);
  return true;
}

}  // namespace kestrel
