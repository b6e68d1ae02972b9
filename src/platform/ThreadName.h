#pragma once

namespace kestrel::platform {

// Names the calling thread for debuggers and process listings (at most 15 characters are
// kept on Linux).
void SetCurrentThreadName(const char* name);

}  // namespace kestrel::platform
