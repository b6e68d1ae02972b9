#include "platform/ProgramArguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "platform/Utf8Path.h"
#endif

namespace kestrel::platform {

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) args_.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
  }
#endif
  if (args_.empty())
    for (int i = 0; i < argc; ++i) args_.emplace_back(argv[i] != nullptr ? argv[i] : "");
  for (std::string& arg : args_) pointers_.push_back(arg.data());
  pointers_.push_back(nullptr);
}

}  // namespace kestrel::platform
