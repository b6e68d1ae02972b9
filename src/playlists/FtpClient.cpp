#include "playlists/FtpClient.h"

#include <Poco/Exception.h>
#include <Poco/Net/Net.h>
#include <Poco/Net/NetException.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/FirewallHint.h"
#include "platform/LocaleTime.h"
#include "platform/Utf8Path.h"
#include "playlists/FtpControlSession.h"
#include "playlists/FtpServerSettings.h"

namespace kestrel {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

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

Poco::Timespan Millis(int ms) { return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(ms) * 1000); }

std::string Seconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

// The server's reply inside a Poco FTP exception, whose message is "what: reply".
std::string ReplyOf(const Poco::Exception& e) {
  const std::string& text = e.message();
  const std::size_t at = text.find(": " + std::to_string(e.code()));
  return at == std::string::npos ? text : text.substr(at + 2);
}

bool Among(int code, std::initializer_list<int> accepted) {
  for (int c : accepted)
    if (c == code) return true;
  return false;
}

}  // namespace

// Poco's network start-up (the socket library on Windows; nothing on Linux) is reference
// counted: each client holds it for its lifetime.
FtpClient::FtpClient(AppContext& context) : context_(context) { Poco::Net::initializeNetwork(); }

FtpClient::~FtpClient() {
  Disconnect();
  Poco::Net::uninitializeNetwork();
}

bool FtpClient::IsSendableName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void FtpClient::CheckName(const std::string& name, const char* what) const {
  if (!IsSendableName(name))
    throw FtpError(FtpError::Kind::BadName,
                   std::string(what) + ": the name holds a line break and cannot be sent to the "
                   "FTP server");
}

// --- connection

bool FtpClient::Connected() {
  if (!session_) return false;
  if (session_->ClosedByServer()) {
    Disconnect();
    return false;
  }
  return true;
}

void FtpClient::Disconnect() {
  session_.reset();
  features_ = {};
  listingWay_ = FtpListingWay::Undecided;
  currentDir_.clear();
}

void FtpClient::Quit() {
  if (!session_) return;
  try {
    session_->SendOnly("QUIT");
  } catch (...) {
  }
  Disconnect();
}

FtpControlSession& FtpClient::Session(const char* what) {
  if (!session_) throw FtpError(FtpError::Kind::Connection, std::string(what) + ": not connected");
  return *session_;
}

void FtpClient::FailConnection(const char* what, const std::string& detail) {
  Disconnect();
  throw FtpError(FtpError::Kind::Connection, std::string(what) + ": " + detail);
}

void FtpClient::FailFinally(const char* what, const std::string& detail) {
  Disconnect();
  throw FtpError::Final(FtpError::Kind::Connection, std::string(what) + ": " + detail);
}

std::string FtpClient::NoAnswerText() const {
  return "no answer within " + Seconds(timeouts_.replyMs);
}

int FtpClient::Guarded(const char* what, const std::function<int(FtpControlSession&)>& exchange) {
  FtpControlSession& session = Session(what);
  int code = 0;
  try {
    code = exchange(session);
  } catch (const Poco::TimeoutException&) {
    FailFinally(what, NoAnswerText());
  } catch (const FtpReplyTooLarge&) {
    FailFinally(what, TooLargeText("reply"));
  } catch (const Poco::Exception& e) {
    FailConnection(what, e.displayText());
  }
  return code;
}

void FtpClient::NoteReplyTime(double seconds) {
  if (fastestReplySeconds_ == 0 || seconds < fastestReplySeconds_) fastestReplySeconds_ = seconds;
}

int FtpClient::Send(const char* what, const std::string& command, const std::string& arg,
                    std::string& reply) {
  const auto start = std::chrono::steady_clock::now();
  const int code = Guarded(what, [&](FtpControlSession& session) { return session.Command(command, arg, reply); });
  if (code < 100) FailConnection(what, "the server's reply cannot be read: " + reply);
  NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  NoteAnswered(command, code);
  return code;
}

void FtpClient::Expect(const char* what, const std::string& command, const std::string& arg,
                       std::initializer_list<int> accepted) {
  std::string reply;
  const int code = Send(what, command, arg, reply);
  if (!Among(code, accepted)) throw FtpError(FtpError::Kind::Reply, what, code, reply);
}

