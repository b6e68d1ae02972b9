#include "playlists/FtpClient.h"

#include <Poco/Exception.h>
#include <Poco/Net/Net.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/TextEscape.h"
#include "platform/LocaleTime.h"
#include "platform/Utf8Path.h"
#include "playlists/FtpCommandGroup.h"
#include "playlists/FtpExtrasProbe.h"

namespace kestrel {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr const char* kListWhat = "list directory";

// Thrown by a sink's refusal to end a transfer; caught by Retrieve.
struct EnoughBytes {};

void CheckSendable(const std::string& name, const char* what) {
  if (!IsSendableName(name))
    throw FtpError(FtpError::Kind::BadName,
                   std::string(what) + ": the name holds a line break and cannot be sent to the FTP server");
}

// Hands `length` bytes to the data connection, failing with Poco::TimeoutException once no byte
// could be handed over for `idle`. (A blocking send with a send time-out starts its time-out
// again with every few bytes it gets rid of, so a stalled server was noticed only after several
// time-outs, and then as "Operation would block" rather than as a time-out.)
void SendAll(Poco::Net::StreamSocket& socket, const char* data, int length, const Poco::Timespan& idle) {
  socket.setBlocking(false);
  while (length > 0) {
    if (!socket.poll(idle, Poco::Net::Socket::SELECT_WRITE | Poco::Net::Socket::SELECT_ERROR))
      throw Poco::TimeoutException("the transfer stopped");
    const int n = socket.sendBytes(data, length);  // what fits now; -1: nothing did after all
    if (n > 0) {
      data += n;
      length -= n;
    }
  }
}

}  // namespace

// Poco's network start-up (the socket library on Windows; nothing on Linux) is reference
// counted: each client holds it for its lifetime.
FtpClient::FtpClient(FtpServerNotes& notes) : notes_(notes) { Poco::Net::initializeNetwork(); }

FtpClient::~FtpClient() {
  Disconnect();
  Poco::Net::uninitializeNetwork();
}

// --- connection

bool FtpClient::Connected() {
  if (!connection_) return false;
  if (!connection_->Alive()) {
    Disconnect();
    return false;
  }
  return true;
}

void FtpClient::Disconnect() {
  fastestReplySeconds_ = FastestReplySeconds();
  connection_.reset();
}

void FtpClient::Quit() {
  if (!connection_) return;
  connection_->Quit();
  Disconnect();
}

void FtpClient::Connect(bool extrasLater) {
  Disconnect();
  renameHeld_ = false;
  try {
    connection_ = std::make_unique<FtpConnection>(account_, timeouts_, notes_);
    if (!extrasLater) TryExtras();
  } catch (const FtpError&) {
    Disconnect();
    throw;
  }
}

void FtpClient::TryExtras() {
  if (Open("features").Note().probed) return;
  FtpExtrasProbe probe([this]() -> FtpConnection& {
    Disconnect();
    connection_ = std::make_unique<FtpConnection>(account_, timeouts_, notes_);
    return *connection_;
  });
  const FtpServerNote found = probe.Run(*connection_);
  connection_->ChangeNote([&found](FtpServerNote& kept) {
    kept.probed = true;
    kept.features = found.features;
    kept.pipelineBytes = found.pipelineBytes;
  });
}

FtpConnection& FtpClient::Open(const char* what) {
  if (!connection_ || connection_->Closed())
    throw FtpError(FtpError::Kind::Connection, std::string(what) + ": not connected");
  return *connection_;
}

const FtpLoginReplies& FtpClient::LoginReplies() const {
  static const FtpLoginReplies none;
  return connection_ ? connection_->Login() : none;
}

const FtpServerNote& FtpClient::ServerNote() const {
  static const FtpServerNote none;
  return connection_ && !connection_->Closed() ? connection_->Note() : none;
}

void FtpClient::NoteTimesNotKept(const std::string& why) {
  if (connection_) connection_->ChangeNote([&why](FtpServerNote& note) { note.timesNotKept = why; });
}

double FtpClient::FastestReplySeconds() const {
  const double now = connection_ ? connection_->FastestReplySeconds() : 0;
  if (fastestReplySeconds_ == 0) return now;
  return now == 0 ? fastestReplySeconds_ : std::min(now, fastestReplySeconds_);
}

// --- operations

void FtpClient::ChangeDir(const std::string& path) {
  const char* what = "change directory";
  CheckSendable(path, what);
  FtpConnection& connection = Open(what);
  connection.ForgetDir();
  connection.Expect(what, "CWD", path, {200, 250});
  connection.EnteredDir(path);
}

void FtpClient::EnterDir(const std::string& path) {
  if (!connection_ || connection_->Closed() || connection_->Dir() != path) ChangeDir(path);
}

