#include "core/SharedState.h"

#include "core/mGetLocalIP.h"

namespace kestrel {

void SharedState::SetLocalIP(const std::string& ip) {
  const IPv4Bytes b = SplitLocalIP(ip);
  std::lock_guard<std::mutex> lock(ipMutex_);
  localIP_ = ip;
  localBytes_ = b;
}

std::string SharedState::LocalIP() const {
  std::lock_guard<std::mutex> lock(ipMutex_);
  return localIP_;
}

IPv4Bytes SharedState::LocalIPBytes() const {
  std::lock_guard<std::mutex> lock(ipMutex_);
  return localBytes_;
}

bool SharedState::HasLocalIP() const {
  std::lock_guard<std::mutex> lock(ipMutex_);
  return !localIP_.empty();
}

void SharedState::Reset() {
  SetLocalIP("");
  StartupFlag = true;
  ShutdownFlag = false;
  PlayListsChanged = false;
  DraggingFlag = false;
  ZoneUpdating = false;
  UpdateWaitCounter = 0;
}

}  // namespace kestrel