void FtpClient::Login() {
  greeting_.clear();
  loginReply_.clear();
  systemType_.clear();
  systCode_ = 0;
  systReply_.clear();
  if (host_.empty()) throw FtpError(FtpError::Kind::Settings, "no FTP server address is set");
  CheckName(userName_, "user name");
  CheckName(password_, "password");
  const std::string where = host_ + ":" + std::to_string(port_);
  try {
    session_ = std::make_unique<FtpControlSession>(host_, port_, Millis(timeouts_.connectMs),
                                                   Millis(timeouts_.replyMs));
  } catch (const Poco::TimeoutException&) {
    FailFinally("connect", "no answer from " + where + " within " + Seconds(timeouts_.connectMs));
  } catch (const Poco::Exception& e) {
    FailConnection("connect", where + ": " + e.displayText());
  }
  try {
    session_->ReadGreeting(greeting_);
  } catch (const Poco::Net::FTPException& e) {
    throw FtpError(FtpError::Kind::Reply, "greeting refused", e.code(), ReplyOf(e));
  } catch (const Poco::TimeoutException&) {
    FailFinally("greeting", NoAnswerText() + " (no complete greeting from " + where + ")");
  } catch (const FtpReplyTooLarge&) {
    FailFinally("greeting", TooLargeText("greeting"));
  } catch (const Poco::Exception& e) {
    FailConnection("greeting", e.displayText());
  }
  std::string reply;
  int code = Send("login", "USER", userName_, reply);
  if (code / 100 == 3) code = Send("login", "PASS", password_, reply);
  if (code / 100 != 2) throw FtpError(FtpError::Kind::Reply, "login refused", code, reply);
  loginReply_ = reply;
  Expect("binary mode", "TYPE", "I", {200});
  // Only informative: a server without SYST is still usable.
  systCode_ = Send("system type", "SYST", "", systReply_);
  if (systCode_ / 100 == 2 && systReply_.size() > 4) systemType_ = systReply_.substr(4);
  serverKey_ = where;
}

void FtpClient::Connect() {
  Disconnect();
  lastConnectError_.clear();
  try {
    const std::string before = serverKey_;
    Login();
    if (serverKey_ != before) answered_.clear();
    FtpServerNotes& notes = context_.RunState<FtpServerNotes>();
    FtpServerNote note = notes.Get(serverKey_);
    if (!note.probed) {
      ProbeExtras(note);
      notes.Change(serverKey_, [&note](FtpServerNote& kept) {
        kept.probed = true;
        kept.features = note.features;
        kept.pipelineBytes = note.pipelineBytes;
      });
      note = notes.Get(serverKey_);
    }
    features_ = note.features;
    pipelineBytes_ = note.pipelineBytes;
    timesNotKept_ = note.timesNotKept;
    if (!note.statListing) listingWay_ = FtpListingWay::DataConnection;
    atLoginDir_ = true;
  } catch (const FtpError& e) {
    lastConnectError_ = e.what();
    Disconnect();
    throw;
  }
}

void FtpClient::NoteTimesNotKept(const std::string& why) {
  timesNotKept_ = why;
  context_.RunState<FtpServerNotes>().Change(serverKey_, [&why](FtpServerNote& note) { note.timesNotKept = why; });
}

std::string FtpClient::NoDataConnectionText(int replyMs) {
  std::string text = "no data connection from the player within " + Seconds(replyMs);
  const std::string hint = platform::DataConnectionHint();
  if (!hint.empty()) text += ". " + hint;
  return text;
}

bool FtpClient::EnsureConnected() {
  if (Connected()) return true;
  const FtpServerSettings settings = ReadFtpServerSettings(context_.SettingsFile(kFtpServerIniName));
  try {
    std::uint16_t port = 0;
    if (!ParseFtpPort(settings.port, port))
      throw FtpError(FtpError::Kind::Settings,
                     "the port \"" + EscapeControls(settings.port) + "\" in " + kFtpServerIniName +
                         " is not a port number");
    SetHost(settings.ip);
    SetPort(port);
    SetUserName(settings.userName);
    SetPassword(settings.password);
    Connect();
    return true;
  } catch (const FtpError& e) {
    lastConnectError_ = e.what();
    context_.CurrentPrompts().Show(PromptKind::ErrorYes,
                                   std::string(kConnectFailText) + "\r\n\r\n" + lastConnectError_);
    context_.RequestTermination();
    return false;
  }
}

// --- operations

void FtpClient::ChangeDir(const std::string& path) {
  CheckName(path, "change directory");
  currentDir_.clear();
  Expect("change directory", "CWD", path, {200, 250});
  atLoginDir_ = false;
  if (!path.empty() && path[0] == '/') currentDir_ = path;
}

void FtpClient::EnterDir(const std::string& path) {
  if (currentDir_ != path) ChangeDir(path);
}

void FtpClient::MakeDir(const std::string& name) {
  CheckName(name, "make directory");
  Expect("make directory", "MKD", name, {257});
}

void FtpClient::RemoveDir(const std::string& name) {
  CheckName(name, "remove directory");
  Expect("remove directory", "RMD", name, {250});
}

void FtpClient::Delete(const std::string& name) {
  CheckName(name, "delete");
  Expect("delete", "DELE", name, {250});
}

