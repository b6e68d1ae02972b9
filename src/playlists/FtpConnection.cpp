#include "playlists/FtpConnection.h"

#include <Poco/Exception.h>
#include <Poco/Net/NetException.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/FirewallHint.h"
#include "platform/Text.h"
#include "playlists/FtpControlSession.h"

namespace kestrel {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

Poco::Timespan Millis(int ms) { return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(ms) * 1000); }

std::string Seconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

// The server's reply inside a Poco FTP exception, whose message is "what: reply".
std::string ReplyOf(const Poco::Exception& e) {
  const std::string& text = e.message();
  const std::size_t at = text.find(": " + std::to_string(e.code()));
  return at == std::string::npos ? text : text.substr(at + 2);
}

bool Among(int code, std::initializer_list<int> accepted) {
  return std::find(accepted.begin(), accepted.end(), code) != accepted.end();
}

void CheckSendable(const std::string& name, const char* what) {
  if (!IsSendableName(name))
    throw FtpError(FtpError::Kind::BadName,
                   std::string(what) + ": the name holds a line break and cannot be sent to the FTP server");
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

FtpConnection::FtpConnection(const FtpAccount& account, const FtpTimeouts& timeouts, FtpServerNotes& notes)
    : timeouts_(timeouts), notes_(notes) {
  if (account.host.empty()) throw FtpError(FtpError::Kind::Settings, "no FTP server address is set");
  CheckSendable(account.userName, "user name");
  CheckSendable(account.password, "password");
  server_ = account.host + ":" + std::to_string(account.port);
  Open(account);
  if (notes_.Get(server_).Pipelining())
    LogInAtOnce(account);
  else
    LogIn(account);
  if (login_.syst.code / 100 == 2 && login_.syst.text.size() > 4) login_.systemType = login_.syst.text.substr(4);
  listing_ = FtpListingChoice(note_.statListing, note_.listingWay);
}

FtpConnection::~FtpConnection() = default;

void FtpConnection::LogIn(const FtpAccount& account) {
  std::string reply;
  int code = Send("login", "USER", account.userName, reply);
  if (code / 100 == 3) code = Send("login", "PASS", account.password, reply);
  if (code / 100 != 2) throw FtpError(FtpError::Kind::Reply, "login refused", code, reply);
  login_.loginReply = reply;
  notes_.LoggedIn(server_, login_.greeting + "\n" + login_.loginReply);
  note_ = notes_.Get(server_);
  if (!note_.Pipelining()) {
    Expect("binary mode", "TYPE", "I", {200});
    // Only informative: a server without SYST is still usable.
    login_.syst.code = Send("system type", "SYST", "", login_.syst.text);
    return;
  }
  // A server known to take commands at once (from the notes of an earlier run) gets the mode and
  // the system type in one go. Where that fails, the note no longer holds: it is dropped, and
  // the login made again one command at a time.
  int type = 0;
  try {
    type = Guarded("binary mode", [this, &reply](FtpControlSession& session) {
      session.SendLines({"TYPE I", "SYST"});
      const int code = session.ReadReply(reply);
      login_.syst.code = session.ReadReply(login_.syst.text, QuickReplyTime());
      return code;
    });
  } catch (const FtpError& e) {
    if (e.kind() != FtpError::Kind::Connection) throw;
    notes_.Forget(server_);
    Open(account);
    LogIn(account);
    return;
  }
  ModeAndSystemAnswered(type, reply);
}

void FtpConnection::LogInAtOnce(const FtpAccount& account) {
  // Another connection of this run logged in with the account and found that the server takes
  // commands at once: USER, PASS, TYPE I and SYST go in one round trip. (A server that wants no
  // password answers USER with 230, and PASS then with a word that does not matter.)
  std::string user, pass, type;
  int passCode = 0, typeCode = 0;
  const int userCode = Guarded("login", [&](FtpControlSession& session) {
    session.SendLines({"USER " + account.userName, "PASS " + account.password, "TYPE I", "SYST"});
    const int code = session.ReadReply(user);
    passCode = session.ReadReply(pass);
    typeCode = session.ReadReply(type, QuickReplyTime());
    login_.syst.code = session.ReadReply(login_.syst.text, QuickReplyTime());
    return code;
  });
  const bool withPassword = userCode / 100 == 3;
  const int code = withPassword ? passCode : userCode;
  login_.loginReply = withPassword ? pass : user;
  if (code / 100 != 2) throw FtpError(FtpError::Kind::Reply, "login refused", code, login_.loginReply);
  notes_.LoggedIn(server_, login_.greeting + "\n" + login_.loginReply);
  note_ = notes_.Get(server_);
  ModeAndSystemAnswered(typeCode, type);
}

void FtpConnection::ModeAndSystemAnswered(int typeCode, const std::string& typeReply) {
  NoteAnswered("TYPE", typeCode);
  if (typeCode != 200) throw FtpError(FtpError::Kind::Reply, "binary mode", typeCode, typeReply);
  NoteAnswered("SYST", login_.syst.code);
}

// The TCP connection and the greeting.
void FtpConnection::Open(const FtpAccount& account) {
  try {
    session_ = std::make_unique<FtpControlSession>(account.host, account.port, Millis(timeouts_.connectMs),
                                                   Millis(timeouts_.replyMs));
  } catch (const Poco::TimeoutException&) {
    Fail(true, "connect", "no answer from " + server_ + " within " + Seconds(timeouts_.connectMs));
  } catch (const Poco::Exception& e) {
    Fail(false, "connect", server_ + ": " + e.displayText());
  }
  try {
    session_->ReadGreeting(login_.greeting);
  } catch (const Poco::Net::FTPException& e) {
    throw FtpError(FtpError::Kind::Reply, "greeting refused", e.code(), ReplyOf(e));
  } catch (const Poco::TimeoutException&) {
    Fail(true, "greeting", NoAnswerText() + " (no complete greeting from " + server_ + ")");
  } catch (const FtpReplyTooLarge&) {
    Fail(true, "greeting", TooLargeText("greeting"));
  } catch (const Poco::Exception& e) {
    Fail(false, "greeting", e.displayText());
  }
}

std::size_t FtpConnection::PipelineBytes() const {
  if (note_.pipelineBytes == 0) return 0;
  return notes_.Get(server_).pipelineBytes;
}

void FtpConnection::NoteListingWay() {
  const FtpListingWay way = listing_.Way();
  if (way != FtpListingWay::Undecided && way != Note().listingWay)
    ChangeNote([way](FtpServerNote& note) { note.listingWay = way; });
}

Poco::Timespan FtpConnection::QuickReplyTime() const { return Millis(std::min(kQuickReplyMs, timeouts_.replyMs)); }

bool FtpConnection::Alive() {
  if (session_ && session_->ClosedByServer()) session_.reset();
  return session_ != nullptr;
}

void FtpConnection::Quit() {
  if (!session_) return;
  try {
    session_->SendOnly("QUIT");
  } catch (...) {
  }
  session_.reset();
}

void FtpConnection::ChangeNote(const std::function<void(FtpServerNote&)>& change) {
  notes_.Change(server_, change);
  note_ = notes_.Get(server_);
}

void FtpConnection::EnteredDir(const std::string& path) {
  atLoginDir_ = false;
  dir_ = !path.empty() && path[0] == '/' ? path : std::string();
}

FtpControlSession& FtpConnection::Session(const char* what) {
  if (!session_) throw FtpError(FtpError::Kind::Connection, std::string(what) + ": not connected");
  return *session_;
}

void FtpConnection::Fail(bool final, const char* what, const std::string& detail) {
  session_.reset();
  const std::string message = std::string(what) + ": " + detail;
  if (final) throw FtpError::Final(FtpError::Kind::Connection, message);
  throw FtpError(FtpError::Kind::Connection, message);
}

std::string FtpConnection::NoAnswerText() const { return "no answer within " + Seconds(timeouts_.replyMs); }

std::string FtpConnection::TooLargeText(const char* what) {
  return "the server's " + std::string(what) + " is larger than " +
         std::to_string(FtpControlSession::kMaxReplyBytes >> 20) + " MB";
}

std::string FtpConnection::NoDataConnectionText(int replyMs) {
  std::string text = "no data connection from the player within " + Seconds(replyMs);
  const std::string hint = platform::DataConnectionHint();
  if (!hint.empty()) text += ". " + hint;
  return text;
}

void FtpConnection::NoteReplyTime(double seconds) {
  if (fastestReplySeconds_ == 0 || seconds < fastestReplySeconds_) fastestReplySeconds_ = seconds;
}

void FtpConnection::NoteAnswered(const std::string& command, int code) {
  if (code / 100 != 2) return;
  const std::string verb = platform::UpperCase(command);
  const auto known = [&verb](const FtpServerNote& note) {
    return std::find(note.answered.begin(), note.answered.end(), verb) != note.answered.end();
  };
  if (known(note_)) return;
  ChangeNote([&](FtpServerNote& note) {
    if (!known(note)) note.answered.push_back(verb);
  });
}

int FtpConnection::Guarded(const char* what, const std::function<int(FtpControlSession&)>& exchange) {
  FtpControlSession& session = Session(what);
  int code = 0;
  try {
    code = exchange(session);
  } catch (const Poco::TimeoutException&) {
    Fail(true, what, NoAnswerText());
  } catch (const FtpReplyTooLarge&) {
    Fail(true, what, TooLargeText("reply"));
  } catch (const Poco::Exception& e) {
    Fail(false, what, e.displayText());
  }
  return code;
}

int FtpConnection::Send(const char* what, const std::string& command, const std::string& arg, std::string& reply) {
  const auto start = std::chrono::steady_clock::now();
  const int code = Guarded(what, [&](FtpControlSession& session) { return session.Command(command, arg, reply); });
  if (code < 100) Fail(false, what, "the server's reply cannot be read: " + reply);
  NoteReplyTime(SecondsSince(start));
  NoteAnswered(command, code);
  return code;
}

void FtpConnection::Expect(const char* what, const std::string& command, const std::string& arg,
                           std::initializer_list<int> accepted) {
  std::string reply;
  const int code = Send(what, command, arg, reply);
  if (!Among(code, accepted)) throw FtpError(FtpError::Kind::Reply, what, code, reply);
}

int FtpConnection::Stat(const std::string& path, std::string& reply, std::string& body) {
  const char* what = "list directory";
  FtpControlSession& session = Session(what);
  int code = 0;
  try {
    if (note_.Pipelining()) {
      session.SendLines({"STAT " + path, "SYST"});
      code = session.ReadReplyWithBody(reply, body, Millis(timeouts_.replyMs));
    } else {
      code = session.CommandWithBody("STAT", path, reply, body);
      if (note_.probed) session.SendLines({"SYST"});
    }
  } catch (const Poco::TimeoutException&) {
    Fail(true, what, NoAnswerText());
  } catch (const FtpReplyTooLarge&) {
    session_.reset();  // the rest of the reply is still coming
    throw FtpError::Final(FtpError::Kind::Reply, std::string(what) + ": " + TooLargeText("listing"));
  } catch (const Poco::ProtocolException&) {
    return -1;  // more than the reply: a name in the listing that reads as its end
  } catch (const Poco::Net::FTPException&) {
    return -1;  // a first line without a code
  } catch (const Poco::Exception& e) {
    Fail(false, what, e.displayText());
  }
  // The rest of a reply whose end a name faked may still come; it would then be taken for the
  // answer to SYST. (Before the extras have been tried, their probe, which follows at once,
  // finds such a reply out of its place.)
  if (!note_.probed) return code;
  return SystAsAtLogin(session) ? code : -1;
}

bool FtpConnection::SystAsAtLogin(FtpControlSession& session) {
  std::string reply, body;
  try {
    const int code = session.ReadReplyWithBody(reply, body, QuickReplyTime());
    return code == login_.syst.code && reply == login_.syst.text && body.empty() && !session.MoreThanReplies();
  } catch (const Poco::Exception&) {
    return false;
  }
}

void FtpConnection::Transfer(const char* what, const std::string& command, const std::string& arg,
                             const std::function<void(Poco::Net::StreamSocket&)>& move) {
  Exchange(what, command, arg, move, false);
}

bool FtpConnection::TransferAtOnce(const char* what, const std::string& command, const std::string& arg,
                                   const std::function<void(Poco::Net::StreamSocket&)>& move) {
  return Exchange(what, command, arg, move, true);
}

bool FtpConnection::Exchange(const char* what, const std::string& command, const std::string& arg,
                             const std::function<void(Poco::Net::StreamSocket&)>& move, bool atOnce) {
  FtpControlSession& session = Session(what);
  std::string reply;
  int code = 0;
  try {
    Poco::Net::StreamSocket socket;
    if (!atOnce) {
      socket = session.OpenDataConnection(command, arg);
    } else if (!session.OpenDataConnectionAtOnce(command, arg, QuickReplyTime(), socket)) {
      session_.reset();
      return false;
    }
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
      // The server's answer to the ended transfer, if it comes soon. Some servers never give
      // one; the connection is then of no further use. The caller hears of its own end either way.
      try {
        session.ReadReply(reply, QuickReplyTime());
      } catch (const Poco::Exception&) {
        session_.reset();
      }
      throw;
    }
    socket.close();
    code = session.ReadReply(reply);
  } catch (const Poco::Net::FTPException& e) {
    // PORT or the command refused (the connection is fine), or the server never connected back.
    if (e.code() == 0) Fail(true, what, NoDataConnectionText(timeouts_.replyMs));
    throw FtpError(FtpError::Kind::Reply, what, e.code(), ReplyOf(e));
  } catch (const Poco::TimeoutException&) {
    Fail(true, what, NoAnswerText() + " (the transfer stopped)");
  } catch (const FtpReplyTooLarge&) {
    Fail(true, what, TooLargeText("reply"));
  } catch (const Poco::Exception& e) {
    Fail(false, what, e.displayText());
  }
  if (code / 100 != 2) throw FtpError(FtpError::Kind::Reply, what, code, reply);
  return true;
}

void FtpConnection::Receive(const char* what, Poco::Net::StreamSocket& socket, std::string& data) {
  std::vector<char> buffer(kChunkBytes);
  int n;
  while ((n = socket.receiveBytes(buffer.data(), static_cast<int>(buffer.size()))) > 0) {
    if (data.size() + static_cast<std::size_t>(n) > FtpControlSession::kMaxReplyBytes)
      throw FtpError::Final(FtpError::Kind::Reply, std::string(what) + ": " + TooLargeText("listing"));
    data.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

std::string FtpConnection::ReadData(const char* what, const std::string& command, const std::string& arg) {
  std::string data;
  Transfer(what, command, arg, [&](Poco::Net::StreamSocket& socket) { Receive(what, socket, data); });
  return data;
}

bool FtpConnection::ReadDataAtOnce(const char* what, const std::string& command, const std::string& arg,
                                   std::string& data) {
  data.clear();
  return TransferAtOnce(what, command, arg, [&](Poco::Net::StreamSocket& socket) { Receive(what, socket, data); });
}

}  // namespace kestrel
