// Whether the standard streams are a terminal (the command line asks questions and shows a
// progress line only then).
#pragma once

namespace kestrel::platform {

bool StdinIsTerminal();
bool StdoutIsTerminal();
bool StderrIsTerminal();

}  // namespace kestrel::platform