void FtpClient::Rename(const std::string& from, const std::string& to, bool* fromAccepted) {
  CheckName(from, "rename");
  CheckName(to, "rename");
  if (fromAccepted != nullptr) *fromAccepted = false;
  Expect("rename", "RNFR", from, {350});
  if (fromAccepted != nullptr) *fromAccepted = true;
  Expect("rename", "RNTO", to, {250});
}

std::int64_t FtpClient::Size(const std::string& name, int* replyCode) {
  CheckName(name, "size");
  std::string reply;
  const int code = Send("size", "SIZE", name, reply);
  if (replyCode != nullptr) *replyCode = code;
  if (code != 213) return -1;
  std::int64_t size = 0;
  std::size_t i = 4, digits = 0;
  for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9' && digits < 18; ++i, ++digits)
    size = size * 10 + (reply[i] - '0');
  return digits > 0 ? size : -1;
}

std::string FtpClient::ModificationTime(const std::string& name) {
  CheckName(name, "modification time");
  std::string reply;
  if (Send("modification time", "MDTM", name, reply) != 213 || reply.size() < 5) return {};
  return reply.substr(4);
}

int FtpClient::SetModificationTime(const std::string& name, long long utcSeconds, std::string& reply) {
  CheckName(name, "set modification time");
  return Send("set modification time", "MFMT", UtcStamp(utcSeconds) + " " + name, reply);
}

std::vector<FtpListEntry> FtpClient::List() { return ParseListing("list directory", ListRaw()); }

std::vector<FtpListEntry> FtpClient::ParseListing(const char* what, std::string_view raw) {
  std::string unreadable;
  std::vector<FtpListEntry> entries = ParseFtpListing(raw, platform::LocalNow(), &unreadable);
  if (entries.empty() && !unreadable.empty())
    throw FtpError::Final(FtpError::Kind::Reply,
                          std::string(what) + ": the server's listing format is not understood: \"" +
                              EscapeControls(unreadable) + "\"");
  return entries;
}

namespace {

bool SameEntries(const std::vector<FtpListEntry>& a, const std::vector<FtpListEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const FtpListEntry& x, const FtpListEntry& y) {
                      return x.name == y.name && x.kind == y.kind;
                    });
}

bool HasWildcard(const std::string& path) {
  return path.find_first_of("*?[]{}~") != std::string::npos;
}

}  // namespace

int FtpClient::Stat(const std::string& path, std::string& reply, std::string& body) {
  const char* what = "list directory";
  FtpControlSession& session = Session(what);
  int code = 0;
  try {
    code = session.CommandWithBody("STAT", path, reply, body);
  } catch (const Poco::TimeoutException&) {
    FailFinally(what, NoAnswerText());
  } catch (const FtpReplyTooLarge&) {
    Disconnect();  // the rest of the reply is still coming
    throw FtpError::Final(FtpError::Kind::Reply, std::string(what) + ": " + TooLargeText("listing"));
  } catch (const Poco::ProtocolException&) {
    return -1;  // more than the reply: a name in the listing that reads as its end
  } catch (const Poco::Net::FTPException&) {
    return -1;  // a first line without a code
  } catch (const Poco::Exception& e) {
    FailConnection(what, e.displayText());
  }
  return code;
}

std::vector<FtpListEntry> FtpClient::ListByCwd(const std::string& path) {
  if (currentDir_ != path) ChangeDir(path);
  return List();
}

std::vector<FtpListEntry> FtpClient::ListDir(const std::string& path) {
  CheckName(path, "list directory");
  if (listingWay_ == FtpListingWay::DataConnection || HasWildcard(path)) return ListByCwd(path);
  std::string reply, body;
  const int code = Stat(path, reply, body);
  if (code < 0) return ListAfterUnreadableStat(path);
  const bool listing = code >= 211 && code <= 213;
  if (listingWay_ == FtpListingWay::Stat) {
    if (!listing) throw FtpError(FtpError::Kind::Reply, "list directory", code, reply);
    return ParseListing("list directory", body);
  }
  std::vector<FtpListEntry> listed = ListByCwd(path);
  std::string unreadable;
  const std::vector<FtpListEntry> stated =
      listing ? ParseFtpListing(body, platform::LocalNow(), &unreadable)
              : std::vector<FtpListEntry>{};
  if (!listing)
    listingWay_ = FtpListingWay::DataConnection;
  else if (!listed.empty())
    listingWay_ = SameEntries(stated, listed) ? FtpListingWay::Stat : FtpListingWay::DataConnection;
  return listed;
}

