#include "platform/Sleep.h"

#include <chrono>
#include <thread>

namespace kestrel::platform {

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace kestrel::platform
