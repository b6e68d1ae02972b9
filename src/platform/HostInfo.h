// The computer's own name and the IPv4 addresses a name resolves to.
#pragma once

#include <string>
#include <vector>

namespace kestrel::platform {

// The computer's name as the system reports it (empty when it cannot be read).
std::string ComputerName();

// The IPv4 addresses `name` resolves to, as dotted-decimal text, in the resolver's order, each
// address once. Empty when the name does not resolve.
std::vector<std::string> ResolveIPv4(const std::string& name);

// The IPv4 addresses of this computer's network interfaces that are up, in the system's order,
// each once; loopback interfaces and 127.0.0.0/8 addresses left out. Linux only: on Windows
// the computer's name already resolves to its adapters' addresses, and this is empty.
std::vector<std::string> InterfaceIPv4();

// True for dotted-decimal text of an address in 127.0.0.0/8.
bool IsLoopbackIPv4(const std::string& ip);

// The addresses of the host called `name`, for choosing the address the bus runs on:
//   1. what the name resolves to, in the resolver's order, loopback addresses left out;
//   2. when `name` is this computer's own name, the addresses of its interfaces not listed yet
//      (a Linux host file often maps the name to 127.0.1.1 only: the LAN address lives on
//      the interfaces);
//   3. last, the loopback addresses the name resolves to, so that a host that has nothing else
//      still shows what it has.
std::vector<std::string> HostIPv4Addresses(const std::string& name);

}  // namespace kestrel::platform