std::vector<FtpListEntry> FtpClient::ListAfterUnreadableStat(const std::string& path) {
  // What the server sends next is not known: the connection goes, and this server's listings
  // come over data connections from now on.
  context_.RunState<FtpServerNotes>().Change(serverKey_, [](FtpServerNote& note) { note.statListing = false; });
  Connect();
  return ListByCwd(path);
}

std::string FtpClient::TooLargeText(const char* what) {
  return "the server's " + std::string(what) + " is larger than " +
         std::to_string(FtpControlSession::kMaxReplyBytes >> 20) + " MB";
}

void FtpClient::Transfer(const char* what, const std::string& command, const std::string& arg,
                         const std::function<void(Poco::Net::StreamSocket&)>& move) {
  FtpControlSession& session = Session(what);
  std::string reply;
  int code = 0;
  try {
    Poco::Net::StreamSocket socket = session.OpenDataConnection(command, arg);
    try {
      move(socket);
    } catch (const Poco::Exception&) {
      throw;
    } catch (...) {
      // The caller (a progress handler) ended the transfer; the server keeps what it got. The
      // connection is reset rather than closed, so that what still waits in the send buffer is
      // dropped and the server answers at once.
      socket.setLinger(true, 0);
      socket.close();
      session.ReadReply(reply);
      throw;
    }
    socket.close();
    code = session.ReadReply(reply);
  } catch (const Poco::Net::FTPException& e) {
    // PORT or the command refused (the connection is fine), or the server never connected back.
    if (e.code() == 0) FailFinally(what, NoDataConnectionText(timeouts_.replyMs));
    throw FtpError(FtpError::Kind::Reply, what, e.code(), ReplyOf(e));
  } catch (const Poco::TimeoutException&) {
    FailFinally(what, NoAnswerText() + " (the transfer stopped)");
  } catch (const FtpReplyTooLarge&) {
    FailFinally(what, TooLargeText("reply"));
  } catch (const Poco::Exception& e) {
    FailConnection(what, e.displayText());
  }
  if (code / 100 != 2) throw FtpError(FtpError::Kind::Reply, what, code, reply);
}

std::string FtpClient::ListRaw() { return ReadData("list directory", "LIST", ""); }

std::string FtpClient::ReadData(const char* what, const std::string& command, const std::string& arg) {
  std::string data;
  Transfer(what, command, arg, [&](Poco::Net::StreamSocket& socket) {
    std::vector<char> buffer(kChunkBytes);
    int n;
    while ((n = socket.receiveBytes(buffer.data(), static_cast<int>(buffer.size()))) > 0) {
      if (data.size() + static_cast<std::size_t>(n) > FtpControlSession::kMaxReplyBytes)
        throw FtpError::Final(FtpError::Kind::Reply,
                              std::string(what) + ": " + TooLargeText("listing"));
      data.append(buffer.data(), static_cast<std::size_t>(n));
    }
  });
  return data;
}

std::int64_t FtpClient::Store(const std::string& localPath, const std::string& remoteName) {
  const char* what = "store file";
  CheckName(remoteName, what);
  std::error_code ec;
  if (std::filesystem::is_directory(platform::PathFromUtf8(localPath), ec))
    throw FtpError(FtpError::Kind::LocalFile, "store file: " + EscapeControls(localPath) + " is a folder");
  std::ifstream in(platform::PathFromUtf8(localPath), std::ios::binary);
  if (!in) throw FtpError(FtpError::Kind::LocalFile, "store file: cannot open " + EscapeControls(localPath));
  in.seekg(0, std::ios::end);
  const std::int64_t total = static_cast<std::int64_t>(in.tellg());
  in.seekg(0, std::ios::beg);

  std::int64_t sent = 0;
  Transfer(what, "STOR", remoteName, [&](Poco::Net::StreamSocket& socket) {
    if (onWorkBegin_) onWorkBegin_(FtpWorkMode::Write, total);
    std::vector<char> buffer(kChunkBytes);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
           in.gcount() > 0) {
      const int n = static_cast<int>(in.gcount());
      SendAll(socket, buffer.data(), n, Millis(timeouts_.replyMs));
      sent += n;
      if (onWork_) onWork_(FtpWorkMode::Write, sent);
    }
  });
  // A read error ends the loop early; what was sent stays on the server.
  if (in.bad()) throw FtpError(FtpError::Kind::LocalFile, "store file: cannot read " + EscapeControls(localPath));
  return sent;
}

void FtpClient::Retrieve(const std::string& remoteName, const std::string& localPath,
                         std::int64_t expectedBytes) {
  const char* what = "retrieve file";
  CheckName(remoteName, what);
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

void FtpClient::SetWorkHandlers(WorkBeginHandler onWorkBegin, WorkHandler onWork) {
  onWorkBegin_ = std::move(onWorkBegin);
  onWork_ = std::move(onWork);
}

}  // namespace kestrel