void FtpClient::MakeDir(const std::string& name) {
  CheckSendable(name, "make directory");
  Open("make directory").Expect("make directory", "MKD", name, {257});
}

void FtpClient::RemoveDir(const std::string& name) {
  CheckSendable(name, "remove directory");
  Open("remove directory").Expect("remove directory", "RMD", name, {250});
}

void FtpClient::Delete(const std::string& name) {
  CheckSendable(name, "delete");
  Open("delete").Expect("delete", "DELE", name, {250});
}

void FtpClient::Rename(const std::string& from, const std::string& to, bool* fromAccepted, bool atOnce) {
  CheckSendable(from, "rename");
  CheckSendable(to, "rename");
  if (fromAccepted != nullptr) *fromAccepted = false;
  const std::size_t bytes = from.size() + to.size() + 14;  // "RNFR ", "RNTO " and two line ends
  if (atOnce && !renameHeld_ && bytes <= Open("rename").PipelineBytes()) {
    FtpConnection& connection = Open("rename");
    const std::string dir = connection.Dir();
    const bool atLoginDir = connection.AtLoginDir();
    FtpReply rnfr, rnto;
    if (FtpCommandGroup::SendRename(connection, from, to, rnfr, rnto)) {
      if (rnfr.code != 350) throw FtpError(FtpError::Kind::Reply, "rename", rnfr.code, rnfr.text);
      if (fromAccepted != nullptr) *fromAccepted = true;
      if (rnto.code == 250) return;
      renameHeld_ = true;
      throw FtpError(FtpError::Kind::Reply, "rename", rnto.code, rnto.text);
    }
    EndPipelining(dir, atLoginDir);  // a new connection holds no RNFR of the old one
  }
  // One line at a time.
  Open("rename").Expect("rename", "RNFR", from, {350});
  if (fromAccepted != nullptr) *fromAccepted = true;
  std::string reply;
  const int code = Open("rename").Send("rename", "RNTO", to, reply);
  renameHeld_ = code / 100 != 2;
  if (code != 250) throw FtpError(FtpError::Kind::Reply, "rename", code, reply);
}

std::int64_t FtpClient::Size(const std::string& name, int* replyCode) {
  CheckSendable(name, "size");
  FtpReply reply;
  reply.code = Open("size").Send("size", "SIZE", name, reply.text);
  if (replyCode != nullptr) *replyCode = reply.code;
  return SizeOfReply(reply);
}

std::string FtpClient::ModificationTime(const std::string& name) {
  const char* what = "modification time";
  CheckSendable(name, what);
  FtpReply reply;
  reply.code = Open(what).Send(what, "MDTM", name, reply.text);
  return TimeOfReply(reply);
}

int FtpClient::SetModificationTime(const std::string& name, long long utcSeconds, std::string& reply) {
  const char* what = "set modification time";
  CheckSendable(name, what);
  return Open(what).Send(what, "MFMT", UtcStamp(utcSeconds) + " " + name, reply);
}

std::vector<FtpListEntry> FtpClient::List() {
  return ReadListingText(ReadData(kListWhat, "LIST", ""));
}

FtpListingWay FtpClient::ListingWay() const {
  return connection_ && !connection_->Closed() ? connection_->Listing().Way() : FtpListingWay::Undecided;
}

std::vector<FtpListEntry> FtpClient::ListDir(const std::string& path, bool* confirmed) {
  const bool quick = confirmed != nullptr;
  if (quick) *confirmed = true;
  CheckSendable(path, kListWhat);
  FtpConnection& connection = Open(kListWhat);
  if (!connection.Listing().TriesStat(path)) {
    EnterDir(path);
    return List();
  }
  std::string reply, body;
  const int code = connection.Stat(path, reply, body);
  if (code < 0) {
    // What the server sends next is not known: the connection goes, and this server's listings
    // come over data connections from now on.
    connection.ChangeNote([](FtpServerNote& note) { note.statListing = false; });
    Connect();
    EnterDir(path);
    return List();
  }
  const bool listed = code >= 211 && code <= 213;
  if (connection.Listing().Way() == FtpListingWay::Stat) {
    if (!listed) throw FtpError(FtpError::Kind::Reply, kListWhat, code, reply);
    return ReadListingText(body);
  }
  if (quick && listed) {
    std::vector<FtpListEntry> entries = ParseFtpListing(body, platform::LocalNow());
    if (!entries.empty()) {
      *confirmed = false;
      return entries;
    }
  }
  EnterDir(path);
  std::vector<FtpListEntry> entries = List();
  connection.Listing().Decide(listed, body, entries);
  connection.NoteListingWay();
  return entries;
}

