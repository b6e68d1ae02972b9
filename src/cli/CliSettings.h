// What the settings sub-commands share.
#pragma once

#include "cli/Cli.h"

namespace kestrel::cli {

// kOk when files can be written in the context's Settings folder (or where it would be made),
// else kNotSaved after saying why.
int CheckWritable(const AppContext& context);

// "settings zones add|remove|rename|move", below `settings`.
void AddZoneSettingsCommands(Registry& registry, CLI::App* settings);

}  // namespace kestrel::cli
