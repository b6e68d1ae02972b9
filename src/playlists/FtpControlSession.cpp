#include "playlists/FtpControlSession.h"

#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocketImpl.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace kestrel {

namespace {

// A control socket whose end of stream is an exception rather than a quiet zero.
class ControlSocketImpl : public Poco::Net::StreamSocketImpl {
 public:
  using Poco::Net::StreamSocketImpl::receiveBytes;
  int receiveBytes(void* buffer, int length, int flags) override {
    const int n = Poco::Net::StreamSocketImpl::receiveBytes(buffer, length, flags);
    if (n == 0 && length > 0 && (flags & MSG_PEEK) == 0)
      throw Poco::Net::ConnectionResetException("the server closed the connection");
    return n;
  }
};

}  // namespace

FtpControlSession::FtpControlSession(const std::string& host, std::uint16_t port,
                                     const Poco::Timespan& connectTimeout,
                                     const Poco::Timespan& replyTimeout)
    : replyTimeout_(replyTimeout) {
  setPassive(false, false);  // active mode, announced with PORT
  Poco::Net::StreamSocket socket(new ControlSocketImpl);
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

int FtpControlSession::ReadGreeting(std::string& reply) {
  receiveServerReadyReply();  // throws FTPException unless 2xx
  reply = welcomeMessage();
  return 220;
}

int FtpControlSession::Command(const std::string& command, const std::string& arg,
                               std::string& reply) {
  return arg.empty() ? sendCommand(command, reply) : sendCommand(command, arg, reply);
}

void FtpControlSession::SendOnly(const std::string& command) {
  _pControlSocket->sendMessage(command);
}

int FtpControlSession::ReadReply(std::string& reply) {
  return _pControlSocket->receiveStatusMessage(reply);
}

Poco::Net::StreamSocket FtpControlSession::OpenDataConnection(const std::string& command,
                                                              const std::string& arg) {
  Poco::Net::StreamSocket data = establishDataConnection(command, arg);
  data.setSendTimeout(replyTimeout_);
  return data;
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