std::optional<std::vector<FtpListEntry>> FtpClient::ConfirmListing(const std::string& path,
                                                                    const std::vector<FtpListEntry>& fromStat) {
  EnterDir(path);
  std::vector<FtpListEntry> entries = List();
  FtpConnection& connection = Open(kListWhat);
  const bool same = connection.Listing().Decide(fromStat, entries);
  connection.NoteListingWay();
  if (same) return std::nullopt;
  return entries;
}

void FtpClient::ListDirs(const std::vector<std::string>& paths, const FtpDirsListed& listed) {
  // One directory: its entries or its error; a connection failure throws.
  const auto listOne = [this](const std::string& path) {
    FtpDirListing listing;
    try {
      listing.entries = ListDir(path);
    } catch (const FtpError& e) {
      if (e.kind() == FtpError::Kind::Connection) throw;
      listing.error = e;
    }
    return listing;
  };
  std::vector<FtpDirListing> batch;
  for (std::size_t from = 0; from < paths.size();) {
    batch.clear();
    FtpConnection& connection = Open(kListWhat);
    const std::size_t groupBytes = connection.PipelineBytes();
    const bool grouped = connection.Listing().Way() == FtpListingWay::Stat && groupBytes > 0;
    const std::size_t to = grouped ? FtpListingGroup::End(connection.Listing(), paths, from, groupBytes) : from;
    if (to - from > 1) {
      const std::string dir = connection.Dir();
      const bool atLoginDir = connection.AtLoginDir();
      if (FtpListingGroup::Read(connection, paths, from, to, batch)) {
        listed(from, batch);
        from = to;
        continue;
      }
      EndPipelining(dir, atLoginDir);  // and the group again, one at a time
    }
    batch.push_back(listOne(paths[from]));
    listed(from, batch);
    ++from;
  }
}

bool FtpClient::ListsExactly() const { return ServerNote().features.machineListing && !machineListingRefused_; }

std::vector<FtpListEntry> FtpClient::ListDirExact(const std::string& path) {
  CheckSendable(path, kListWhat);
  if (!ListsExactly()) return ListDir(path);
  std::string raw;
  try {
    raw = ReadData(kListWhat, "MLSD", path);
  } catch (const FtpError& e) {
    const bool unknown = e.kind() == FtpError::Kind::Reply && (e.code() == 500 || e.code() == 502);
    if (!unknown) throw;
    machineListingRefused_ = true;
    return ListDir(path);
  }
  std::string unreadable;
  std::vector<FtpListEntry> entries = ParseMachineListing(raw, &unreadable);
  if (entries.empty() && !unreadable.empty())
    throw FtpError::Final(FtpError::Kind::Reply, std::string(kListWhat) +
                                                     ": the server's listing format is not understood: \"" +
                                                     EscapeControls(unreadable) + "\"");
  return entries;
}

std::vector<FtpReply> FtpClient::Pipeline(const std::vector<FtpCommand>& commands) {
  for (const FtpCommand& c : commands) CheckSendable(c.arg, c.command.c_str());
  std::vector<FtpReply> replies;
  replies.reserve(commands.size());
  for (std::size_t from = 0; from < commands.size();) {
    FtpConnection& connection = Open("commands");
    const std::size_t to = FtpCommandGroup::End(commands, from, connection.PipelineBytes());
    if (to - from > 1) {
      const std::string dir = connection.Dir();
      const bool atLoginDir = connection.AtLoginDir();
      if (FtpCommandGroup::Send(connection, commands, from, to, replies)) {
        from = to;
        continue;
      }
      EndPipelining(dir, atLoginDir);  // and the group again, one by one
    }
    FtpReply r;
    r.code = Open("commands").Send("commands", commands[from].command, commands[from].arg, r.text);
    replies.push_back(std::move(r));
    ++from;
  }
  return replies;
}

void FtpClient::EndPipelining(const std::string& dir, bool atLoginDir) {
  notes_.Change(account_.host + ":" + std::to_string(account_.port),
                [](FtpServerNote& note) { note.pipelineBytes = 0; });
  Connect();
  if (!dir.empty())
    ChangeDir(dir);
  else if (!atLoginDir)
    throw FtpError(FtpError::Kind::Connection,
                   "commands: the connection was opened again, and the directory it was in is not known");
}

void FtpClient::Transfer(const char* what, const std::string& command, const std::string& arg,
                         const std::function<void(Poco::Net::StreamSocket&)>& move) {
  FtpConnection& connection = Open(what);
  // PORT with its dotted address and port, and the command: well within any group the probe allowed.
  if (connection.PipelineBytes() >= 64 + command.size() + arg.size()) {
    const std::string dir = connection.Dir();
    const bool atLoginDir = connection.AtLoginDir();
    if (connection.TransferAtOnce(what, command, arg, move)) return;
    EndPipelining(dir, atLoginDir);
  }
  Open(what).Transfer(what, command, arg, move);
}

