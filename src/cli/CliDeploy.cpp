#include "cli/Cli.h"

namespace kestrel::cli {

void AddDeployCommand(Registry&) {}

}  // namespace kestrel::cli
