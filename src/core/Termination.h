// The library's way to end the program. It cannot close a window or leave an event loop itself:
// it records the request and calls the handler the front end installed, which ends the program
// once the current event has been handled (the window) or exits with an error status (the
// command line).
#pragma once

#include <functional>

namespace kestrel {

// Records the request and calls the handler, if one is installed, on the calling thread.
void RequestTermination();
bool TerminationRequested();
// Forgets an earlier request (tests, and a front end that has dealt with it).
void ClearTerminationRequest();

using TerminationHandler = std::function<void()>;
// Installs the handler (an empty one removes it).
void SetTerminationHandler(TerminationHandler handler);

}  // namespace kestrel
