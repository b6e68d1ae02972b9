// Checks of the file and folder arguments. Arguments are UTF-8 text on every platform (see
// platform/ProgramArguments.h); CLI11's own checks would read them in the ANSI code page on
// Windows and miss a file whose name that code page cannot hold.
#pragma once

#include <CLI/CLI.hpp>

namespace kestrel::cli {

CLI::Validator ExistingFile();
CLI::Validator ExistingFolder();

}  // namespace kestrel::cli
