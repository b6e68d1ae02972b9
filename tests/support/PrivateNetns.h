// Whether this process runs in a network namespace made with `ip netns add` (as the test and
// benchmark scripts make them) rather than on the machine's own network. Test and benchmark
// programs that let the program choose its local address refuse to run outside one: on the
// machine's own network that address is a real LAN address.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace kestrel::test {

inline bool InPrivateNetworkNamespace() {
  struct stat own {};
  if (stat("/proc/self/ns/net", &own) != 0) return false;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ec)) {
    struct stat named {};
    if (stat(entry.path().c_str(), &named) == 0 && named.st_ino == own.st_ino && named.st_dev == own.st_dev)
      return true;
  }
  return false;
}

}  // namespace kestrel::test
