// FtpClient: what a deploy needs beyond single commands: the server's features, exact
// listings, several commands at once, and reading a file's bytes without keeping them.
#include <Poco/Exception.h>

#include <algorithm>
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

Poco::Timespan FtpClient::ProbeTime() const {
  const int ms = std::min(kPipelineProbeMs, timeouts_.replyMs);
  return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(ms) * 1000);
}

void FtpClient::ProbeExtras(FtpServerNote& note) {
  FtpFeatures features;
  const bool featClear = ReadFeatures(features);
  if (!featClear) {
    features = {};
    Disconnect();
    Login();
  }
  const bool pipelining = ProbePipelining();
  if (!pipelining) {
    Disconnect();
    Login();
    // Whether FEAT left a line behind that upset the probe: asked again, with SYST after it.
    if (featClear && (features.mdtm || features.mfmt || features.machineListing)) {
      if (!ReadFeatures(features) || !SystAgain()) {
        features = {};
        Disconnect();
        Login();
      }
    }
  }
  note.features = features;
  note.pipelineBytes = pipelining ? kPipelineProbeBytes : 0;
}

bool FtpClient::ReadFeatures(FtpFeatures& features) {
  features = {};
  std::string reply, body;
  int code = 0;
  try {
    code = Session("features").CommandWithBody("FEAT", "", reply, body, ProbeTime());
  } catch (const FtpReplyTooLarge&) {
    return false;
  } catch (const Poco::Exception&) {
    return false;  // no complete reply in time, a hang-up, or more than the reply
  }
  if (code != 211) return true;  // a server without FEAT offers nothing beyond RFC 959
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
    if (name == "MDTM") features.mdtm = true;
    if (name == "MFMT") features.mfmt = true;
    if (name == "MLST" && blank != std::string::npos) {
      const std::string facts = line.substr(blank + 1);
      features.machineListing = FactOn(facts, "type") && FactOn(facts, "size") && FactOn(facts, "modify");
    }
  }
  return true;
}

bool FtpClient::SystAgain() {
  std::string reply;
  try {
    FtpControlSession& session = Session("system type");
    session.SendLines({"SYST"});
    return session.ReadReply(reply, ProbeTime()) == systCode_ && reply == systReply_;
  } catch (const Poco::Exception&) {
    return false;
  }
}

bool FtpClient::ProbePipelining() {
  std::vector<std::string> lines(kPipelineProbeNoops, "NOOP");
  lines.push_back("SYST");
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::microseconds(ProbeTime().totalMicroseconds());
  const auto left = [&deadline] {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    return Poco::Timespan(std::max<Poco::Timespan::TimeDiff>(us.count(), 1));
  };
  try {
    FtpControlSession& session = Session("commands");
    session.SendLines(lines);
    std::string reply;
    for (std::size_t i = 0; i < kPipelineProbeNoops; ++i)
      if (session.ReadReply(reply, left()) / 100 != 2) return false;
    if (session.ReadReply(reply, left()) != systCode_ || reply != systReply_) return false;
  } catch (const Poco::Exception&) {
    return false;  // a reply missing, or one that cannot be read
  }
  NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return true;
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
  for (const FtpCommand& c : commands) CheckName(c.arg, c.command.c_str());
  std::vector<FtpReply> replies;
  replies.reserve(commands.size());
  for (std::size_t from = 0; from < commands.size();) {
    const std::size_t to = GroupEnd(commands, from);
    if (to - from > 1) {
      if (SendGroup(commands, from, to, replies)) {
        from = to;
        continue;
      }
      EndPipelining();  // and the group again, one by one
    }
    FtpReply r;
    r.code = Send("commands", commands[from].command, commands[from].arg, r.text);
    replies.push_back(std::move(r));
    ++from;
  }
  return replies;
}

std::size_t FtpClient::GroupEnd(const std::vector<FtpCommand>& commands, std::size_t from) const {
  std::size_t bytes = 0, to = from;
  for (; to < commands.size() && to - from < kPipelineGroup; ++to) {
    const FtpCommand& c = commands[to];
    bytes += c.command.size() + (c.arg.empty() ? 0 : 1 + c.arg.size()) + 2;
    if (bytes > pipelineBytes_) break;
  }
  return std::max(to, from + 1);
}

bool FtpClient::Fits(const std::string& command, int code) const {
  if (code < 200 || code > 599 || code / 100 == 3) return false;
  const std::string verb = platform::UpperCase(command);
  if (code / 100 == 2) return (verb != "SIZE" && verb != "MDTM" && verb != "MFMT") || code == 213;
  // A refusal fits, but not "unknown command" for a command this server has carried out.
  const bool unknown = code == 500 || code == 502;
  return !unknown || std::find(answered_.begin(), answered_.end(), verb) == answered_.end();
}

void FtpClient::NoteAnswered(const std::string& command, int code) {
  if (code / 100 != 2) return;
  const std::string verb = platform::UpperCase(command);
  if (std::find(answered_.begin(), answered_.end(), verb) == answered_.end()) answered_.push_back(verb);
}

bool FtpClient::SendGroup(const std::vector<FtpCommand>& commands, std::size_t from, std::size_t to,
                          std::vector<FtpReply>& replies) {
  const char* what = "commands";
  std::vector<std::string> lines;
  for (std::size_t i = from; i < to; ++i)
    lines.push_back(commands[i].arg.empty() ? commands[i].command : commands[i].command + " " + commands[i].arg);
  std::vector<FtpReply> got;
  const auto start = std::chrono::steady_clock::now();
  try {
    FtpControlSession& session = Session(what);
    session.SendLines(lines);
    for (std::size_t i = from; i < to; ++i) {
      FtpReply r;
      // Once the first reply is there, the others follow at once.
      r.code = i == from ? session.ReadReply(r.text) : session.ReadReply(r.text, ProbeTime());
      if (!Fits(commands[i].command, r.code)) return false;
      got.push_back(std::move(r));
    }
  } catch (const FtpReplyTooLarge&) {
    FailFinally(what, TooLargeText("reply"));
  } catch (const Poco::Exception&) {
    return false;
  }
  NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  for (std::size_t i = from; i < to; ++i) NoteAnswered(commands[i].command, got[i - from].code);
  for (FtpReply& r : got) replies.push_back(std::move(r));
  return true;
}

void FtpClient::EndPipelining() {
  pipelineBytes_ = 0;
  context_.RunState<FtpServerNotes>().Change(serverKey_, [](FtpServerNote& note) { note.pipelineBytes = 0; });
  const std::string dir = currentDir_;
  const bool atLoginDir = atLoginDir_;
  Connect();
  if (!dir.empty())
    ChangeDir(dir);
  else if (!atLoginDir)
    throw FtpError(FtpError::Kind::Connection,
                   "commands: the connection was opened again, and the directory it was in is not known");
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
