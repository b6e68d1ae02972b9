#include "core/SharedState.h"

#include <mutex>

#include "core/mGetLocalIP.h"

namespace kestrel {

namespace {
std::mutex g_ipMutex;
std::string g_localIP;
std::atomic<std::uint32_t> g_localBytes{0};
std::atomic<bool> g_hasLocalIP{false};
}  // namespace

std::atomic<bool> StartupFlag{true};
std::atomic<bool> ShutdownFlag{false};
std::atomic<bool> PlayListsChanged{false};
std::atomic<bool> DraggingFlag{false};
std::atomic<bool> ZoneUpdating{false};
std::atomic<std::int32_t> UpdateWaitCounter{0};

void SetLocalIP(const std::string& ip) {
  const IPv4Bytes b = SplitLocalIP(ip);
  {
    std::lock_guard<std::mutex> lock(g_ipMutex);
    g_localIP = ip;
  }
  g_localBytes.store(std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3]);
  g_hasLocalIP.store(!ip.empty());
}

std::string LocalIP() {
  std::lock_guard<std::mutex> lock(g_ipMutex);
  return g_localIP;
}

IPv4Bytes LocalIPBytes() {
  const std::uint32_t v = g_localBytes.load();
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

bool HasLocalIP() { return g_hasLocalIP.load(); }

void ResetSharedState() {
  SetLocalIP("");
  StartupFlag = true;
  ShutdownFlag = false;
  PlayListsChanged = false;
  DraggingFlag = false;
  ZoneUpdating = false;
  UpdateWaitCounter = 0;
}

}  // namespace kestrel
