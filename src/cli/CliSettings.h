// What the settings sub-commands share.
#pragma once

#include "cli/Cli.h"

namespace kestrel::cli {

// kOk when files can be written in the Settings folder in use (or where it would be made), else
// kNotSaved after saying why.
int CheckWritable();

// "settings zones add|remove|rename|move", below `settings`.
void AddZoneSettingsCommands(Registry& registry, CLI::App* settings);

}  // namespace kestrel::cli
