#include "platform/HostInfo.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/Utf8Path.h"
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kestrel::platform {

std::string ComputerName() {
#ifdef _WIN32
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buf, &size)) return {};
  return Utf8FromWide(std::wstring(buf, size));
#else
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return std::string(buf);
#endif
}

std::vector<std::string> ResolveIPv4(const std::string& name) {
  std::vector<std::string> out;
  if (name.empty()) return out;
#ifdef _WIN32
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 0), &wsa);
  // The wide call: a computer name with letters outside the ANSI code page resolves too.
  using AddrInfo = ADDRINFOW;
  const std::wstring host = WideFromUtf8(name);
  const auto resolve = [&](const AddrInfo* h, AddrInfo** r) { return GetAddrInfoW(host.c_str(), nullptr, h, r); };
  const auto release = [](AddrInfo* r) { FreeAddrInfoW(r); };
#else
  using AddrInfo = addrinfo;
  const auto resolve = [&](const AddrInfo* h, AddrInfo** r) { return getaddrinfo(name.c_str(), nullptr, h, r); };
  const auto release = [](AddrInfo* r) { freeaddrinfo(r); };
#endif
  AddrInfo hints{};
  hints.ai_family = AF_INET;
  // One socket type only: without it every address comes back once per type.
  hints.ai_socktype = SOCK_DGRAM;
  AddrInfo* res = nullptr;
  if (resolve(&hints, &res) == 0) {
    for (AddrInfo* ai = res; ai != nullptr; ai = ai->ai_next) {
      if (ai->ai_family != AF_INET || ai->ai_addr == nullptr) continue;
      char text[INET_ADDRSTRLEN] = {};
      const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
      if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) == nullptr) continue;
      if (std::find(out.begin(), out.end(), text) == out.end()) out.emplace_back(text);
    }
    release(res);
  }
#ifdef _WIN32
  WSACleanup();
#endif
  return out;
}

bool IsLoopbackIPv4(const std::string& ip) {
  in_addr a{};
  return inet_pton(AF_INET, ip.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

std::vector<std::string> InterfaceIPv4() {
  std::vector<std::string> out;
#ifndef _WIN32
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    if ((a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) == nullptr || IsLoopbackIPv4(text)) continue;
    if (std::find(out.begin(), out.end(), text) == out.end()) out.emplace_back(text);
  }
  freeifaddrs(list);
#endif
  return out;
}

std::vector<std::string> HostIPv4Addresses(const std::string& name) {
  std::vector<std::string> out, loopback;
  for (std::string& ip : ResolveIPv4(name)) (IsLoopbackIPv4(ip) ? loopback : out).push_back(std::move(ip));
  if (!name.empty() && EqualNoCase(name, ComputerName())) {
    for (std::string& ip : InterfaceIPv4())
      if (std::find(out.begin(), out.end(), ip) == out.end()) out.push_back(std::move(ip));
  }
  out.insert(out.end(), loopback.begin(), loopback.end());
  return out;
}

}  // namespace kestrel::platform
