// FtpClient: what a deploy needs beyond single commands: the server's features, exact
// listings, several commands at once, and reading a file's bytes without keeping them.
#include <Poco/Exception.h>

#include <chrono>

#include "platform/Text.h"
#include "playlists/FtpClient.h"
#include "playlists/FtpControlSession.h"

namespace kestrel {

namespace {

// Thrown by a sink's refusal to end a transfer; caught by Retrieve.
struct EnoughBytes {};

bool FactOn(const std::string& facts, const std::string& fact) {
  return platform::UpperCase(";" + facts).find(";" + platform::UpperCase(fact) + "*;") != std::string::npos;
}

}  // namespace

bool FtpClient::SendTypeAndSyst() {
  std::string reply;
  if (!pipelining_) {
    Expect("binary mode", "TYPE", "I", {200});
    if (Send("system type", "SYST", "", reply) / 100 == 2 && reply.size() > 4) systemType_ = reply.substr(4);
    return true;
  }
  const auto start = std::chrono::steady_clock::now();
  const int type = Guarded("binary mode", [&](FtpControlSession& session) {
    session.SendLines({"TYPE I", "SYST"});
    return session.ReadReply(reply);
  });
  if (type < 100) FailConnection("binary mode", "the server's reply cannot be read: " + reply);
  NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  if (type != 200) throw FtpError(FtpError::Kind::Reply, "binary mode", type, reply);
  int syst = 0;
  try {
    syst = session_->ReadReply(reply, Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(kPipelineProbeMs) * 1000));
  } catch (const Poco::TimeoutException&) {
    return false;  // the second command was dropped
  } catch (const Poco::Exception& e) {
    FailConnection("system type", e.displayText());
  }
  // Only informative: a server without SYST is still usable.
  if (syst / 100 == 2 && reply.size() > 4) systemType_ = reply.substr(4);
  return true;
}

void FtpClient::ReadFeatures() {
  features_ = {};
  std::string reply, body;
  const int code = Guarded("features", [&](FtpControlSession& session) {
    return session.CommandWithBody("FEAT", "", reply, body);
  });
  if (code != 211) return;  // a server without FEAT offers nothing beyond RFC 959
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line = line.substr(first);
    const std::size_t blank = line.find(' ');
    const std::string name = platform::UpperCase(line.substr(0, blank));
    if (name == "MDTM") features_.mdtm = true;
    if (name == "MFMT") features_.mfmt = true;
    if (name == "MLST" && blank != std::string::npos) {
      const std::string facts = line.substr(blank + 1);
      features_.machineListing = FactOn(facts, "type") && FactOn(facts, "size") && FactOn(facts, "modify");
    }
  }
}

std::vector<FtpListEntry> FtpClient::ListDirExact(const std::string& path) {
  CheckName(path, "list directory");
  if (!features_.machineListing || machineListingRefused_) return ListDir(path);
  std::string raw;
  try {
    raw = ReadData("list directory", "MLSD", path);
  } catch (const FtpError& e) {
    const bool unknown = e.kind() == FtpError::Kind::Reply && (e.code() == 500 || e.code() == 502);
    if (!unknown) throw;
    machineListingRefused_ = true;
    return ListDir(path);
  }
  std::string unreadable;
  std::vector<FtpListEntry> entries = ParseMachineListing(raw, &unreadable);
  if (entries.empty() && !unreadable.empty())
    throw FtpError::Final(FtpError::Kind::Reply, "list directory: the server's listing format is not understood: \"" +
                                                     EscapeControls(unreadable) + "\"");
  return entries;
}

std::vector<FtpReply> FtpClient::Pipeline(const std::vector<FtpCommand>& commands) {
  const char* what = "commands";
  for (const FtpCommand& c : commands) CheckName(c.arg, c.command.c_str());
  std::vector<FtpReply> replies;
  replies.reserve(commands.size());
  if (!pipelining_) {
    for (const FtpCommand& c : commands) {
      FtpReply r;
      r.code = Send(what, c.command, c.arg, r.text);
      replies.push_back(std::move(r));
    }
    return replies;
  }
  for (std::size_t from = 0; from < commands.size(); from += kPipelineGroup) {
    const std::size_t to = std::min(commands.size(), from + kPipelineGroup);
    std::vector<std::string> lines;
    for (std::size_t i = from; i < to; ++i)
      lines.push_back(commands[i].arg.empty() ? commands[i].command : commands[i].command + " " + commands[i].arg);
    const auto start = std::chrono::steady_clock::now();
    Guarded(what, [&](FtpControlSession& session) {
      session.SendLines(lines);
      for (std::size_t i = from; i < to; ++i) {
        FtpReply r;
        r.code = session.ReadReply(r.text);
        if (r.code < 100) throw Poco::ProtocolException("the server's reply cannot be read: " + r.text);
        replies.push_back(std::move(r));
      }
      return 0;
    });
    NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return replies;
}

void FtpClient::Retrieve(const std::string& remoteName, const std::function<bool(const char*, std::size_t)>& sink) {
  const char* what = "retrieve file";
  CheckName(remoteName, what);
  try {
    Transfer(what, "RETR", remoteName, [&](Poco::Net::StreamSocket& socket) {
      std::vector<char> buffer(64 * 1024);
      int n;
      while ((n = socket.receiveBytes(buffer.data(), static_cast<int>(buffer.size()))) > 0)
        if (!sink(buffer.data(), static_cast<std::size_t>(n))) throw EnoughBytes{};
    });
  } catch (const EnoughBytes&) {
  }
}

}  // namespace kestrel
