// What to tell the user when the player's data connection back to this PC never came.
#pragma once

#include <string>

namespace kestrel::platform {

// On Windows, a sentence of its own (to follow the failure message) saying what to allow in the
// firewall: inbound TCP connections from the player's subnet to the running program, which a
// copy installed for one user or unpacked from the zip does not have a rule for. Empty
// elsewhere, where no firewall of the system's own stands in the way by default.
std::string DataConnectionHint();

}  // namespace kestrel::platform
