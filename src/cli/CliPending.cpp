#include "cli/Cli.h"
namespace kestrel::cli {
void AddDeployCommand(Registry&) {}
void AddTransferCommands(Registry&) {}
}  // namespace kestrel::cli
