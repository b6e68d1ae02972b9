#include "playlists/FtpControlSession.h"

#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketDefs.h>  // MSG_PEEK, from the system's socket header on every platform
#include <Poco/Net/StreamSocketImpl.h>
#include <Poco/Timestamp.h>

#include <algorithm>

namespace kestrel {

POCO_IMPLEMENT_EXCEPTION(FtpReplyTooLarge, Poco::IOException, "Reply too large")

namespace {

// A control socket whose end of stream is an exception rather than a quiet zero, and whose
// reads can be held to a deadline and a byte budget for a whole reply.
class ControlSocketImpl : public Poco::Net::StreamSocketImpl {
 public:
  using Poco::Net::StreamSocketImpl::receiveBytes;

  void Arm(const Poco::Timespan& within, std::size_t maxBytes) {
    deadline_ = Poco::Timestamp() + within;
    budget_ = maxBytes;
    armed_ = true;
  }
  void Disarm() { armed_ = false; }

  int receiveBytes(void* buffer, int length, int flags) override {
    const bool peek = (flags & MSG_PEEK) != 0;
    if (armed_ && !peek) {
      const Poco::Timespan left = deadline_ - Poco::Timestamp();
      if (left <= 0 || !poll(left, SELECT_READ | SELECT_ERROR))
        throw Poco::TimeoutException("no complete reply in time");
    }
    const int n = Poco::Net::StreamSocketImpl::receiveBytes(buffer, length, flags);
    if (n == 0 && length > 0 && !peek)
      throw Poco::Net::ConnectionResetException("the server closed the connection");
    if (armed_ && !peek && n > 0) {
      if (static_cast<std::size_t>(n) > budget_) throw FtpReplyTooLarge("the reply is too large");
      budget_ -= static_cast<std::size_t>(n);
    }
    return n;
  }

 private:
  bool armed_ = false;
  Poco::Timestamp deadline_;
  std::size_t budget_ = 0;
};

}  // namespace

FtpControlSession::FtpControlSession(const std::string& host, std::uint16_t port,
                                     const Poco::Timespan& connectTimeout,
                                     const Poco::Timespan& replyTimeout)
    : replyTimeout_(replyTimeout) {
  setPassive(false, false);  // active mode, announced with PORT
  auto* impl = new ControlSocketImpl;
  impl_ = impl;
  Poco::Net::StreamSocket socket(impl);
  socket.connect(Poco::Net::SocketAddress(host, port), connectTimeout);
  socket.setNoDelay(true);
  _pControlSocket = new Poco::Net::DialogSocket(socket);
  setTimeout(replyTimeout);
  _pControlSocket->setSendTimeout(replyTimeout);
}

FtpControlSession::~FtpControlSession() {
  if (_pControlSocket != nullptr) {
    try {
      _pControlSocket->close();
    } catch (...) {
    }
    delete _pControlSocket;
    _pControlSocket = nullptr;
  }
  // The base destructor now finds no connection and sends nothing.
}

FtpControlSession::ReplyWindow::ReplyWindow(FtpControlSession& session, std::size_t maxBytes)
    : impl_(session.impl_) {
  static_cast<ControlSocketImpl*>(impl_)->Arm(session.replyTimeout_, maxBytes);
}

FtpControlSession::ReplyWindow::ReplyWindow(FtpControlSession& session, const Poco::Timespan& within)
    : impl_(session.impl_) {
  static_cast<ControlSocketImpl*>(impl_)->Arm(within, kMaxReplyBytes);
}

FtpControlSession::ReplyWindow::~ReplyWindow() { static_cast<ControlSocketImpl*>(impl_)->Disarm(); }

int FtpControlSession::ReadGreeting(std::string& reply) {
  const ReplyWindow window(*this);
  receiveServerReadyReply();  // throws FTPException unless 2xx
  reply = welcomeMessage();
  return 220;
}

int FtpControlSession::Command(const std::string& command, const std::string& arg,
                               std::string& reply) {
  const ReplyWindow window(*this);
  return arg.empty() ? sendCommand(command, reply) : sendCommand(command, arg, reply);
}

void FtpControlSession::SendOnly(const std::string& command) {
  _pControlSocket->sendMessage(command);
}

int FtpControlSession::ReadReply(std::string& reply) {
  const ReplyWindow window(*this);
  return _pControlSocket->receiveStatusMessage(reply);
}

int FtpControlSession::ReadReply(std::string& reply, const Poco::Timespan& within) {
  const ReplyWindow window(*this, within);
  return _pControlSocket->receiveStatusMessage(reply);
}

void FtpControlSession::SendLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  _pControlSocket->sendString(text);
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a reply line that begins with three digits, or 0.
int CodeOf(const std::string& text, std::size_t at) {
  if (at + 3 > text.size() || !IsDigit(text[at]) || !IsDigit(text[at + 1]) ||
      !IsDigit(text[at + 2]))
    return 0;
  return (text[at] - '0') * 100 + (text[at + 1] - '0') * 10 + (text[at + 2] - '0');
}

// The lines of `raw` from `begin` to `end` (the lines between a multi-line reply's first and
// closing line), each with its line end `eol` and one leading blank taken off.
std::string BodyLines(const std::string& raw, std::size_t begin, std::size_t end, const std::string& eol) {
  std::string body;
  for (std::size_t pos = begin; pos < end;) {
    std::size_t lineEnd = raw.find(eol, pos);
    if (lineEnd == std::string::npos || lineEnd > end) lineEnd = end;
    if (raw[pos] == ' ') ++pos;
    body.append(raw, pos, lineEnd + eol.size() - pos);
    pos = lineEnd + eol.size();
  }
  return body;
}

}  // namespace

