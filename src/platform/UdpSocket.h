// UDP sockets for the device bus: non-blocking datagram sockets bound to one IPv4 address and
// port, a wait for the first of several sockets to become readable, and the broadcast addresses
// of the interface that holds an address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::platform {

#ifdef _WIN32
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Whether other sockets may bind the same address and port as well.
  enum class AddressUse {
    // This socket alone: a second bind of the address fails, as does this bind when another
    // socket holds it (SO_EXCLUSIVEADDRUSE on Windows; on Linux simply no SO_REUSEADDR).
    Exclusive,
    // Shared with other sockets that ask for sharing too (SO_REUSEADDR, Linux only): how
    // several stations of one network all hear the broadcast address.
    Shared,
  };

  // Creates a non-blocking datagram socket and binds it to `ip`:`port`. `device`, when given,
  // restricts the socket to that network interface (Linux only).
  // On failure returns false with the reason in `error` and leaves the socket closed.
  bool Bind(const std::string& ip, std::uint16_t port, std::string* error,
            AddressUse use = AddressUse::Exclusive, const std::string& device = {});
  bool EnableBroadcast(std::string* error);
  void Close();
  bool IsOpen() const;
  // The address given to Bind.
  const std::string& BoundAddress() const { return boundAddress_; }
  // The port the socket is bound to (the one the system chose when Bind was given 0), or 0.
  std::uint16_t LocalPort() const;

  // One datagram to `ip`:`port`; false when the system refused it.
  bool SendTo(const std::string& ip, std::uint16_t port, const std::uint8_t* data,
              std::size_t size) const;

  // Reads one waiting datagram into `buffer` without blocking. Returns the datagram's full
  // size, which is larger than `capacity` when it did not fit (the rest is discarded), or 0
  // when nothing is waiting or the read failed.
  std::size_t Receive(std::uint8_t* buffer, std::size_t capacity) const;

  SocketHandle Handle() const { return handle_; }

 private:
  SocketHandle handle_ = InvalidHandle();
  std::string boundAddress_;
  static SocketHandle InvalidHandle();
};

// Lets one thread wait for datagrams on several sockets and another thread cut that wait
// short.
class SocketWaiter {
 public:
  SocketWaiter();
  ~SocketWaiter();
  SocketWaiter(const SocketWaiter&) = delete;
  SocketWaiter& operator=(const SocketWaiter&) = delete;

  // Returns when one of `sockets` has a datagram waiting (true), when Wake was called, or
  // after `timeoutMs` milliseconds (negative: no time-out). A pending wake-up is consumed. A
  // waiter whose wake-up channel the system refused waits at most kUnwakeableWaitMs each time,
  // so that its caller still comes round to look for a stop request.
  static constexpr int kUnwakeableWaitMs = 100;
  bool Wait(const std::vector<const UdpSocket*>& sockets, int timeoutMs);
  void Wake();

 private:
#ifdef _WIN32
  void* wakeEvent_ = nullptr;    // auto-reset event set by Wake
  void* socketEvent_ = nullptr;  // set by the system when a socket becomes readable
#else
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
#endif
};

// The interface that holds `ip`: its name and its directed broadcast address (empty when the
// address is on no interface, or the interface has no broadcast address).
struct InterfaceInfo {
  std::string name;
  std::string broadcast;
};
InterfaceInfo FindInterface(const std::string& ip);

// Whether the system lets a socket bind a broadcast address, to hear broadcasts that a socket
// bound to the unicast address does not get (Linux). Windows hands broadcasts to the socket
// bound to the interface's own address instead.
#ifdef _WIN32
inline constexpr bool kBroadcastNeedsOwnSocket = false;
#else
inline constexpr bool kBroadcastNeedsOwnSocket = true;
#endif

// True when `ip` is dotted-decimal IPv4 text.
bool IsIPv4Text(const std::string& ip);

}  // namespace kestrel::platform
