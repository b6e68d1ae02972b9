#include "cli/Cli.h"
namespace kestrel::cli {
void AddDeployCommand(Registry&) {}
void AddPlayListOpCommands(Registry&) {}
}  // namespace kestrel::cli