int FtpControlSession::CommandWithBody(const std::string& command, const std::string& arg,
                                       std::string& reply, std::string& body) {
  const ReplyWindow window(*this);
  return ReadWithBody(command, arg, reply, body);
}

int FtpControlSession::CommandWithBody(const std::string& command, const std::string& arg,
                                       std::string& reply, std::string& body,
                                       const Poco::Timespan& within) {
  const ReplyWindow window(*this, within);
  return ReadWithBody(command, arg, reply, body);
}

// Finds the end of the reply at the start of the bytes read so far, a piece at a time: the
// closing line of a multi-line reply is searched for only in what came since the last look.
class FtpControlSession::ReplySplitter {
 public:
  // True once `raw` holds the whole reply; then `lastBegin` is where its closing line begins (0
  // for a one-line reply) and `end` is one past it. Throws Poco::Net::FTPException when the
  // first line has no code.
  bool Complete(const std::string& raw, std::size_t& lastBegin, std::size_t& end) {
    if (eol_.empty()) {
      const std::size_t lf = raw.find('\n');
      if (lf == std::string::npos) return false;
      eol_ = lf > 0 && raw[lf - 1] == '\r' ? "\r\n" : "\n";
      firstEnd_ = lf + 1;
      code_ = CodeOf(raw, 0);
      if (code_ == 0) throw Poco::Net::FTPException("unreadable reply", raw.substr(0, lf), 0);
      if (raw.size() < 4 || raw[3] != '-') {
        lastBegin = 0;
        end = firstEnd_;
        return true;
      }
      scanned_ = firstEnd_;
    }
    // The closing line: the code and a blank at the start of a line, up to the next line end.
    const std::string closing = eol_ + raw.substr(0, 3) + " ";
    const std::size_t at = raw.find(closing, scanned_ - eol_.size());
    if (at == std::string::npos) {
      // A closing line not found yet can only begin in the last few bytes.
      if (raw.size() > closing.size()) scanned_ = std::max(scanned_, raw.size() - closing.size() + eol_.size());
      return false;
    }
    const std::size_t lineEnd = raw.find(eol_, at + closing.size());
    if (lineEnd == std::string::npos) {
      scanned_ = at + eol_.size();
      return false;
    }
    lastBegin = at + eol_.size();
    end = lineEnd + eol_.size();
    return true;
  }

  int Code() const { return code_; }
  const std::string& Eol() const { return eol_; }
  std::size_t FirstEnd() const { return firstEnd_; }

 private:
  std::string eol_;             // the first line's end: CR LF, or LF alone
  std::size_t firstEnd_ = 0;    // one past the first line
  std::size_t scanned_ = 0;     // where the search for the closing line goes on
  int code_ = 0;
};

int FtpControlSession::ReadWithBody(const std::string& command, const std::string& arg,
                                    std::string& reply, std::string& body) {
  _pControlSocket->sendMessage(command, arg);
  const int code = NextWithBody(reply, body);
  // The rest of a reply whose end was faked by a line inside it may come in a later packet.
  if (MoreThanReplies()) {
    ahead_.clear();
    throw Poco::ProtocolException("the server sent more than its reply");
  }
  return code;
}

