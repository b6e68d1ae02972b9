#include "core/mGetLocalIP.h"

#include <cstdlib>

#include "core/AppSettings.h"
#include "core/mPublicFunction.h"
#include "platform/HostInfo.h"
#include "platform/ProfileIni.h"
#include "platform/TextCompare.h"

namespace kestrel {

namespace {
HostAddressTable g_hostAddresses;
}  // namespace

std::string ReadSoftwareIP() {
  return platform::ReadProfileString(SettingsFile("localIP.ini"), "SoftWareIP", "IP", "");
}

std::string GetLocalComputerName() { return platform::ComputerName(); }

std::string GetHostIPList(const std::string& name) {
  g_hostAddresses = HostAddressTable{};
  const auto addresses = platform::HostIPv4Addresses(name);
  for (size_t i = 0; i < addresses.size() && i < g_hostAddresses.size(); ++i)
    g_hostAddresses[i] = addresses[i];
  return g_hostAddresses[0];
}

const HostAddressTable& HostAddresses() { return g_hostAddresses; }

std::string ChooseLocalIP(const HostAddressTable& table, const std::string& preferred) {
  std::string candidate;
  for (size_t slot = table.size(); slot-- > 0;) {
    if (table[slot].empty()) continue;
    candidate = table[slot];
    if (platform::EqualNoCase(candidate, preferred)) return preferred;
  }
  return candidate;
}

std::string GetLocalIP(const std::string& preferred) {
  GetHostIPList(GetLocalComputerName());
  return ChooseLocalIP(g_hostAddresses, preferred);
}

IPv4Bytes SplitLocalIP(const std::string& ip) {
  IPv4Bytes bytes{};
  for (int k = 1; k <= 4; ++k) {
    const long v = std::strtol(ExtractField(ip, k, '.').c_str(), nullptr, 10);
    bytes[static_cast<size_t>(k - 1)] = static_cast<std::uint8_t>(static_cast<unsigned long>(v) & 0xFF);
  }
  return bytes;
}

std::string TakeLocalIP(SharedState& state, Prompts& prompts,
                        const std::function<void(const std::string&)>& chosen) {
  const std::string localIP = GetLocalIP(ReadSoftwareIP());
  if (localIP.empty()) {
    prompts.Show(PromptKind::InfoOk, kNoLocalIPText);
    return {};
  }
  if (chosen) chosen(localIP);
  state.SetLocalIP(localIP);
  // Every loopback address, not only 127.0.0.1: on 127.0.1.1 (what a Debian host file gives
  // the computer's name) the bus would reach no device, without a word to the user.
  if (state.LocalIPBytes()[0] == 127) {
    prompts.Show(PromptKind::InfoOk, kLoopbackIPText);
    return {};
  }
  return localIP;
}

}  // namespace kestrel
