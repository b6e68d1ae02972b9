#include "core/mGetLocalIP.h"

#include <cstdlib>

#include "core/mPublicFunction.h"
#include "platform/HostInfo.h"
#include "platform/ProfileIni.h"
#include "platform/Text.h"

namespace kestrel {

std::string ReadSoftwareIP(const AppContext& context) {
  return platform::ReadProfileString(context.SettingsFile("localIP.ini"), "SoftWareIP", "IP", "");
}

std::string GetLocalComputerName() { return platform::ComputerName(); }

std::string GetHostIPList(const std::string& name, HostAddressTable& table) {
  table = HostAddressTable{};
  const auto addresses = platform::HostIPv4Addresses(name);
  for (size_t i = 0; i < addresses.size() && i < table.size(); ++i) table[i] = addresses[i];
  return table[0];
}

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
  HostAddressTable table;
  GetHostIPList(GetLocalComputerName(), table);
  return ChooseLocalIP(table, preferred);
}

IPv4Bytes SplitLocalIP(const std::string& ip) {
  IPv4Bytes bytes{};
  for (int k = 1; k <= 4; ++k) {
    const long v = std::strtol(ExtractField(ip, k, '.').c_str(), nullptr, 10);
    bytes[static_cast<size_t>(k - 1)] = static_cast<std::uint8_t>(static_cast<unsigned long>(v) & 0xFF);
  }
  return bytes;
}

std::string TakeLocalIP(const AppContext& context, SharedState& state,
                        const std::function<void(const std::string&)>& chosen) {
  Prompts& prompts = context.CurrentPrompts();
  const std::string localIP = GetLocalIP(ReadSoftwareIP(context));
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
