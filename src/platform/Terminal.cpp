#include "platform/Terminal.h"

#ifdef _WIN32
#include <io.h>
#define KESTREL_ISATTY _isatty
#else
#include <unistd.h>
#define KESTREL_ISATTY isatty
#endif

namespace kestrel::platform {

bool StdinIsTerminal() { return KESTREL_ISATTY(0) != 0; }
bool StdoutIsTerminal() { return KESTREL_ISATTY(1) != 0; }
bool StderrIsTerminal() { return KESTREL_ISATTY(2) != 0; }

}  // namespace kestrel::platform
