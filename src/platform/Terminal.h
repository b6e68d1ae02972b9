// Whether the standard streams are a terminal (the command line asks questions and shows a
// progress line only then).
#pragma once

namespace kestrel::platform {

bool StdinIsTerminal();
bool StdoutIsTerminal();
bool StderrIsTerminal();

// Text the program prints or reads is UTF-8. A Windows console shows and reads its own code
// page unless told otherwise; this tells it. Nothing to do elsewhere.
void UseUtf8Console();

}  // namespace kestrel::platform
