#include "platform/UdpSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include "platform/Utf8Path.h"
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

bool UdpSocket::Bind(const std::string& ip, std::uint16_t port, std::string* error, AddressUse use,
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
  // Windows lets anyone take a port bound with SO_REUSEADDR; exclusive use makes a second
  // program's bind fail instead of silently sharing the bus port.
  const BOOL yes = TRUE;
  if (use == AddressUse::Exclusive &&
      setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes) != 0)
    return fail("SO_EXCLUSIVEADDRUSE: " + LastSocketError());
  (void)device;
#else
  handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (handle_ < 0) return fail(std::string("socket: ") + LastSocketError());
  // Without SO_REUSEADDR the system refuses a second socket on the address, whoever asks.
  const int yes = 1;
  if (use == AddressUse::Shared && setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0)
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

std::uint16_t UdpSocket::LocalPort() const {
  sockaddr_in addr{};
  socklen_t size = sizeof addr;
  if (!IsOpen() || getsockname(handle_, reinterpret_cast<sockaddr*>(&addr), &size) != 0) return 0;
  return ntohs(addr.sin_port);
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

SocketWaiter::SocketWaiter()
    : wakeEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      socketEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

SocketWaiter::~SocketWaiter() {
  if (wakeEvent_ != nullptr) ::CloseHandle(wakeEvent_);
  if (socketEvent_ != nullptr) ::CloseHandle(socketEvent_);
}

void SocketWaiter::Wake() {
  if (wakeEvent_ != nullptr) SetEvent(wakeEvent_);
}

bool SocketWaiter::Wait(const std::vector<const UdpSocket*>& sockets, int timeoutMs) {
  if (socketEvent_ == nullptr) return false;
  // Tying a socket to the event again records a datagram that is already waiting, so none
  // that arrived since the last read is missed.
  ResetEvent(socketEvent_);
  for (const UdpSocket* s : sockets)
    if (s != nullptr && s->IsOpen()) WSAEventSelect(static_cast<SOCKET>(s->Handle()), socketEvent_, FD_READ);
  if (wakeEvent_ == nullptr) {
    const int ms = timeoutMs < 0 ? kUnwakeableWaitMs : std::min(timeoutMs, kUnwakeableWaitMs);
    return WaitForSingleObject(socketEvent_, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
  }
  const HANDLE events[2] = {wakeEvent_, socketEvent_};
  const DWORD r = WaitForMultipleObjects(2, events, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (r == WAIT_OBJECT_0 + 1) return true;
  // Woken, or timed out: report a datagram that came in at the same moment.
  return r == WAIT_OBJECT_0 && WaitForSingleObject(socketEvent_, 0) == WAIT_OBJECT_0;
}

InterfaceInfo FindInterface(const std::string& ip) {
  InterfaceInfo info;
  sockaddr_in wanted;
  if (!ToSockaddr(ip, 0, wanted)) return info;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG rc = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    rc = GetAdaptersAddresses(AF_INET, flags, nullptr,
                              reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (rc != NO_ERROR) return info;
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr; a = a->Next) {
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const sockaddr* sa = u->Address.lpSockaddr;
      if (sa == nullptr || sa->sa_family != AF_INET) continue;
      const auto* sin = reinterpret_cast<const sockaddr_in*>(sa);
      if (sin->sin_addr.s_addr != wanted.sin_addr.s_addr) continue;
      info.name = Utf8FromWide(a->FriendlyName != nullptr ? a->FriendlyName : L"");
      // Loopback and point-to-point links have no broadcast address, as on Linux.
      const unsigned prefix = u->OnLinkPrefixLength;
      if (a->IfType != IF_TYPE_SOFTWARE_LOOPBACK && a->IfType != IF_TYPE_PPP && prefix < 31) {
        in_addr b = sin->sin_addr;
        b.s_addr |= htonl(prefix == 0 ? 0xFFFFFFFFu : 0xFFFFFFFFu >> prefix);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &b, text, sizeof text) != nullptr) info.broadcast = text;
      }
      return info;
    }
  }
  return info;
}

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
  if (wakeRead_ < 0) timeoutMs = timeoutMs < 0 ? kUnwakeableWaitMs : std::min(timeoutMs, kUnwakeableWaitMs);
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
