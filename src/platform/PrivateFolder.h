// Folders only the user who runs the program may open: the user's Settings folder holds the FTP
// password in plain text.
#pragma once

#include <string>

namespace kestrel::platform {

// Makes `dir` and the missing folders above it; each folder made here is the running user's
// alone. On Windows it gets an access list of its own, not taken from the folder above, that
// grants that user full control and nobody else anything, and that the files and folders made
// in it take over; elsewhere mode 0700. A folder that exists already is left as it is. False,
// with the folder and the reason in `error`, when a folder can not be made.
bool MakePrivateFolders(const std::string& dir, std::string& error);

}  // namespace kestrel::platform
