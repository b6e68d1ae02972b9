#include "platform/Terminal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kestrel::platform {

#ifdef _WIN32
namespace {
// A console, not merely a character device: the C runtime's _isatty also says yes for NUL.
bool IsConsole(DWORD stream) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}
}  // namespace

bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool StdoutIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }
#else
bool StdinIsTerminal() { return isatty(0) != 0; }
bool StdoutIsTerminal() { return isatty(1) != 0; }
bool StderrIsTerminal() { return isatty(2) != 0; }
#endif

void UseUtf8Console() {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
#endif
}

}  // namespace kestrel::platform
