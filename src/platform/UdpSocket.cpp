#include "platform/UdpSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kestrel::platform {

namespace {

#ifdef _WIN32
std::string LastSocketError() { return "socket error " + std::to_string(WSAGetLastError()); }

void StartSocketLibrary() {
  static const bool started = [] {
    WSADATA wsa;
    return WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
  }();
  (void)started;
}

void CloseHandle(SocketHandle h) { closesocket(static_cast<SOCKET>(h)); }
#else
std::string LastSocketError() { return std::strerror(errno); }
void StartSocketLibrary() {}
void CloseHandle(SocketHandle h) { ::close(h); }
#endif

bool ToSockaddr(const std::string& ip, std::uint16_t port, sockaddr_in& out) {
  std::memset(&out, 0, sizeof out);
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  return inet_pton(AF_INET, ip.c_str(), &out.sin_addr) == 1;
}

}  // namespace

bool IsIPv4Text(const std::string& ip) {
  sockaddr_in sa;
  return ToSockaddr(ip, 0, sa);
}

SocketHandle UdpSocket::InvalidHandle() {
#ifdef _WIN32
  return static_cast<SocketHandle>(INVALID_SOCKET);
#else
  return -1;
#endif
}

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, InvalidHandle())),
      boundAddress_(std::move(other.boundAddress_)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, InvalidHandle());
    boundAddress_ = std::move(other.boundAddress_);
  }
  return *this;
}

bool UdpSocket::IsOpen() const { return handle_ != InvalidHandle(); }

void UdpSocket::Close() {
  if (IsOpen()) CloseHandle(handle_);
  handle_ = InvalidHandle();
  boundAddress_.clear();
}

bool UdpSocket::Bind(const std::string& ip, std::uint16_t port, std::string* error,
                     const std::string& device) {
  Close();
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what;
    Close();
    return false;
  };
  sockaddr_in addr;
  if (!ToSockaddr(ip, port, addr)) return fail("not an IPv4 address: " + ip);
  StartSocketLibrary();
#ifdef _WIN32
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return fail("socket: " + LastSocketError());
  handle_ = static_cast<SocketHandle>(s);
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return fail("non-blocking mode: " + LastSocketError());
  const BOOL yes = TRUE;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes) != 0)
    return fail("SO_REUSEADDR: " + LastSocketError());
  (void)device;
#else
  handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (handle_ < 0) return fail(std::string("socket: ") + LastSocketError());
  const int yes = 1;
  if (setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0)
    return fail(std::string("SO_REUSEADDR: ") + LastSocketError());
#ifdef SO_BINDTODEVICE
  if (!device.empty() &&
      setsockopt(handle_, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                 static_cast<socklen_t>(device.size())) != 0)
    return fail("SO_BINDTODEVICE " + device + ": " + LastSocketError());
#else
  if (!device.empty()) return fail("binding to a device is not supported here");
#endif
#endif
  if (::bind(handle_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
    return fail("bind " + ip + ":" + std::to_string(port) + ": " + LastSocketError());
  boundAddress_ = ip;
  return true;
}

bool UdpSocket::EnableBroadcast(std::string* error) {
#ifdef _WIN32
  const BOOL yes = TRUE;
  const char* value = reinterpret_cast<const char*>(&yes);
#else
  const int yes = 1;
  const void* value = &yes;
#endif
  if (IsOpen() && setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, value, sizeof yes) == 0) return true;
  if (error != nullptr) *error = "SO_BROADCAST: " + LastSocketError();
  return false;
}

bool UdpSocket::SendTo(const std::string& ip, std::uint16_t port, const std::uint8_t* data,
                       std::size_t size) const {
  sockaddr_in to;
  if (!IsOpen() || !ToSockaddr(ip, port, to)) return false;
#ifdef _WIN32
  const int sent = sendto(static_cast<SOCKET>(handle_), reinterpret_cast<const char*>(data),
                          static_cast<int>(size), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == static_cast<int>(size);
#else
  const ssize_t sent = ::sendto(handle_, data, size, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(size);
#endif
}

std::size_t UdpSocket::Receive(std::uint8_t* buffer, std::size_t capacity) const {
  if (!IsOpen()) return 0;
#ifdef _WIN32
  const int n = recv(static_cast<SOCKET>(handle_), reinterpret_cast<char*>(buffer),
                     static_cast<int>(capacity), 0);
  if (n == SOCKET_ERROR) return WSAGetLastError() == WSAEMSGSIZE ? capacity + 1 : 0;
  return n > 0 ? static_cast<std::size_t>(n) : 0;
#else
  // MSG_TRUNC makes the call report the datagram's real size even when it did not fit.
  const ssize_t n = ::recv(handle_, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
#endif
}

#ifdef _WIN32

// Without a pipe to wake it, the wait on Windows gives up after a few milliseconds at most,
// so that a stop request is seen as quickly.
SocketWaiter::SocketWaiter() = default;
SocketWaiter::~SocketWaiter() = default;
void SocketWaiter::Wake() {}

bool SocketWaiter::Wait(const std::vector<const UdpSocket*>& sockets, int timeoutMs) {
  std::vector<WSAPOLLFD> fds;
  for (const UdpSocket* s : sockets)
    if (s != nullptr && s->IsOpen()) fds.push_back({static_cast<SOCKET>(s->Handle()), POLLRDNORM, 0});
  const int ms = std::min(timeoutMs, 5);
  if (fds.empty()) {
    Sleep(static_cast<DWORD>(ms));
    return false;
  }
  return WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), ms) > 0;
}

InterfaceInfo FindInterface(const std::string&) { return {}; }

#else

SocketWaiter::SocketWaiter() {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
  }
}

SocketWaiter::~SocketWaiter() {
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void SocketWaiter::Wake() {
  if (wakeWrite_ < 0) return;
  const char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost when this write fails.
  [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
}

bool SocketWaiter::Wait(const std::vector<const UdpSocket*>& sockets, int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(sockets.size() + 1);
  for (const UdpSocket* s : sockets)
    if (s != nullptr && s->IsOpen()) fds.push_back({s->Handle(), POLLIN, 0});
  const std::size_t socketCount = fds.size();
  if (wakeRead_ >= 0) fds.push_back({wakeRead_, POLLIN, 0});
  const int n = ::poll(fds.data(), fds.size(), timeoutMs);
  if (n <= 0) return false;
  if (wakeRead_ >= 0 && (fds.back().revents & POLLIN) != 0) {
    char drain[64];
    while (::read(wakeRead_, drain, sizeof drain) > 0) {
    }
  }
  for (std::size_t i = 0; i < socketCount; ++i)
    if ((fds[i].revents & POLLIN) != 0) return true;
  return false;
}

InterfaceInfo FindInterface(const std::string& ip) {
  InterfaceInfo info;
  sockaddr_in wanted;
  if (!ToSockaddr(ip, 0, wanted)) return info;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return info;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (sin->sin_addr.s_addr != wanted.sin_addr.s_addr) continue;
    info.name = a->ifa_name;
    if ((a->ifa_flags & IFF_BROADCAST) != 0 && a->ifa_broadaddr != nullptr &&
        a->ifa_broadaddr->sa_family == AF_INET) {
      char text[INET_ADDRSTRLEN] = {};
      const auto* b = reinterpret_cast<const sockaddr_in*>(a->ifa_broadaddr);
      if (inet_ntop(AF_INET, &b->sin_addr, text, sizeof text) != nullptr) info.broadcast = text;
    }
    break;
  }
  freeifaddrs(list);
  return info;
}

#endif

}  // namespace kestrel::platform
