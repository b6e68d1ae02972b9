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

}  // namespace kestrel::platform