int FtpControlSession::ReadReplyWithBody(std::string& reply, std::string& body, const Poco::Timespan& within) {
  const ReplyWindow window(*this, within);
  return NextWithBody(reply, body);
}

int FtpControlSession::NextWithBody(std::string& reply, std::string& body) {
  std::string raw;
  raw.swap(ahead_);
  ReplySplitter splitter;
  std::size_t lastBegin = 0, end = 0;
  char buffer[16 * 1024];
  while (!splitter.Complete(raw, lastBegin, end)) {
    const int n = _pControlSocket->receiveRawBytes(buffer, sizeof buffer);
    if (n <= 0) throw Poco::Net::ConnectionResetException("the server closed the connection");
    raw.append(buffer, static_cast<std::size_t>(n));
  }
  ahead_ = raw.substr(end);
  const std::string& eol = splitter.Eol();
  reply = raw.substr(0, splitter.FirstEnd() - eol.size());
  body = lastBegin == 0 ? std::string() : BodyLines(raw, splitter.FirstEnd(), lastBegin, eol);
  return splitter.Code();
}

bool FtpControlSession::MoreThanReplies() {
  return !ahead_.empty() || _pControlSocket->poll(Poco::Timespan(0), Poco::Net::Socket::SELECT_READ);
}

Poco::Net::StreamSocket FtpControlSession::OpenDataConnection(const std::string& command,
                                                              const std::string& arg) {
  Poco::Net::StreamSocket data;
  {
    const ReplyWindow window(*this);  // PORT and the command's first reply
    data = establishDataConnection(command, arg);
  }
  data.setSendTimeout(replyTimeout_);
  data.setReceiveTimeout(replyTimeout_);
  return data;
}

namespace {

// The argument of PORT for `address`: h1,h2,h3,h4,p1,p2.
std::string PortArgument(const Poco::Net::SocketAddress& address) {
  std::string arg = address.host().toString();
  std::replace(arg.begin(), arg.end(), '.', ',');
  return arg + "," + std::to_string(address.port() / 256) + "," + std::to_string(address.port() % 256);
}

}  // namespace

bool FtpControlSession::OpenDataConnectionAtOnce(const std::string& command, const std::string& arg,
                                                 const Poco::Timespan& quick, Poco::Net::StreamSocket& data) {
  Poco::Net::ServerSocket listener(Poco::Net::SocketAddress(_pControlSocket->address().host(), 0));
  SendLines({"PORT " + PortArgument(listener.address()), arg.empty() ? command : command + " " + arg});
  std::string portReply, reply;
  int portCode = 0, code = 0;
  {
    const ReplyWindow window(*this);
    portCode = _pControlSocket->receiveStatusMessage(portReply);
  }
  try {
    const ReplyWindow window(*this, quick);
    code = _pControlSocket->receiveStatusMessage(reply);
  } catch (const Poco::TimeoutException&) {
    return false;
  }
  // A server that connects back before it answers PORT may answer the command first (150, then
  // 200 once the data connection stands): the same two replies, taken in either order.
  if (portCode / 100 == 1 && code == 200) std::swap(portCode, code);
  const bool portTaken = portCode / 100 == 2, portRefused = portCode / 100 == 4 || portCode / 100 == 5;
  const bool opened = code / 100 == 1, refused = code / 100 == 4 || code / 100 == 5;
  if (portRefused && refused) throw Poco::Net::FTPException("PORT command failed", portReply, portCode);
  if (!portTaken || !(opened || refused)) return false;
  if (refused) throw Poco::Net::FTPException(command + " command failed", reply, code);
  if (!listener.poll(replyTimeout_, Poco::Net::Socket::SELECT_READ))
    throw Poco::Net::FTPException("The server has not initiated a data connection");
  data = listener.acceptConnection();
  data.setSendTimeout(replyTimeout_);
  data.setReceiveTimeout(replyTimeout_);
  return true;
}

bool FtpControlSession::ClosedByServer() {
  if (_pControlSocket == nullptr) return true;
  try {
    if (!_pControlSocket->poll(Poco::Timespan(0), Poco::Net::Socket::SELECT_READ |
                                                      Poco::Net::Socket::SELECT_ERROR))
      return false;
    char byte;
    _pControlSocket->receiveBytes(&byte, 1, MSG_PEEK);
    return true;  // end of stream, or data nobody asked for
  } catch (const Poco::Exception&) {
    return true;
  }
}

}  // namespace kestrel
