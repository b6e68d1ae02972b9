#include "bus/BusEndpoint.h"

#include <mutex>

#include "bus/mSocket.h"
#include "core/mGetLocalIP.h"

namespace kestrel {

namespace {
constexpr char kLimitedBroadcast[] = "255.255.255.255";
}

BusEndpoint::~BusEndpoint() { Close(); }

std::string BusEndpoint::BusBroadcastAddress(const std::string& ip) {
  const IPv4Bytes b = SplitLocalIP(ip);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + ".255";
}

bool BusEndpoint::Open(const std::string& localIP, std::string* error) {
  std::unique_lock<std::shared_mutex> lock(mutex_);
  sockets_.clear();
  localIP_.clear();
  auto fail = [&](const std::string& why) {
    sockets_.clear();
    if (error != nullptr) *error = why;
    return false;
  };
  if (!platform::IsIPv4Text(localIP)) return fail("not an IPv4 address: \"" + localIP + "\"");

  // One station per address: the unicast socket takes its address for itself, so a second
  // program on the same address gets the bind failure instead of silently sharing the port
  // (and the newest of the two taking every reply). It is bound first, before anything shared.
  std::string why;
  using Use = platform::UdpSocket::AddressUse;
  platform::UdpSocket unicast;
  if (!unicast.Bind(localIP, kBusPort, &why, Use::Exclusive) || !unicast.EnableBroadcast(&why)) return fail(why);
  sockets_.push_back(std::move(unicast));

  // The broadcast addresses are shared with the other stations of the network on this host.
  const platform::InterfaceInfo itf = platform::FindInterface(localIP);
  if (platform::kBroadcastNeedsOwnSocket && !itf.broadcast.empty() && itf.broadcast != localIP) {
    platform::UdpSocket directed;
    if (!directed.Bind(itf.broadcast, kBusPort, &why, Use::Shared)) return fail(why);
    sockets_.push_back(std::move(directed));
  }
  // Limited broadcasts are not part of the bus's own traffic; hear them where the system
  // lets a socket be tied to one interface, and do without them elsewhere.
  if (platform::kBroadcastNeedsOwnSocket && !itf.name.empty()) {
    platform::UdpSocket limited;
    if (limited.Bind(kLimitedBroadcast, kBusPort, nullptr, Use::Shared, itf.name))
      sockets_.push_back(std::move(limited));
  }
  localIP_ = localIP;
  busBroadcast_ = BusBroadcastAddress(localIP);
  interfaceBroadcast_ = itf.broadcast.empty() ? busBroadcast_ : itf.broadcast;
  interfaceName_ = itf.name;
  nextSocket_ = 0;
  return true;
}

void BusEndpoint::Close() {
  std::unique_lock<std::shared_mutex> lock(mutex_);
  sockets_.clear();
  localIP_.clear();
}

bool BusEndpoint::IsOpen() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return !sockets_.empty();
}

std::string BusEndpoint::LocalIP() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return localIP_;
}

std::string BusEndpoint::InterfaceBroadcast() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return sockets_.empty() ? std::string() : interfaceBroadcast_;
}

std::string BusEndpoint::InterfaceName() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return sockets_.empty() ? std::string() : interfaceName_;
}

bool BusEndpoint::SendToBus(const std::uint8_t* data, std::size_t size) const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return !sockets_.empty() && sockets_[0].SendTo(busBroadcast_, kBusPort, data, size);
}

bool BusEndpoint::SendTo(const std::string& ip, const std::uint8_t* data, std::size_t size) const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return !sockets_.empty() && sockets_[0].SendTo(ip, kBusPort, data, size);
}

std::size_t BusEndpoint::Receive(std::uint8_t* buffer, std::size_t capacity, std::string* receivedOn) {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const std::size_t count = sockets_.size();
  for (std::size_t k = 0; k < count; ++k) {
    const platform::UdpSocket& s = sockets_[(nextSocket_ + k) % count];
    const std::size_t n = s.Receive(buffer, capacity);
    if (n == 0) continue;
    nextSocket_ = (nextSocket_ + k + 1) % count;
    if (receivedOn != nullptr) *receivedOn = s.BoundAddress();
    return n;
  }
  return 0;
}

bool BusEndpoint::WaitReadable(int timeoutMs) {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  std::vector<const platform::UdpSocket*> list;
  for (const auto& s : sockets_) list.push_back(&s);
  return waiter_.Wait(list, timeoutMs);
}

void BusEndpoint::Wake() { waiter_.Wake(); }

}  // namespace kestrel
