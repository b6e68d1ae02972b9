#pragma once

namespace kestrel::platform {

// Suspends the calling thread for about `ms` milliseconds.
void SleepMs(unsigned ms);

}  // namespace kestrel::platform
