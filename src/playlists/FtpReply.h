// One command line for the FTP server and the server's reply to it, and the readers of the
// replies whose text carries a value (SIZE, MDTM). Every part of the program that reads such a
// reply reads it here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "playlists/FtpListParser.h"

namespace kestrel {

struct FtpCommand {
  std::string command;
  std::string arg;  // the rest of the line; empty for none
};

struct FtpReply {
  int code = 0;
  std::string text;  // the whole reply, lines joined by LF
};

// False when `name` holds CR, LF or NUL: it cannot be put on a command line, as the server would
// read the rest as a second command.
bool IsSendableName(std::string_view name);

// The size a reply to SIZE gives: its leading decimal digits (at most 18) after the code; -1 for
// any reply but 213, and for a 213 without a number (the file is then taken not to exist).
std::int64_t SizeOfReply(const FtpReply& reply);

// The modification time a reply to MDTM gives, as the server wrote it (YYYYMMDDHHMMSS[.fff],
// UTC); empty for any reply but 213.
std::string TimeOfReply(const FtpReply& reply);

// The one entry a reply to MLST describes (the facts line between its first and last lines, read
// as a line of a machine listing), or nothing for a 550 (no such file). False when the reply is
// neither: the server does not take MLST, or its reply cannot be read.
bool EntryOfReply(const FtpReply& reply, std::optional<FtpListEntry>& entry);

}  // namespace kestrel