std::string FtpClient::ReadData(const char* what, const std::string& command, const std::string& arg) {
  FtpConnection& connection = Open(what);
  if (connection.PipelineBytes() >= 64 + command.size() + arg.size()) {
    const std::string dir = connection.Dir();
    const bool atLoginDir = connection.AtLoginDir();
    std::string data;
    if (connection.ReadDataAtOnce(what, command, arg, data)) return data;
    EndPipelining(dir, atLoginDir);
  }
  return Open(what).ReadData(what, command, arg);
}

std::int64_t FtpClient::Store(const std::string& localPath, const std::string& remoteName) {
  const char* what = "store file";
  CheckSendable(remoteName, what);
  std::error_code ec;
  if (std::filesystem::is_directory(platform::PathFromUtf8(localPath), ec))
    throw FtpError(FtpError::Kind::LocalFile, "store file: " + EscapeControls(localPath) + " is a folder");
  std::ifstream in(platform::PathFromUtf8(localPath), std::ios::binary);
  if (!in) throw FtpError(FtpError::Kind::LocalFile, "store file: cannot open " + EscapeControls(localPath));
  in.seekg(0, std::ios::end);
  const std::int64_t total = static_cast<std::int64_t>(in.tellg());
  in.seekg(0, std::ios::beg);
  const std::int64_t sent = Store(total, [&in](char* buffer, std::size_t max) {
    in.read(buffer, static_cast<std::streamsize>(max));
    return static_cast<std::size_t>(in.gcount());
  }, remoteName);
  // A read error ends the loop early; what was sent stays on the server.
  if (in.bad()) throw FtpError(FtpError::Kind::LocalFile, "store file: cannot read " + EscapeControls(localPath));
  return sent;
}

std::int64_t FtpClient::Store(std::int64_t totalBytes, const FtpReadFn& read, const std::string& remoteName) {
  const char* what = "store file";
  CheckSendable(remoteName, what);
  std::int64_t sent = 0;
  const Poco::Timespan idle(static_cast<Poco::Timespan::TimeDiff>(Open(what).Timeouts().replyMs) * 1000);
  Transfer(what, "STOR", remoteName, [&](Poco::Net::StreamSocket& socket) {
    if (onWorkBegin_) onWorkBegin_(FtpWorkMode::Write, totalBytes);
    std::vector<char> buffer(kChunkBytes);
    for (std::size_t n; (n = read(buffer.data(), buffer.size())) > 0;) {
      SendAll(socket, buffer.data(), static_cast<int>(n), idle);
      sent += static_cast<std::int64_t>(n);
      if (onWork_) onWork_(FtpWorkMode::Write, sent);
    }
  });
  return sent;
}

void FtpClient::Retrieve(const std::string& remoteName, const std::string& localPath, std::int64_t expectedBytes) {
  const char* what = "retrieve file";
  CheckSendable(remoteName, what);
  std::ofstream out(platform::PathFromUtf8(localPath), std::ios::binary | std::ios::trunc);
  if (!out) throw FtpError(FtpError::Kind::LocalFile, "retrieve file: cannot create " + EscapeControls(localPath));
  Transfer(what, "RETR", remoteName, [&](Poco::Net::StreamSocket& socket) {
    if (onWorkBegin_) onWorkBegin_(FtpWorkMode::Read, expectedBytes);
    std::int64_t received = 0;
    std::vector<char> buffer(kChunkBytes);
    int n;
    while ((n = socket.receiveBytes(buffer.data(), static_cast<int>(buffer.size()))) > 0) {
      if (!out.write(buffer.data(), n)) break;
      received += n;
      if (onWork_) onWork_(FtpWorkMode::Read, received);
    }
  });
  out.close();
  if (!out) throw FtpError(FtpError::Kind::LocalFile, "retrieve file: cannot write " + EscapeControls(localPath));
}

void FtpClient::Retrieve(const std::string& remoteName, const std::function<bool(const char*, std::size_t)>& sink) {
  const char* what = "retrieve file";
  CheckSendable(remoteName, what);
  try {
    Transfer(what, "RETR", remoteName, [&](Poco::Net::StreamSocket& socket) {
      std::vector<char> buffer(kChunkBytes);
      int n;
      while ((n = socket.receiveBytes(buffer.data(), static_cast<int>(buffer.size()))) > 0)
        if (!sink(buffer.data(), static_cast<std::size_t>(n))) throw EnoughBytes{};
    });
  } catch (const EnoughBytes&) {
  }
}

void FtpClient::SetWorkHandlers(FtpWorkBeginHandler onWorkBegin, FtpWorkHandler onWork) {
  onWorkBegin_ = std::move(onWorkBegin);
  onWork_ = std::move(onWork);
}

}  // namespace kestrel
