// What the settings sub-commands share.
#pragma once

#include <memory>

#include "cli/Cli.h"
#include "zones/ZoneIniWriter.h"

namespace kestrel::cli {

// kOk when files can be written in the context's Settings folder (or where it would be made),
// else kNotSaved after saying why.
int CheckWritable(const AppContext& context);

// The zones of the context's Zone.ini, to change, with the file's lock held until `writer` is
// gone: no other writer changes the file in between. kOk, or the exit status after saying why
// not (a file the program can not read is left as it is).
int OpenZoneIni(const AppContext& context, std::unique_ptr<ZoneIniWriter>& writer);
// Writes the changed list (keeping the file as it was with `backup`). kOk, or the exit status
// after saying why not.
int SaveZoneIni(const AppContext& context, const ZoneIniWriter& writer, bool backup);

// "settings zones add|remove|rename|move", below `settings`.
void AddZoneSettingsCommands(Registry& registry, CLI::App* settings);

}  // namespace kestrel::cli
