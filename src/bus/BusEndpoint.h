// The sockets of one bus station on UDP port 6000.
//
// A station hears every datagram for port 6000 that reaches the interface of its address, sent
// to that address or to a broadcast address, and its own datagrams leave from port 6000. On
// Linux a socket bound to a unicast address does not receive broadcasts, so the station binds
// one socket to its address (which also sends, with SO_BROADCAST), one to the interface's
// directed broadcast address, and, where the system allows it, one to 255.255.255.255 tied to
// that interface. Windows delivers broadcasts to the unicast socket, so there it is the only one.
// The unicast socket is the station's own: a second station on the same address cannot open.
//
// The program's endpoint belongs to its BusLink (mSocket.h); the player stand-in opens its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/UdpSocket.h"

namespace kestrel {

class BusEndpoint {
 public:
  BusEndpoint() = default;
  ~BusEndpoint();
  BusEndpoint(const BusEndpoint&) = delete;
  BusEndpoint& operator=(const BusEndpoint&) = delete;

  // Binds the sockets for `localIP`. On failure returns false with the reason in `error` and
  // leaves the endpoint closed. Reopening closes the previous sockets first.
  bool Open(const std::string& localIP, std::string* error = nullptr);
  // Call only when no thread waits in WaitReadable any more.
  void Close();
  bool IsOpen() const;

  // The address given to Open; empty while closed.
  std::string LocalIP() const;
  // The first three bytes of `ip` followed by 255: where every bus frame goes, whatever the
  // network mask.
  static std::string BusBroadcastAddress(const std::string& ip);
  // The directed broadcast address of the local interface (a.b.c.255 on a /24 network).
  std::string InterfaceBroadcast() const;
  // The name of the network interface that holds the local IP, as the system calls it (empty
  // when the lookup found none).
  std::string InterfaceName() const;

  // One datagram to a.b.c.255, port 6000, from the unicast socket. False when the endpoint is
  // closed or the system refused the datagram. Safe from several threads at once.
  bool SendToBus(const std::uint8_t* data, std::size_t size) const;
  // One datagram to `ip`, port 6000.
  bool SendTo(const std::string& ip, const std::uint8_t* data, std::size_t size) const;

  // Reads one waiting datagram from any of the sockets, taking them in turn. Returns its full
  // size (larger than `capacity` when it was cut off) or 0 when nothing is waiting.
  // `receivedOn`, when given, gets the address of the socket that held it.
  std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::string* receivedOn = nullptr);

  // Waits until a datagram is waiting (true), Wake is called, or `timeoutMs` have passed (a
  // negative time-out: no time-out).
  bool WaitReadable(int timeoutMs);
  void Wake();

 private:
  mutable std::shared_mutex mutex_;
  std::vector<platform::UdpSocket> sockets_;  // [0] is the unicast socket
  std::string localIP_;
  std::string busBroadcast_;
  std::string interfaceBroadcast_;
  std::string interfaceName_;
  std::size_t nextSocket_ = 0;  // used by the one receiving thread only
  platform::SocketWaiter waiter_;
};

}  // namespace kestrel
