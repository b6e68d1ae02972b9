#include "core/FormRegistry.h"

namespace kestrel {

std::mutex& FormRegistry::Mutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, int>& FormRegistry::Names() {
  static std::map<std::string, int> names;
  return names;
}

void FormRegistry::Join(const std::string& name) {
  std::lock_guard<std::mutex> lock(Mutex());
  ++Names()[name];
}

void FormRegistry::Leave(const std::string& name) {
  std::lock_guard<std::mutex> lock(Mutex());
  const auto it = Names().find(name);
  if (it == Names().end()) return;
  if (--it->second <= 0) Names().erase(it);
}

bool FormRegistry::Contains(const std::string& name) {
  std::lock_guard<std::mutex> lock(Mutex());
  return Names().count(name) != 0;
}

}  // namespace kestrel
